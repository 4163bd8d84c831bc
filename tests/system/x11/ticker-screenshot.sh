#!/bin/sh
# The ticker on a 1280x800 Xvfb with openbox, an XEmbed tray at the bottom right (trayer) and
# the demo quote server, screenshotted through a refresh with one rise and one fall, a lost
# server and its return:
#   tests/system/x11/ticker-screenshot.sh [build dir] [output dir]
# Writes ticker-1.png (second download), ticker-2.png (欧元美元 up across the alarm price
# 1.1650, 英镑美元 down; with ticker-alarm.png, the alarm window zoomed),
# ticker-offline.png (server gone) and ticker-back.png (server back), each with -window.png
# and -tray.png crops zoomed for a close look, and prints where the window sits.
set -eu
build=${1:-build/dev}
out=${2:-$build/screenshots}
mkdir -p "$out"
work=$(mktemp -d)
xvfb='' wm='' tray='' server='' ticker=''
stop() {
    for p in $ticker $server $tray $wm $xvfb; do kill "$p" 2>/dev/null || true; done
    # A ticker still saving its settings would leave files behind in the folder removed next.
    for p in $ticker $server $tray $wm $xvfb; do wait "$p" 2>/dev/null || true; done
}
trap 'stop; rm -rf "$work"' EXIT

fail() { echo "ticker-screenshot: $*" >&2; exit 1; }

. "$(dirname "$0")/xdesktop.sh"
start_desktop
export XDG_RUNTIME_DIR="$work"  # the hot-key lock of this ticker only
trayer --edge bottom --align right --widthtype request --height 24 --transparent false \
    --tint 0x303030 --SetPartialStrut true --SetDockType true >/dev/null 2>&1 &
tray=$!
# The panel's strut shows in the work area: 1280x776.
wait_for 'xprop -root _NET_WORKAREA | grep -q "1280, 776"' 100 || fail "trayer reserved no strip"

start_server() {  # [port]
    : >"$work/server.out"
    "$build/bin/kestrel-quoted" --source walk --fixed --port "${1:-0}" >"$work/server.out" 2>>"$work/server.log" &
    server=$!
    wait_for 'grep -q listening "$work/server.out"' 50 || fail "kestrel-quoted did not start"
}
downloads() { grep -c 'GET /rates/index.aspx -> 200' "$work/server.log" || true; }
wait_downloads() { wait_for '[ "$(downloads)" -ge '"$1"' ]' 150 || fail "no download $1"; }

: >"$work/server.log"
start_server
url=$(sed -n 's/^listening on \(http:[^ ]*\)$/\1/p' "$work/server.out")
port=${url##*:}
port=${port%/}

printf '[Param]\r\nRatesURL=%srates/index.aspx\r\nProxyType=1\r\nInterval=3\r\n%b\r\n' \
    "$url" 'UseMonitor=1\r\nMonitorCcy=欧元美元\r\nMonitorPrice=1.1650' >"$work/kestrel.ini"
KESTREL_HOME=$work QT_QPA_PLATFORM=xcb "$build/bin/kestrel" &
ticker=$!

shot() {  # name: the screen, the window with its frame, the tray, each zoomed
    sleep 0.5  # a download is logged before its page is drawn
    import -window root "$out/$1.png"
    id=$(xdotool search --onlyvisible --name '^[0-9][0-9]-[0-9][0-9] ' | head -n 1)
    [ -n "$id" ] || fail "no ticker window for $1"
    info=$(xwininfo -id "$id")
    X=$(echo "$info" | sed -n 's/.*Absolute upper-left X: *//p')
    Y=$(echo "$info" | sed -n 's/.*Absolute upper-left Y: *//p')
    WIDTH=$(echo "$info" | sed -n 's/.*Width: *//p')
    HEIGHT=$(echo "$info" | sed -n 's/.*Height: *//p')
    set -- "$1" $(xprop -id "$id" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
    fx=$((X - $2)) fy=$((Y - $4)) fw=$((WIDTH + $2 + $3)) fh=$((HEIGHT + $4 + $5))
    echo "$1: frame ${fw}x${fh} at $fx,$fy; client ${WIDTH}x${HEIGHT};" \
        "$((1280 - fx - fw)) px left of the right edge, $((776 - fy - fh)) px above the panel"
    convert "$out/$1.png" -crop "$((fw + 20))x$((fh + 20))+$((fx - 10))+$((fy - 10))" +repage \
        -filter point -resize 200% "$out/$1-window.png"
    convert "$out/$1.png" -crop 200x24+1080+776 +repage -filter point -resize 400% \
        "$out/$1-tray.png"
}

wait_downloads 2
shot ticker-1

# With --fixed the prices stay put until they are set: one line rises, one falls.
curl -fsS -o /dev/null \
    "${url}rates/index.aspx?set=%E6%AC%A7%E5%85%83%E7%BE%8E%E5%85%83:1.1700,%E8%8B%B1%E9%95%91%E7%BE%8E%E5%85%83:1.3200"
wait_downloads 3
shot ticker-2
alarm=$(xdotool search --onlyvisible --name '^到达警报价格$' | head -n 1)
if [ -n "$alarm" ]; then
    import -window "$alarm" -frame "$out/ticker-alarm.png"
    convert "$out/ticker-alarm.png" -filter point -resize 200% "$out/ticker-alarm.png"
else
    echo "ticker-2: no alarm window" >&2
fi

kill "$server"
wait "$server" || true
server=''
sleep 4.5  # one interval and the refused connection
shot ticker-offline

before=$(downloads)
start_server "$port"
wait_downloads $((before + 1))
shot ticker-back
echo "screenshots in $out"
