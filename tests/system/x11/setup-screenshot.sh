#!/bin/sh
# The settings dialog on a 1280x800 Xvfb with openbox, screenshotted page by page and with its
# font and colour choosers open:
#   tests/system/x11/setup-screenshot.sh [build dir] [output dir]
# Writes setup-0.png .. setup-5.png (the six pages), setup-font.png and setup-color.png,
# setup-big.png and setup-toobig.png (a 48 pt quote font; 200 pt refused), setup-hotkey.png (a
# bare letter refused as the hot key), each
# the dialog's window with its frame, from settings files that fill every page. Then, through
# the ticker against the demo quote server: setup-ticker-before.png, setup-menu.png (the dialog
# opened by "设置...", shortcuts just created, the time line switched off) and
# setup-ticker-after.png (the ticker right after OK), setup-shortcuts.png (the shortcut page
# after "立即创建", "登录时自动启动" switched on), and lists the shortcuts created.
set -eu
build=${1:-build/dev}
out=${2:-$build/screenshots}
mkdir -p "$out"
work=$(mktemp -d)
xvfb='' wm='' demo='' server='' ticker=''
stop() {
    for p in $ticker $server $demo $wm $xvfb; do kill "$p" 2>/dev/null || true; done
    # A ticker still saving its settings would leave files behind in the folder removed next.
    for p in $ticker $server $demo $wm $xvfb; do wait "$p" 2>/dev/null || true; done
}
trap 'stop; rm -rf "$work"' EXIT

fail() { echo "setup-screenshot: $*" >&2; exit 1; }

. "$(dirname "$0")/xdesktop.sh"
start_desktop

# Settings that fill every page: a selection, the alarm on gold, a manual proxy with a user.
export KESTREL_HOME="$work/home"
mkdir -p "$KESTREL_HOME"
printf '%s\r\n' 欧元美元 美元日元 现货黄金 NYMEX原油 | iconv -f UTF-8 -t GBK >"$KESTREL_HOME/setup_demo.ccy"
printf '[Param]\r\nInterval=15\r\nHotKey=Ctrl+Alt+Q\r\nUseMonitor=1\r\nMonitorCcy=现货黄金\r\nMonitorPrice=1660.5\r\nProxyType=2\r\nProxyAddress=proxy.example.lan\r\nProxyPort=3128\r\nProxyPassword=x``vgq\r\n' \
    | iconv -f UTF-8 -t GBK >"$KESTREL_HOME/setup_demo.ini"

shot() {  # name argument
    : >"$work/demo.out"
    "$build/bin/setup_demo" "$2" >"$work/demo.out" 2>"$work/demo.err" &
    demo=$!
    wait_for 'grep -q ready "$work/demo.out"' 100 || fail "setup_demo $2 did not show"
    sleep 0.3
    window=$(xdotool getactivewindow)
    import -window "$window" -frame "$out/$1.png"
    kill "$demo" 2>/dev/null || true
    wait "$demo" 2>/dev/null || true
    demo=''
    echo "$out/$1.png"
}

for page in 0 1 2 3 4 5; do
    shot "setup-$page" "$page"
done
shot setup-font font
shot setup-color color
shot setup-big big
shot setup-toobig toobig
shot setup-hotkey hotkey

# The ticker: "设置..." from its menu, shortcuts created, the login switch on, the time line
# switched off, OK.
mkdir -p "$work/ticker" "$work/user/Desktop"
export HOME="$work/user" XDG_CONFIG_HOME="$work/user/.config" XDG_DATA_HOME="$work/user/.local/share"
export XDG_RUNTIME_DIR="$work"
export KESTREL_HOME="$work/ticker"
"$build/bin/kestrel-quoted" --source walk --fixed --port 0 >"$work/server.out" 2>/dev/null &
server=$!
wait_for 'grep -q listening "$work/server.out"' 50 || fail "kestrel-quoted did not start"
url=$(sed -n 's/^listening on \(http:[^ ]*\)$/\1/p' "$work/server.out")
printf '[Param]\r\nRatesURL=%srates/index.aspx\r\nProxyType=1\r\nInterval=3\r\n' "$url" \
    >"$KESTREL_HOME/kestrel.ini"
QT_QPA_PLATFORM=xcb "$build/bin/kestrel" &
ticker=$!
ticker_window() { xdotool search --onlyvisible --name '^[0-9][0-9]-[0-9][0-9] ' | head -n 1; }
wait_for '[ -n "$(ticker_window)" ]' 150 || fail "no ticker window"
sleep 1
import -window "$(ticker_window)" -frame "$out/setup-ticker-before.png"
echo "$out/setup-ticker-before.png"

xdotool mousemove --window "$(ticker_window)" 40 40 click 3
sleep 0.5
xdotool key Down Return
wait_for 'xdotool search --onlyvisible --name "^Kestrel-参数设置$" >/dev/null' 50 ||
    fail "设置... opened no dialog"
dialog=$(xdotool search --onlyvisible --name '^Kestrel-参数设置$' | head -n 1)
xdotool windowactivate --sync "$dialog"
xdotool key ctrl+Tab ctrl+Tab ctrl+Tab alt+c alt+1
sleep 0.3
import -window "$dialog" -frame "$out/setup-shortcuts.png"
echo "$out/setup-shortcuts.png"
xdotool key ctrl+shift+Tab ctrl+shift+Tab alt+1
sleep 0.3
import -window "$dialog" -frame "$out/setup-menu.png"
echo "$out/setup-menu.png"
xdotool key Return
sleep 2
import -window "$(ticker_window)" -frame "$out/setup-ticker-after.png"
echo "$out/setup-ticker-after.png"
grep -H '^DisplayTime' "$KESTREL_HOME/kestrel.ini" || fail "OK wrote no DisplayTime"
for f in "$XDG_CONFIG_HOME/autostart" "$XDG_DATA_HOME/applications" "$HOME/Desktop"; do
    ls "$f"/Kestrel.desktop || fail "no shortcut in $f"
done
grep -H '^Exec' "$XDG_CONFIG_HOME/autostart/Kestrel.desktop"
