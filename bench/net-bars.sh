#!/bin/sh
# The network's bounds measured on the real program:
#   bench/net-bars.sh [build dir] [kestrel binary]
# - kestrel --print (WaitTimeOut=2) while the name lookup hangs, and while the system proxy
#   lookup hangs: wall time;
# - kestrel --print against a body that never ends: wall time and peak memory;
# - the ticker on Xvfb, quit through 退出 while its download hangs in each lookup: time from
#   the key press to the end of the process;
# - the ticker against the endless body: peak memory after $WATCH seconds (default 20).
# The build directory gives the slow-resolver shim and the endless server; the binary measured
# may come from another build.
set -eu
build=${1:-build/dev}
kestrel=${2:-$build/bin/kestrel}
watch=${WATCH:-20}
shim=$(find "$build" -name libkestrel_slowresolver.so | head -n 1)
[ -n "$shim" ] || { echo "net-bars: build kestrel_slowresolver first" >&2; exit 1; }
work=$(mktemp -d)
xvfb='' wm='' server='' ticker=''
stop() { for p in $ticker $server $wm $xvfb; do kill "$p" 2>/dev/null || true; done; }
trap 'stop; rm -rf "$work"' EXIT
export KESTREL_HOME=$work KESTREL_SLOW_RESOLVE_MS=30000 XDG_RUNTIME_DIR=$work
unset http_proxy HTTP_PROXY https_proxy no_proxy
pac='pac+http://pac.slow.test/proxy.pac'
slowhost='http://rates.slow.test:9/rates/index.aspx'
nowhere='http://127.0.0.1:9/rates/index.aspx'

ini() { printf '[Param]\r\nWaitTimeOut=%s\r\nProxyType=%s\r\nRatesURL=%s\r\nInterval=3\r\n' "$@" \
    >"$work/kestrel.ini"; }
ms() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }

print_time() {  # label proxytype url [environment...]
    label=$1 type=$2 url=$3
    shift 3
    ini 2 "$type" "$url"
    t=$(date +%s%N)
    env LD_PRELOAD="$shim" "$@" "$kestrel" --print >/dev/null || true
    echo "--print, $label: $(ms "$t") ms (WaitTimeOut 2000 ms)"
}
print_time "slow name lookup" 1 "$slowhost"
print_time "slow proxy lookup" 0 "$nowhere" http_proxy=$pac

"$build/bin/endless_server" >"$work/port" &
server=$!
n=0
until [ -s "$work/port" ] || [ $n -ge 50 ]; do n=$((n + 1)); sleep 0.1; done
endless="http://127.0.0.1:$(cat "$work/port")/rates/index.aspx"
ini 5 1 "$endless"
/usr/bin/time -f '%e s, peak %M KB' -o "$work/time" "$kestrel" --print >/dev/null || true
echo "--print, endless body: $(tail -n 1 "$work/time") (WaitTimeOut 5000 ms)"

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
n=0
until [ -s "$work/display" ] || [ $n -ge 50 ]; do n=$((n + 1)); sleep 0.1; done
export DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb
unset DBUS_SESSION_BUS_ADDRESS
openbox >/dev/null 2>&1 &
wm=$!
sleep 1

window_of() {  # pid: its one visible window, waited for
    n=0
    while [ $n -lt 100 ]; do
        id=$(xdotool search --onlyvisible --pid "$1" 2>/dev/null | head -n 1)
        [ -n "$id" ] && { echo "$id"; return; }
        n=$((n + 1))
        sleep 0.1
    done
}

quit_time() {  # label proxytype url [environment...]
    label=$1 type=$2 url=$3
    shift 3
    ini 5 "$type" "$url"
    env LD_PRELOAD="$shim" "$@" "$kestrel" &
    ticker=$!
    id=$(window_of "$ticker")
    sleep 1  # the first download is in its lookup by now
    xdotool mousemove --window "$id" 30 30 click 3
    sleep 0.5
    xdotool key Up
    t=$(date +%s%N)
    xdotool key Return
    wait "$ticker" || true
    echo "退出, $label: $(ms "$t") ms"
    ticker=''
}
quit_time "slow name lookup" 1 "$slowhost"
quit_time "slow proxy lookup" 0 "$nowhere" http_proxy=$pac

ini 5 1 "$endless"
"$kestrel" &
ticker=$!
sleep "$watch"
echo "ticker, endless body: peak $(sed -n 's/VmHWM: *//p' "/proc/$ticker/status") after $watch s"
kill "$ticker"
wait "$ticker" 2>/dev/null || true
ticker=''
