#!/bin/sh
# Shows tray_demo on a real XEmbed tray (trayer) under Xvfb and screenshots both icon states:
#   tests/system/x11/tray-screenshot.sh [build dir] [output dir]
set -eu
build=${1:-build/dev}
out=${2:-$build/screenshots}
mkdir -p "$out"
display=:57
Xvfb $display -screen 0 320x120x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $demo $trayer $xvfb 2>/dev/null || true' EXIT
sleep 1
export DISPLAY=$display
unset DBUS_SESSION_BUS_ADDRESS  # no StatusNotifier watcher: Qt embeds into trayer
trayer --edge top --align left --widthtype pixel --width 120 --height 32 --tint 0xd8d8d8 \
    --transparent false >/dev/null 2>&1 &
trayer=$!
sleep 1
QT_QPA_PLATFORM=xcb "$build/bin/tray_demo" 3 3 &
demo=$!
sleep 2
import -window root "$out/tray-full-0.png"
sleep 3
import -window root "$out/tray-full-1.png"
for s in 0 1; do
    convert "$out/tray-full-$s.png" -crop 120x32+0+0 +repage -filter point -resize 400% \
        "$out/tray-icon-$s.png"
done
wait $demo || true
echo "screenshots in $out"
