#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks for building and testing OrvCore,
# then, where the kernel runs 32-bit programs, the private 32-bit Wine.
# A tool counts as present when dpkg records its package as installed, never
# because a program of its name is on the PATH: a machine may carry a
# same-named stand-in (a "convert" that is not ImageMagick).
#   scripts/bootstrap.sh             install what is missing (no apt-get when nothing is)
#   scripts/bootstrap.sh --missing   only print the packages it would install
#   scripts/bootstrap.sh --no-wine32 the packages only
set -eu

pkgs=(
  cmake ninja-build
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine64 googletest clang libclang-rt-14-dev libpugixml-dev
  xvfb xdotool x11-apps imagemagick util-linux
  chromium                           # the colour page opened in a real browser
  binutils patchelf libz-mingw-w64   # the 32-bit probe and the private 32-bit Wine
)

installed() { [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = installed ]; }

need=()
for p in "${pkgs[@]}"; do installed "$p" || need+=("$p"); done

if [ "${1:-}" = --missing ]; then
  [ ${#need[@]} -eq 0 ] || printf '%s\n' "${need[@]}"
  exit 0
fi

if [ ${#need[@]} -gt 0 ]; then
  echo "bootstrap: installing ${need[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# Exit 3: the kernel cannot run 32-bit programs; the test command says so.
[ "${1:-}" = --no-wine32 ] || "$(dirname "$0")/wine32-setup.sh" setup || [ $? -eq 3 ]
