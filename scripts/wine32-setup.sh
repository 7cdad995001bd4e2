#!/usr/bin/env bash
# The private 32-bit Wine that runs the win32 build's tests.
#   wine32-setup.sh probe   exit 0 when this kernel runs a static i386 program
#   wine32-setup.sh check   exit 0 when the probe passes and the private Wine is ready
#   wine32-setup.sh setup   make it ready (quick when it is); exit 3 when the kernel cannot
# Debian's i386 packages of the installed wine64's version are downloaded with
# an apt state of our own and unpacked below DIR (ORV_WINE32, default
# build/wine32 of this clone): nothing is installed system-wide and dpkg's
# architecture list stays as it is. wine-run.sh starts 32-bit programs with it,
# served by the system's wineserver64 of the same version.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${ORV_WINE32:-$root/build/wine32}
cmd=${1:-setup}

probe() {
  local t rc=0
  t=$(mktemp -d)
  printf '.globl _start\n_start: movl $1, %%eax\n movl $42, %%ebx\n int $0x80\n' >"$t/p.s"
  if as --32 -o "$t/p.o" "$t/p.s" && ld -m elf_i386 -o "$t/p" "$t/p.o"; then
    "$t/p" 2>/dev/null || rc=$?
  fi
  rm -rf "$t"
  [ "$rc" -eq 42 ]
}

# What a ready folder was made from: the server's version and the folder's place
# (the loader's interpreter is an absolute path).
stamp() { echo "$(dpkg-query -W -f='${Version}' wine64 2>/dev/null) $dir"; }
ready() { [ "$(cat "$dir/.ready" 2>/dev/null)" = "$(stamp)" ]; }

setup() {
  local wine_ver libc_ver gcc_ver apt_opts r=$dir/root
  wine_ver=$(dpkg-query -W -f='${Version}' wine64) || { echo "wine32-setup: wine64 is not installed" >&2; return 1; }
  libc_ver=$(dpkg-query -W -f='${Version}' libc6)
  gcc_ver=$(dpkg-query -W -f='${Version}' libgcc-s1)
  rm -rf "$dir/debs" "$r"
  mkdir -p "$dir/apt/lists/partial" "$dir/apt/cache/archives/partial" "$dir/debs" "$r"
  apt_opts=(-o APT::Architectures::=amd64 -o APT::Architectures::=i386
            -o Dir::State::Lists="$dir/apt/lists" -o Dir::Cache="$dir/apt/cache"
            -o Debug::NoLocking=1 -o APT::Sandbox::User=root)
  apt-get "${apt_opts[@]}" update -qq >/dev/null
  # Same versions as the 64-bit side: the server speaks one protocol version,
  # and multi-arch libraries are co-installable only at equal versions.
  (cd "$dir/debs" && apt-get "${apt_opts[@]}" download -qq "wine32:i386=$wine_ver" "libwine:i386=$wine_ver" \
     "libc6:i386=$libc_ver" "libgcc-s1:i386=$gcc_ver" >/dev/null)
  for deb in "$dir"/debs/*.deb; do dpkg-deb -x "$deb" "$r"; done
  # As libwine's own configure step does: Wine's zlib1.dll is the mingw one
  # marked as a Wine builtin.
  local in=/usr/i686-w64-mingw32/lib/zlib1.dll out=$r/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll
  { head -c 64 "$in"; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 "$in"; } >"$out"
  # The loader asks for /lib/ld-linux.so.2, which this system need not have.
  patchelf --set-interpreter "$r/lib/ld-linux.so.2" "$r/usr/lib/wine/wine"
  rm -rf "$dir/debs" "$dir/apt"
  LD_LIBRARY_PATH="$r/lib/i386-linux-gnu:$r/usr/lib/i386-linux-gnu" "$r/usr/lib/wine/wine" --version >/dev/null \
    || { echo "wine32-setup: the unpacked 32-bit Wine does not start" >&2; return 1; }
  stamp >"$dir/.ready"
}

case "$cmd" in
  probe) probe ;;
  check) probe || exit 3; ready || exit 4 ;;
  setup)
    probe || exit 3
    ready && exit 0
    mkdir -p "$(dirname "$dir")"
    (
      flock 9
      ready && exit 0
      start=$(date +%s)
      setup 9>&-
      echo "wine32-setup: 32-bit Wine $(dpkg-query -W -f='${Version}' wine64) ready in $dir ($(( $(date +%s) - start )) s)"
    ) 9>"$dir.lock"
    ;;
  *) echo "usage: wine32-setup.sh probe|check|setup" >&2; exit 2 ;;
esac
