#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks for building and testing OrvCore.
# Idempotent and quick when everything is present (no apt-get at all then).
set -eu

need_pkgs=()
want() {   # want <package> <test command...>
  local pkg=$1; shift
  "$@" >/dev/null 2>&1 || need_pkgs+=("$pkg")
}
want cmake                       command -v cmake
want ninja-build                 command -v ninja
want g++-mingw-w64-x86-64-posix  command -v x86_64-w64-mingw32-g++-posix
want g++-mingw-w64-i686-posix    command -v i686-w64-mingw32-g++-posix
want binutils-mingw-w64-x86-64   command -v x86_64-w64-mingw32-objdump
want binutils-mingw-w64-i686     command -v i686-w64-mingw32-objdump
want wine64                      test -x /usr/lib/wine/wine64
want googletest                  test -f /usr/src/googletest/CMakeLists.txt
want clang                       command -v clang++
want libclang-rt-14-dev          sh -c 'ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a'
want libpugixml-dev              test -f /usr/include/pugixml.hpp
want xvfb                        command -v Xvfb
want xdotool                     command -v xdotool
want x11-apps                    command -v xwd
want imagemagick                 command -v convert
want util-linux                  command -v flock

if [ ${#need_pkgs[@]} -gt 0 ]; then
  echo "bootstrap: installing ${need_pkgs[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null
fi
