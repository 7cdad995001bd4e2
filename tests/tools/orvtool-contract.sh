#!/usr/bin/env bash
# The command-line contract of orvtool: one row of the table per case, run in
# order: exit status, out|err, regular expression (see expect-status.sh), then
# the arguments, as shell words. Rows may use $KEY, a registry path of this run
# that the script removes at the end. Every command `orvtool --help` lists
# must have its "NAME --help" row. A row whose arguments begin with "=reg" runs
# Wine's own reg.exe instead, to make values orvtool does not write.
# usage: orvtool-contract.sh TABLE RUNNER... (the runner's last word is orvtool.exe)
set -u
table=$1; shift
run=("$@")
here=$(cd "$(dirname "$0")" && pwd)
KEY="HKCU\\Software\\OrvCoreContract-$$"
trap '"${run[@]}" reg delete --recursive "$KEY" >/dev/null 2>&1' EXIT
fail=0; rows=0
while IFS= read -r line; do
  case "$line" in ''|'#'*) continue ;; esac
  eval "set -- $line"
  rows=$((rows + 1))
  want=$1; stream=$2; regex=$3; shift 3
  prog=("${run[@]}")
  [ "${1:-}" = "=reg" ] && { shift; prog=("${run[@]:0:${#run[@]}-1}" reg); }
  if ! result=$("$here/expect-status.sh" "$want" "$stream" "$regex" "${prog[@]}" "$@" 2>&1 </dev/null); then
    printf 'FAIL: orvtool %s\n%s\n\n' "$*" "$result"; fail=1
  fi
done < "$table"

for cmd in $("${run[@]}" --help </dev/null | sed -n '/^commands:/,/^$/s/^  \([a-z0-9]*\) .*/\1/p'); do
  grep -Eq "^[0-9] +out +'[^']*' +$cmd +--help *$" "$table" || { echo "FAIL: no '$cmd --help' row"; fail=1; }
done
echo "$rows rows"
exit $fail
