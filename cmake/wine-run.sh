#!/usr/bin/env bash
# Runs a Windows program of the build under Wine: x64 programs under wine64,
# i686 programs under the private 32-bit Wine of scripts/wine32-setup.sh, both
# served by the system's wineserver64.
# usage: wine-run.sh PREFIX_DIR PROGRAM [ARGS...]
# The prefix is created once (under a lock, so parallel tests wait for it, and
# under a watchdog), a persistent wineserver keeps later starts cheap, and the
# program's exit status is passed through.
set -u
prefix=$1; shift
here=$(cd "$(dirname "$0")" && pwd)
server=/usr/lib/wine/wineserver64

# A prefix is of one architecture, written into its system.reg; a new one takes
# the program's (the PE header's machine field: 014c is i386).
pe_machine() {
  local off
  off=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$off" ] && od -An -tx2 -j$((off + 4)) -N2 "$1" 2>/dev/null | tr -d ' '
}
arch=$(sed -n '1,5s/^#arch=//p' "$prefix/system.reg" 2>/dev/null)
if [ -z "$arch" ]; then
  arch=win64
  [ -f "${1:-}" ] && [ "$(pe_machine "$1")" = 014c ] && arch=win32
fi

case "$arch:$( [ -f "${1:-}" ] && pe_machine "$1")" in
  win32:8664|win64:014c) echo "wine-run.sh: $1 is not a $arch program, as the prefix $prefix is" >&2; exit 126 ;;
esac

export WINEPREFIX="$prefix"
export WINEARCH=$arch
export WINESERVER=$server
export WINEDEBUG="${ORV_WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${ORV_WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ "$arch" = win32 ]; then
  w32=${ORV_WINE32:-$(dirname "$here")/build/wine32}
  if [ ! -f "$w32/.ready" ]; then
    echo "wine-run.sh: no 32-bit Wine in $w32 (scripts/bootstrap.sh sets it up where the kernel runs 32-bit programs)" >&2
    exit 127
  fi
  wine=$w32/root/usr/lib/wine/wine
  export LD_LIBRARY_PATH="$w32/root/lib/i386-linux-gnu:$w32/root/usr/lib/i386-linux-gnu${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
  export WINEPATH="/usr/lib/gcc/i686-w64-mingw32/12-posix;/usr/i686-w64-mingw32/lib${WINEPATH:+;$WINEPATH}"
else
  wine=/usr/lib/wine/wine64
  export WINEPATH="/usr/lib/gcc/x86_64-w64-mingw32/12-posix;/usr/x86_64-w64-mingw32/lib${WINEPATH:+;$WINEPATH}"
fi
# Headless unless a test asks for its own X server.
if [ -z "${ORV_DISPLAY:-}" ]; then unset DISPLAY; else export DISPLAY="$ORV_DISPLAY"; fi

if [ ! -f "$prefix/.orv-ready" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/.orv-ready" ]; then
      "$here/wine-watchdog.sh" "$prefix" "$server" "${ORV_WINEBOOT_SECONDS:-240}" 60 \
        "$wine" wineboot --init >"$prefix.wineboot.log" 2>&1 9>&- \
        || { echo "wine-run.sh: creating the $arch prefix $prefix failed (see $prefix.wineboot.log)" >&2; exit 1; }
      "$server" -w 9>&-
      touch "$prefix/.orv-ready"
    fi
  ) 9>"$prefix.lock" || exit 1
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
