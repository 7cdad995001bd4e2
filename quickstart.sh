#!/usr/bin/env bash
# OrvCore quick start.
#   ./quickstart.sh tour   build the x64 DLL and orvtool, run the host demo under wine64
#   ./quickstart.sh test   build win64, win32 and the native XML module; run every test
#                          (the win32 tests where the kernel runs 32-bit programs)
set -eu
cd "$(dirname "$0")"
cmd=${1:-}
if [ "$cmd" = tour ]; then scripts/bootstrap.sh --no-wine32; else scripts/bootstrap.sh; fi

case "$cmd" in
  tour)
    cmake --preset win64 >/dev/null
    cmake --build --preset win64 --target orvtool orv_session_keeper
    exec cmake/wine-run.sh "$PWD/build/win64/wineprefix" build/win64/bin/orvtool.exe tour
    ;;
  test)
    status=0
    ran=()
    for preset in win64 win32 host; do
      echo "=== $preset ==="
      # Without 32-bit programs the win32 preset still builds and checks the DLL statically.
      if [ $preset = win32 ] && ! scripts/wine32-setup.sh probe; then
        echo "32-bit tests skipped: this kernel cannot run 32-bit programs"
      else
        ran+=("$preset")
      fi
      cmake --workflow --preset "$preset" || status=1
    done
    echo "quickstart: tests ran for ${ran[*]}"
    [ $status -eq 0 ] && echo "quickstart: all presets built and all tests passed" \
                      || echo "quickstart: FAILED (see above)"
    exit $status
    ;;
  *)
    echo "usage: ./quickstart.sh tour|test" >&2
    exit 2
    ;;
esac
