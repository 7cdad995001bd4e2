#!/usr/bin/env bash
# Checks of the build machinery itself, with stand-ins:
#  1. scripts/bootstrap.sh detects tools by dpkg's record of their package, so
#     same-named stand-ins on the PATH do not count as installed;
#  2. cmake/wine-watchdog.sh stops a prefix whose processes multiply or whose
#     boot hangs, through the prefix's own server, and passes a normal run's status.
# usage: harness-check.sh SOURCE_DIR
set -u
src=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
err() { echo "FAIL: $*"; fail=1; }

# --- 1. bootstrap detection -------------------------------------------------
mkdir -p "$work/bin"
# Every tool the bootstrap cares about is on the PATH, as a stand-in.
for t in convert cmake ninja Xvfb xdotool xwd clang++ patchelf flock as ld \
         x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix; do
  printf '#!/bin/sh\necho "stand-in %s"\n' "$t" >"$work/bin/$t"
done
# dpkg's record: "installed" unless the case's table says otherwise.
cat >"$work/bin/dpkg-query" <<'EOF'
#!/bin/sh
for pkg; do :; done
state=$(sed -n "s/^$pkg //p" "$ORV_DPKG_TABLE")
[ -z "$state" ] && state=$ORV_DPKG_DEFAULT
[ "$state" = unknown ] && { echo "dpkg-query: no packages found matching $pkg" >&2; exit 1; }
printf '%s' "$state"
EOF
chmod +x "$work/bin"/*

# default state | exceptions (pkg=state,...) | packages expected missing (in order; "*" = check a few)
cases=(
  "installed||"
  "installed|imagemagick=unknown|imagemagick"
  "installed|xdotool=config-files,wine64=half-installed,patchelf=not-installed|wine64 xdotool patchelf"
  "unknown||*"
)
for c in "${cases[@]}"; do
  IFS='|' read -r default exceptions expected <<<"$c"
  tr ',' '\n' <<<"$exceptions" | tr '=' ' ' >"$work/table"
  got=$(PATH="$work/bin:$PATH" ORV_DPKG_TABLE="$work/table" ORV_DPKG_DEFAULT=$default \
        "$src/scripts/bootstrap.sh" --missing | tr '\n' ' ' | sed 's/ $//')
  if [ "$expected" = "*" ]; then
    for p in imagemagick xvfb cmake wine64 patchelf; do
      [[ " $got " == *" $p "* ]] || err "bootstrap with nothing installed does not list $p (got: $got)"
    done
  else
    [ "$got" = "$expected" ] || err "bootstrap ($default, $exceptions): missing '$got', expected '$expected'"
  fi
done

# --- 2. prefix watchdog -----------------------------------------------------
prefix=$work/prefix
# The stand-in server's -k ends the prefix's client processes, as wineserver -k does.
cat >"$work/server" <<'EOF'
#!/bin/bash
[ "$1" = -k ] || exit 0
echo k >>"$ORV_SERVER_LOG"
for f in $(grep -lzx "ORV_CLIENT_OF=$WINEPREFIX" /proc/[0-9]*/environ 2>/dev/null); do
  f=${f#/proc/}; kill "${f%/environ}" 2>/dev/null
done
exit 0
EOF
# The stand-in boot starts N clients of the prefix, then waits SECONDS, then exits with STATUS.
cat >"$work/boot" <<'EOF'
#!/bin/bash
for _ in $(seq "$1"); do WINEPREFIX=$ORV_PREFIX ORV_CLIENT_OF=$ORV_PREFIX sleep 60 & done
ORV_CLIENT_OF=$ORV_PREFIX sleep "$2"
kill $(jobs -p) 2>/dev/null
exit "$3"
EOF
chmod +x "$work/server" "$work/boot"
clients() { grep -lzx "ORV_CLIENT_OF=$prefix" /proc/[0-9]*/environ 2>/dev/null | wc -l; }

# clients | boot seconds | time limit | expected status | server stopped?
runs=(
  "3|0.5|20|0|no"
  "2|0|20|5|no"
  "40|30|20|124|yes"
  "1|30|1|124|yes"
)
for r in "${runs[@]}"; do
  IFS='|' read -r n secs limit want stopped <<<"$r"
  rm -f "$work/server.log"
  status=$(ORV_SERVER_LOG=$work/server.log ORV_PREFIX=$prefix \
           "$src/cmake/wine-watchdog.sh" "$prefix" "$work/server" "$limit" 30 "$work/boot" "$n" "$secs" "$want" \
           >/dev/null 2>&1; echo $?)
  [ "$status" = "$want" ] || err "watchdog ($r): status $status, expected $want"
  if [ "$stopped" = yes ]; then
    [ -s "$work/server.log" ] || err "watchdog ($r): the prefix's server was not stopped"
  else
    [ -e "$work/server.log" ] && err "watchdog ($r): the server was stopped on a normal run"
  fi
  left=1
  for _ in $(seq 20); do left=$(clients); [ "$left" -eq 0 ] && break; sleep 0.1; done
  [ "$left" -eq 0 ] || err "watchdog ($r): $left processes of the prefix are left"
done

[ $fail -eq 0 ] && echo "OK: bootstrap detection (${#cases[@]} cases), prefix watchdog (${#runs[@]} runs)"
exit $fail
