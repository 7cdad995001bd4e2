#!/usr/bin/env bash
# orvtool's colour page in a real headless browser: it loads with no console
# message, shows 267 swatches, and a screenshot shows the table's colours where
# the page's fixed geometry puts the chips.
# usage: colour-page-check.sh WINE_RUN PREFIX ORVTOOL     (exit 77: skipped)
set -u
run=$1 prefix=$2 tool=$3
installed() { [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = installed ]; }
installed chromium || { echo "SKIP: Debian's chromium is not installed (scripts/bootstrap.sh installs it)"; exit 77; }
magick=$(command -v convert-im6.q16 || true)
[ -n "$magick" ] || { echo "SKIP: no ImageMagick convert-im6.q16 (scripts/bootstrap.sh installs imagemagick)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
err() { echo "FAIL: $*"; fail=1; }

"$run" "$prefix" "$tool" colors --html "Z:${work//\//\\}\\colours.html" || { echo "FAIL: orvtool colors --html"; exit 1; }
browse() {
  HOME=$work timeout 120 chromium --headless --no-sandbox --disable-gpu --no-first-run --hide-scrollbars \
    --user-data-dir="$work/profile" --force-device-scale-factor=1 --enable-logging=stderr --v=0 "$@" \
    "file://$work/colours.html"
}
browse --dump-dom >"$work/dom.html" 2>"$work/dom.log" || err "chromium --dump-dom failed: $(tail -3 "$work/dom.log")"
grep -a "CONSOLE" "$work/dom.log" && err "the page wrote to the console"
swatches=$(grep -o 'class="swatch"' "$work/dom.html" | wc -l)
[ "$swatches" -eq 267 ] || err "the browser shows $swatches swatches, not 267"
browse --window-size=1800,2700 --screenshot="$work/shot.png" >"$work/shot.log" 2>&1
[ -s "$work/shot.png" ] || { echo "FAIL: no screenshot: $(tail -3 "$work/shot.log")"; exit 1; }

# index and colour, from the table as it is specified; the chip of index i
# starts at 150 + (i % 16) * 100, 96 + (i / 16) * 124 and is 94 x 56.
for c in 0:000000 7:0000FF 16:1F1F1F 40:FFFF1C 103:F50000 143:F0B464 200:CD9B3C 255:D2BEFC 256:FF8000 266:000080; do
  i=${c%%:*} want=${c#*:}
  x=$((150 + i % 16 * 100 + 47)) y=$((96 + i / 16 * 124 + 28))
  got=$("$magick" "$work/shot.png" -crop "1x1+$x+$y" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | head -1)
  [ "$got" = "#$want" ] || err "colour $i at ($x,$y) is $got, not #$want"
done
[ $fail -eq 0 ] && echo "OK: 267 swatches, colours checked in the screenshot"
exit $fail
