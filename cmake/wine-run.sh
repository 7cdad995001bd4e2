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
# A wine session (its server, the system services and the desktop process)
# inherits the standard handles of the process that starts it and lives on for
# a while; a session started by a test would keep ctest waiting on that test's
# output pipe. So the session is started here, detached from our output. The
# desktop process ends as soon as no program uses the desktop, and the next
# test with a window would start it again with its own handles, so the build's
# session keeper holds the desktop while programs run.
# A running server works in a folder named after the prefix's device and inode.
server_tag=$(printf 'server-%x-%x' "$(stat -c %d "$prefix")" "$(stat -c %i "$prefix")")
running() {
  local p
  for p in $(pgrep -x "$(basename "$server")"); do
    case "$(readlink "/proc/$p/cwd" 2>/dev/null)" in */"$server_tag") return 0 ;; esac
  done
  return 1
}
keeper="$(dirname "$prefix")/bin/orv_session_keeper.exe"
keeper_state="$prefix.keeper"
keeping() {
  local p
  [ -f "$keeper" ] || return 0
  p=$(head -n1 "$keeper_state" 2>/dev/null) || return 1
  [ -n "$p" ] && grep -aq orv_session_keeper "/proc/$p/cmdline" 2>/dev/null && [ -s "$keeper_state.out" ]
}
if [ -z "${ORV_NO_SESSION:-}" ] && { ! running || { [ -z "${ORV_DISPLAY:-}" ] && ! keeping; }; }; then
  (
    flock 9
    if ! running; then
      # Not with the lock's descriptor: the session would hold the lock for
      # its whole life and every other test would wait for it.
      "$server" -p60 </dev/null >/dev/null 2>&1 9>&- || true
    fi
    if [ -n "${ORV_DISPLAY:-}" ]; then
      "$wine" cmd /c exit </dev/null >/dev/null 2>&1 9>&- || true
    elif [ -f "$keeper" ]; then
      if ! keeping; then
        rm -f "$keeper_state.out"
        setsid "$wine" "$keeper" </dev/null >"$keeper_state.out" 2>/dev/null 9>&- &
        echo $! >"$keeper_state"
        for _ in $(seq 100); do [ -s "$keeper_state.out" ] && break; sleep 0.1; done
      fi
    else
      # Without the keeper (not built yet): start the desktop process at least.
      "$wine" rundll32.exe user32.dll,MessageBoxA </dev/null >/dev/null 2>&1 9>&- || true
    fi
  ) 9>"$prefix.lock"
fi

exec "$wine" "$@"
