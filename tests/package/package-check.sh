#!/usr/bin/env bash
# The installed package as a module developer meets it: installs the build tree
# into a fresh prefix, checks the release layout (no debug sections, each file
# linked to its .debug file), builds examples/module against that prefix alone
# and, where RUN is 1, runs its host twice under Wine with the installed
# orvtool preparing and checking the module's settings and parameter file,
# and shows load_bench's figures for the installed DLL.
# usage: package-check.sh SOURCE_DIR BUILD_DIR PROCESSOR RUN [WINEPREFIX]
set -u
src=$1; build=$2; proc=$3; run=$4; wineprefix=${5:-}
work=$build/package-check
fail=0
err() { echo "FAIL: $*"; fail=1; }
case "$proc" in
  x86_64) triple=x86_64-w64-mingw32; gcc_dll=libgcc_s_seh-1.dll ;;
  *)      triple=i686-w64-mingw32;   gcc_dll=libgcc_s_dw2-1.dll ;;
esac
rm -rf "$work"; mkdir -p "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; echo "FAIL: cmake --install"; exit 1; }

for f in bin/OrvCore_Rudaru20.dll bin/orvtool.exe bin/libstdc++-6.dll bin/$gcc_dll bin/libwinpthread-1.dll \
         lib/libOrvCore_Rudaru20.dll.a include/OrvCore.h lib/cmake/OrvCore/OrvCoreConfig.cmake \
         lib/cmake/OrvCore/OrvCoreConfigVersion.cmake lib/cmake/OrvCore/OrvCoreTargets.cmake; do
  [ -f "$prefix/$f" ] || err "not installed: $f"
done
for f in "$prefix"/bin/*.dll "$prefix"/bin/*.exe; do
  sections=$($triple-objdump -h "$f") || { err "objdump cannot read $f"; continue; }
  grep -q '\.debug_' <<<"$sections" && err "$(basename "$f") keeps debug sections"
  grep -q '\.gnu_debuglink' <<<"$sections" || err "$(basename "$f") has no debug link"
  $triple-objdump -h "$f.debug" 2>/dev/null | grep -q '\.debug_info' || err "$(basename "$f").debug holds no debug information"
done

# A fresh project that knows only the prefix.
cmake -S "$src/examples/module" -B "$work/example" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchain-mingw-$proc.cmake" -DCMAKE_PREFIX_PATH="$prefix" \
      -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; echo "FAIL: configure"; exit 1; }
grep -qx "OrvCore_DIR:PATH=$prefix/lib/cmake/OrvCore" "$work/example/CMakeCache.txt" || err "OrvCore was not found in the prefix"
cmake --build "$work/example" >"$work/build.log" 2>&1 || { cat "$work/build.log"; echo "FAIL: build"; exit 1; }
for f in example_host.exe example_module.dll OrvCore_Rudaru20.dll libstdc++-6.dll; do
  [ -f "$work/example/bin/$f" ] || err "example: no bin/$f"
done
[ "$run" = 1 ] || { echo "built only: this machine does not run $proc programs"; [ $fail = 0 ] && rm -rf "$work"; exit $fail; }

wine() { "$src/cmake/wine-run.sh" "$wineprefix" "$@"; }
tool() { wine "$prefix/bin/orvtool.exe" "$@"; }
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
host=$work/example/bin/example_host.exe
app=(--app "$(winpath "$host")")
appkey='HKCU\Software\Brakmar\T.R.I.O.N.(R) Platform\Example'
logs=$work/logs; mkdir -p "$logs"
params=$work/params.xml
cleanup() { tool reg delete "$appkey" --recursive >/dev/null 2>&1; }
trap cleanup EXIT

tool reg set "${app[@]}" 'CurrentUserSettings\ExampleModule' ParameterFile string "$(winpath "$params")" || err "orvtool reg set --app"
for n in 1 2; do
  out=$(ORV_STDLOGFILE=1 ORV_DIR_LOGFILES=$logs wine "$host" 2>"$work/host.err") ||
    err "run $n: example_host failed: $out $(cat "$work/host.err")"
  [ "$(printf '%s' "$out" | tr -d '\r')" = "example_host: module unloaded" ] || err "run $n: host says: $out"
done
log=$(cat "$logs"/example_host_*_run.log 2>/dev/null | tr -d '\r')
for want in "example module: init, start 1, parameter file new" \
            "example module: 1 start(s), feature state 1, parameters in $(winpath "$params")" \
            "example module: init, start 2, parameter file read (last start 1)" \
            "example module: 2 start(s), feature state 2, parameters in $(winpath "$params")"; do
  grep -qF -- "$want" <<<"$log" || err "the log lacks: $want"
done
[ "$(grep -o 'example module: exit' <<<"$log" | wc -l)" = 2 ] || err "the log does not show two exits"
[ "$(tool reg get "${app[@]}" 'CurrentUserSettings\ExampleModule' Starts | tr -d '\r')" = 2 ] || err "Starts is not 2"
[ "$(tool param get "$(winpath "$params")" ExampleModule:lastStart | tr -d '\r')" = 2 ] || err "lastStart is not 2"
# What loading the installed DLL costs against the build tree's (shown, not judged).
bench=$(wine "$build/bin/load_bench.exe" -n 20 "$(winpath "$prefix/bin/OrvCore_Rudaru20.dll")" \
        "$(winpath "$build/bin/OrvCore_Rudaru20.dll")" 2>&1) || err "load_bench failed"
printf '%s\n' "$bench" | tr -d '\r'
grep -q "does not load" <<<"$bench" && err "a DLL does not load"
[ $fail = 0 ] || { echo "--- logs:"; cat "$logs"/*; exit 1; }
cleanup; trap - EXIT
rm -rf "$work"
echo "installed package: layout, release files, example module built and run"
