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
    ran=() failed=()
    for preset in win64 win32 host; do
      echo "=== $preset ==="
      # Without 32-bit programs the win32 preset still builds and checks the DLL statically.
      tests=yes
      if [ $preset = win32 ] && ! scripts/wine32-setup.sh probe; then
        echo "32-bit tests skipped: this kernel cannot run 32-bit programs"
        tests=no
      fi
      # A preset that fails may not have got as far as its tests: it is named as failed, not as run.
      if cmake --workflow --preset "$preset"; then
        [ $tests = yes ] && ran+=("$preset")
      else
        failed+=("$preset")
      fi
    done
    status=0
    if [ ${#failed[@]} -eq 0 ]; then
      echo "quickstart: tests ran for ${ran[*]}"
      echo "quickstart: all presets built and all tests passed"
    else
      echo "quickstart: FAILED in ${failed[*]} (see above)"
      status=1
    fi
    exit $status
    ;;
  *)
    echo "usage: ./quickstart.sh tour|test" >&2
    exit 2
    ;;
esac
