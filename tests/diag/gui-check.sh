#!/usr/bin/env bash
# Message boxes on a real X server (Xvfb): the fallback box with its title,
# answered by a key press, and the red countdown panel found in a screenshot.
# usage: gui-check.sh WINE_RUNNER GUI_PREFIX TEST_EXE
# Exits 77 (skipped) with the reason when no X server can be started here.
set -u
runner=$1; prefix=$2; exe=$3
# Tools by what they are, never by a name on the PATH (a machine may carry a
# "convert" that is not ImageMagick): by their Debian package, and ImageMagick
# also by its own version text.
for pkg in xvfb xdotool x11-apps imagemagick; do
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null)" = installed ] \
    || { echo "SKIPPED: $pkg is not installed"; exit 77; }
done
Xvfb=/usr/bin/Xvfb xdotool=/usr/bin/xdotool xwd=/usr/bin/xwd convert=/usr/bin/convert
"$convert" -version 2>/dev/null | grep -q "^Version: ImageMagick " \
  || { echo "SKIPPED: $convert is not ImageMagick"; exit 77; }

work=$(mktemp -d)
xpid=""
cleanup() {
  WINEPREFIX=$prefix /usr/lib/wine/wineserver64 -k 2>/dev/null
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

for n in $(seq 91 140); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  "$Xvfb" ":$n" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xpid=$!
  for _ in $(seq 50); do DISPLAY=":$n" "$xdotool" getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
  if DISPLAY=":$n" "$xdotool" getdisplaygeometry >/dev/null 2>&1; then display=":$n"; break; fi
  kill "$xpid" 2>/dev/null; xpid=""
done
[ -n "${display:-}" ] || { echo "SKIPPED: no X server could be started"; exit 77; }
export DISPLAY=$display ORV_DISPLAY=$display

fail=0
err() { echo "FAIL: $*"; fail=1; }
shot() { "$xwd" -root -silent -display "$display" >"$work/shot.xwd"; }
# Number of pixels of colour $5 in the rectangle w h x y.
count() {
  "$convert" "$work/shot.xwd" -crop "${1}x${2}+${3}+${4}" +repage -fuzz 8% \
    -fill black +opaque "$5" -fill white -opaque "$5" -colorspace gray -format "%[fx:round(mean*w*h)]" info:
}

# 1. OrvMessageBox without console and without "MFC42": a real box titled
#    "Brakmar AG - T.R.I.O.N." and the trademark sign; Escape answers Cancel.
"$runner" "$prefix" "$exe" --orv-child guiMessageBox >"$work/box.out" 2>&1 &
child=$!
wid=""
for _ in $(seq 600); do
  wid=$("$xdotool" search --name "^Brakmar AG" 2>/dev/null | head -1)
  [ -n "$wid" ] && break
  kill -0 "$child" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$wid" ]; then
  err "no message box window appeared"; cat "$work/box.out"
else
  title=$("$xdotool" getwindowname "$wid")
  [ "$title" = "Brakmar AG - T.R.I.O.N.®" ] || err "box title is '$title'"
  sleep 0.5
  "$xdotool" windowactivate --sync "$wid" key Escape 2>/dev/null || "$xdotool" key --window "$wid" Escape
fi
wait "$child"
grep -q "answer=2" "$work/box.out" || { err "box did not answer Cancel"; cat "$work/box.out"; }

# 2. V_DbgMsgBox without permission: the red 512x256 panel at the centre of
#    the 1024x768 screen, white text above, the yellow countdown below.
start=$(date +%s)
"$runner" "$prefix" "$exe" --orv-child guiPanel >"$work/panel.out" 2>&1 &
child=$!
seen=0
for _ in $(seq 150); do
  shot
  if [ "$(count 4 4 700 380 '#FF0000')" = 16 ]; then seen=1; break; fi
  sleep 0.2
done
if [ $seen = 0 ]; then
  err "the red panel never appeared"
else
  sleep 0.6; shot
  [ "$(count 8 8 258 500 '#FF0000')" = 64 ] || err "bottom-left corner of the panel is not red"
  [ "$(count 8 8 760 258 '#FF0000')" = 64 ] || err "top-right corner of the panel is not red"
  [ "$(count 8 8 246 246 '#FF0000')" = 0 ] || err "red outside the panel"
  [ "$(count 8 8 770 514 '#FF0000')" = 0 ] || err "red outside the panel"
  white=$(count 480 176 272 272 '#FFFFFF')
  yellow=$(count 480 64 272 432 '#FFFF00')
  [ "$white" -gt 100 ] || err "no white text in the message area ($white pixels)"
  [ "$yellow" -gt 100 ] || err "no yellow countdown ($yellow pixels)"
  echo "panel: white text $white px, yellow countdown $yellow px"
  cp "$work/shot.xwd" "${ORV_GUI_SHOT:-/dev/null}" 2>/dev/null
fi
wait "$child"
out=$(cat "$work/panel.out")
echo "$out" | grep -q "result=0" || err "panel did not return 0: $out"
ms=$(echo "$out" | sed -n 's/.*elapsed=\([0-9]*\).*/\1/p')
[ -n "$ms" ] && [ "$ms" -ge 19500 ] || err "panel returned after ${ms:-?} ms, before its 80 cycles of 250 ms"
echo "panel returned after $ms ms ($(( $(date +%s) - start )) s with start-up)"

[ $fail = 0 ] && echo "OK: message box and countdown panel on $display"
exit $fail
