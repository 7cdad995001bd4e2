#!/usr/bin/env bash
# Runs a command and checks its exit status and that its output (stdout and
# stderr together, line breaks read as blanks) matches an extended regular expression.
# usage: expect-status.sh STATUS REGEX COMMAND [ARGS...]
set -u
want=$1; regex=$2; shift 2
out=$("$@" 2>&1)
got=$?
printf '%s\n' "$out"
[ "$got" -eq "$want" ] || { echo "FAIL: exit status $got, expected $want"; exit 1; }
printf '%s' "$out" | tr '\r\n' '  ' | grep -Eq -- "$regex" || { echo "FAIL: output does not match: $regex"; exit 1; }
exit 0
