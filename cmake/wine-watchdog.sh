#!/usr/bin/env bash
# Runs a command that creates or boots a Wine prefix, under a watchdog.
# usage: wine-watchdog.sh PREFIX SERVER SECONDS MAX_PROCESSES COMMAND [ARGS...]
# A wineboot that cannot make its desktop has been seen to start explorer.exe
# over and over until the machine ran out of handles. When the command takes
# longer than SECONDS, or more than MAX_PROCESSES processes belong to PREFIX
# (their environment names it), the prefix's own server is stopped, which ends
# every process of that prefix and of no other, and the watchdog fails.
set -u
prefix=$1 server=$2 limit=$3 max=$4
shift 4

prefix_processes() {
  grep -lzxF "WINEPREFIX=$prefix" /proc/[0-9]*/environ 2>/dev/null | wc -l
}

"$@" &
child=$!
ticks=0
while kill -0 "$child" 2>/dev/null; do
  n=$(prefix_processes)
  if [ "$n" -gt "$max" ] || [ $ticks -ge $((limit * 5)) ]; then
    echo "wine-watchdog: $* in $prefix: $n processes after $((ticks / 5)) s; stopping the prefix's server" >&2
    WINEPREFIX=$prefix "$server" -k 2>/dev/null
    kill "$child" 2>/dev/null
    wait "$child" 2>/dev/null
    exit 124
  fi
  sleep 0.2
  ticks=$((ticks + 1))
done
wait "$child"
