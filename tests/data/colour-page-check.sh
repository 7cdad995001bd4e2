#!/usr/bin/env bash
# orvtool's colour page in headless Chromium: no console message, 267 swatches,
# and the table's colours in a screenshot where the page's fixed geometry puts
# the chip of index i: 94 x 56 at 150 + (i % 16) * 100, 96 + (i / 16) * 124.
# usage: colour-page-check.sh WINE_RUN PREFIX ORVTOOL     (exit 77: skipped)
set -u
run=$1 prefix=$2 tool=$3 work=$(mktemp -d) fail=0 magick=/usr/bin/convert-im6.q16
trap 'rm -rf "$work"' EXIT
err() { echo "FAIL: $*"; fail=1; }
[ "$(dpkg-query -W -f='${db:Status-Status}' chromium 2>/dev/null)" = installed ] ||
  { echo "SKIP: Debian's chromium is not installed (scripts/bootstrap.sh installs it)"; exit 77; }
"$run" "$prefix" "$tool" colors --html "Z:${work//\//\\}\\colours.html" || { echo "FAIL: orvtool colors --html"; exit 1; }
browse() {
  HOME=$work timeout 120 chromium --headless --no-sandbox --disable-gpu --no-first-run --hide-scrollbars \
    --user-data-dir="$work/profile" --force-device-scale-factor=1 --enable-logging=stderr --v=0 "$@" "file://$work/colours.html"
}
browse --dump-dom >"$work/dom.html" 2>"$work/dom.log" || err "chromium --dump-dom failed: $(tail -3 "$work/dom.log")"
grep -a "CONSOLE" "$work/dom.log" && err "the page wrote to the console"
n=$(grep -o 'class="swatch"' "$work/dom.html" | wc -l)
[ "$n" -eq 267 ] || err "the browser shows $n swatches, not 267"
browse --window-size=1800,2700 --screenshot="$work/shot.png" >"$work/shot.log" 2>&1
for c in 0:000000 7:0000FF 16:1F1F1F 40:FFFF1C 103:F50000 143:F0B464 200:CD9B3C 255:D2BEFC 256:FF8000 266:000080; do
  i=${c%%:*} x=$((150 + ${c%%:*} % 16 * 100 + 47)) y=$((96 + ${c%%:*} / 16 * 124 + 28))
  got=$("$magick" "$work/shot.png" -crop "1x1+$x+$y" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | head -1)
  [ "$got" = "#${c#*:}" ] || err "colour $i at ($x,$y) is '$got', not #${c#*:} (ImageMagick $magick, $(tail -1 "$work/shot.log"))"
done
exit $fail
