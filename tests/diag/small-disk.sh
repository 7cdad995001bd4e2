#!/usr/bin/env bash
# Runs a test program with ORV_SMALL_DISK naming (as a Windows path) a 64 KiB
# tmpfs mounted for it alone. Exits 77 (skipped) where the machine does not
# let us mount one.
# usage: small-disk.sh WINE_RUN PREFIX PROGRAM [ARGS...]
set -u
run=$1; prefix=$2; shift 2
dir=$(mktemp -d "${TMPDIR:-/tmp}/orv-small-disk.XXXXXX") || exit 77
if ! mount -t tmpfs -o size=64k orv-small-disk "$dir" 2>/dev/null; then
  rmdir "$dir"
  echo "no tmpfs can be mounted here; skipped"
  exit 77
fi
trap 'umount -l "$dir" && rmdir "$dir"' EXIT
ORV_SMALL_DISK="Z:$(printf '%s' "$dir" | tr / '\\')" "$run" "$prefix" "$@"
