#!/usr/bin/env bash
# Runs a command and checks its exit status and one of its output streams,
# line breaks read as blanks, against an extended regular expression:
#   out  the standard output matches REGEX;
#   err  the standard error contains a match of REGEX and the standard output is empty.
# Standard error is only ever searched: Wine writes notices of its own there
# (the 32-bit one that it lacks FreeType).
# usage: expect-status.sh STATUS out|err REGEX COMMAND [ARGS...]
set -u
want=$1; stream=$2; regex=$3; shift 3
errfile=$(mktemp)
out=$("$@" 2>"$errfile")
got=$?
err=$(cat "$errfile"); rm -f "$errfile"
printf '%s\n' "$out"
printf '%s\n' "$err" >&2
[ "$got" -eq "$want" ] || { echo "FAIL: exit status $got, expected $want"; exit 1; }
flat() { printf '%s\n' "$(printf '%s' "$1" | tr '\r\n' '  ')"; }   # one line, also when empty
case "$stream" in
  out) flat "$out" | grep -Eq -- "$regex" || { echo "FAIL: standard output does not match: $regex"; exit 1; } ;;
  err) [ -z "$out" ] || { echo "FAIL: standard output is not empty"; exit 1; }
       flat "$err" | grep -Eq -- "$regex" || { echo "FAIL: standard error does not match: $regex"; exit 1; } ;;
  *) echo "FAIL: stream '$stream' is neither out nor err"; exit 1 ;;
esac
exit 0
