#!/usr/bin/env bash
# Runs a Windows program of the build under wine64.
# usage: wine-run.sh PREFIX_DIR PROGRAM [ARGS...]
# The prefix is created once (under a lock, so parallel tests wait for it),
# a persistent wineserver keeps later starts cheap, and the program's exit
# status is passed through.
set -u
prefix=$1; shift
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=$(command -v wineserver64 || command -v wineserver)

export WINEPREFIX="$prefix"
export WINEARCH=win64
export WINEDEBUG="${ORV_WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${ORV_WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEPATH="/usr/lib/gcc/x86_64-w64-mingw32/12-posix;/usr/x86_64-w64-mingw32/lib${WINEPATH:+;$WINEPATH}"
# Headless unless a test asks for its own X server.
if [ -z "${ORV_DISPLAY:-}" ]; then unset DISPLAY; else export DISPLAY="$ORV_DISPLAY"; fi

if [ ! -f "$prefix/.orv-ready" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/.orv-ready" ]; then
      "$wine" wineboot --init >/dev/null 2>&1 9>&-
      "$server" -w 9>&-
      touch "$prefix/.orv-ready"
    fi
  ) 9>"$prefix.lock"
fi
# A wine session (its server, the system services and the desktop process it
# starts) inherits the standard handles of the process that starts it and lives
# on for a while; a
# session started by a test would keep ctest waiting on that test's output
# pipe. So the session is started here, detached from our output, and kept
# alive for a minute so that each test process starts in ~0.1 s.
# A running server works in a folder named after the prefix's device and inode.
server_tag=$(printf 'server-%x-%x' "$(stat -c %d "$prefix")" "$(stat -c %i "$prefix")")
running() {
  local p
  for p in $(pgrep -x "$(basename "$server")"); do
    case "$(readlink "/proc/$p/cwd" 2>/dev/null)" in */"$server_tag") return 0 ;; esac
  done
  return 1
}
if [ -z "${ORV_NO_SESSION:-}" ] && ! running; then
  (
    flock 9
    if ! running; then
      # Not with the lock's descriptor: the session would hold the lock for
      # its whole life and every other test would wait for it.
      "$server" -p60 </dev/null >/dev/null 2>&1 9>&- || true
      if [ -z "${ORV_DISPLAY:-}" ]; then
        # Also start the (headless) desktop process now, which the first
        # window of a test would otherwise start with the test's handles.
        # Without a display driver the box returns at once.
        "$wine" rundll32.exe user32.dll,MessageBoxA </dev/null >/dev/null 2>&1 9>&- || true
      else
        "$wine" cmd /c exit </dev/null >/dev/null 2>&1 9>&- || true
      fi
    fi
  ) 9>"$prefix.lock"
fi

exec "$wine" "$@"
