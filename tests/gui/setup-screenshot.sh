#!/bin/sh
# The settings dialog on a 1280x800 Xvfb with openbox, screenshotted page by page and with its
# font and colour choosers open:
#   tests/gui/setup-screenshot.sh [build dir] [output dir]
# Writes setup-0.png .. setup-5.png (the six pages), setup-font.png and setup-color.png, each
# the dialog's window with its frame, from settings files that fill every page.
set -eu
build=${1:-build/dev}
out=${2:-$build/screenshots}
mkdir -p "$out"
work=$(mktemp -d)
xvfb='' wm='' demo=''
stop() { for p in $demo $wm $xvfb; do kill "$p" 2>/dev/null || true; done; }
trap 'stop; rm -rf "$work"' EXIT

fail() { echo "setup-screenshot: $*" >&2; exit 1; }

# waits up to $2 tenths of a second for the command in $1 to succeed
wait_for() {
    n=0
    until eval "$1"; do
        n=$((n + 1))
        [ $n -lt "$2" ] || return 1
        sleep 0.1
    done
}

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
wait_for '[ -s "$work/display" ]' 50 || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"
unset DBUS_SESSION_BUS_ADDRESS
openbox >/dev/null 2>&1 &
wm=$!
wait_for 'xprop -root _NET_WORKAREA 2>/dev/null | grep -q CARDINAL' 100 || fail "openbox did not start"

# Settings that fill every page: a selection, the alarm on gold, a manual proxy with a user.
export KESTREL_HOME="$work/home"
mkdir -p "$KESTREL_HOME"
printf '%s\r\n' 欧元美元 美元日元 现货黄金 NYMEX原油 | iconv -f UTF-8 -t GBK >"$KESTREL_HOME/setup_demo.ccy"
printf '[Param]\r\nInterval=15\r\nHotKey=Ctrl+Alt+Q\r\nUseMonitor=1\r\nMonitorCcy=现货黄金\r\nMonitorPrice=1660.5\r\nProxyType=2\r\nProxyAddress=proxy.example.lan\r\nProxyPort=3128\r\n' \
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
