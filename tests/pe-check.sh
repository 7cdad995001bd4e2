#!/usr/bin/env bash
# Static checks of the built DLL: machine type, module name, shared C++ run-time,
# version resource, the exports listed in pe-exports.txt, and no trace of the
# folder it was built in (SOURCE_DIR) in its text or debug information.
# usage: pe-check.sh DLL PROCESSOR SOURCE_DIR
set -u
dll=$1; proc=$2; src=$3
case "$proc" in
  x86_64) objdump=x86_64-w64-mingw32-objdump; fmt=pei-x86-64; gcc_dll=libgcc_s_seh-1.dll ;;
  *)      objdump=i686-w64-mingw32-objdump;   fmt=pei-i386;   gcc_dll=libgcc_s_dw2-1.dll ;;
esac
fail=0
err() { echo "FAIL: $*"; fail=1; }

[ "$(basename "$dll")" = "OrvCore_Rudaru20.dll" ] || err "file name is $(basename "$dll")"
headers=$($objdump -p "$dll") || { echo "FAIL: objdump cannot read $dll"; exit 1; }
$objdump -f "$dll" | grep -q "file format $fmt" || err "not a $fmt image"
echo "$headers" | grep -q "Name.*OrvCore_Rudaru20.dll" || err "export directory does not name OrvCore_Rudaru20.dll"
for need in libstdc++-6.dll "$gcc_dll"; do
  echo "$headers" | grep -q "DLL Name: $need" || err "does not import $need (C++ run-time must be shared)"
done
# The version resource holds the UTF-16 key VS_VERSION_INFO.
objcopy=${objdump%objdump}objcopy
tmp=$(mktemp)
$objcopy -O binary -j .rsrc "$dll" "$tmp" 2>/dev/null
od -An -tx1 -v "$tmp" | tr -d ' \n' | grep -q "560053005f00560045005200530049004f004e005f0049004e0046004f" || err "no version resource"
rm -f "$tmp"
grep -qaF -- "$src" "$dll" && err "carries the build machine's folder $src"

exports=$(echo "$headers" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '{print $NF}' | c++filt)
count=$(echo "$exports" | grep -c . )
list=$(dirname "$0")/pe-exports.txt
if [ -f "$list" ]; then
  while IFS= read -r sym; do
    [ -z "$sym" ] && continue
    case "$sym" in \#*) continue ;; esac
    echo "$exports" | grep -qF -- "$sym" || err "missing export: $sym"
  done < "$list"
fi
# Every export carries a family prefix, bar the few names the platform fixes.
echo "$exports" | sed -E '1d; s/^(vtable|typeinfo( name)?) for //' |
  grep -vE '^(V_|VSYST_|VDIAG_|VCOM_|VPOOL_|XP_|_vsyst_|_xp_|_orv_|Orv|operator|_serialize\(|_deserialize\(|_com_error$)' && err "exports above lack a family prefix"
[ $fail -eq 0 ] && echo "OK: $dll ($fmt, $count exports)"
exit $fail
