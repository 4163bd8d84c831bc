#!/usr/bin/env bash
# The ticker's idle cost beside a minimal Qt window with a 100 ms timer (the floor):
#   1. CPU share of one core over 60 s between downloads (Interval 600 s, the countdown running)
#   2. resident memory after 100 downloads (Interval 1 s)
# Runs both programs under one Xvfb; prints the figures and their ratios.
set -euo pipefail
build=${1:-build/dev}
bin="$build/bin"
seconds=${IDLE_SECONDS:-60}
downloads=${DOWNLOADS:-100}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

Xvfb :77 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=:77 QT_QPA_PLATFORM=xcb
sleep 1
"$bin/kestrel-quoted" --source walk --port 0 >"$work/quoted.out" 2>"$work/quoted.log" &
for _ in $(seq 50); do grep -q listening "$work/quoted.out" && break; sleep 0.1; done
port=$(sed -n 's/.*:\([0-9]*\)\/.*/\1/p' "$work/quoted.out" | head -1)
url="http://127.0.0.1:$port/rates/index.aspx"

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss_kb() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
hz=$(getconf CLK_TCK)
share() { awk -v a="$1" -v b="$2" -v hz="$hz" -v s="$seconds" 'BEGIN { printf "%.3f", 100 * (b - a) / hz / s }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

mkdir -p "$work/idle" "$work/busy"
printf '[Param]\r\nInterval=600\r\nAutoPrompt=0\r\nProxyType=1\r\nRatesURL=%s\r\n' "$url" >"$work/idle/kestrel.ini"
printf '[Param]\r\nInterval=1\r\nAutoPrompt=0\r\nProxyType=1\r\nRatesURL=%s\r\n' "$url" >"$work/busy/kestrel.ini"

# 1. Idle cost: both programs side by side over the same seconds.
KESTREL_HOME="$work/idle" "$bin/kestrel" &
ticker=$!
"$bin/idle_floor" &
floor=$!
sleep 5  # past start-up and the first download
a0=$(ticks $ticker); f0=$(ticks $floor)
sleep "$seconds"
a1=$(ticks $ticker); f1=$(ticks $floor)
ticker_cpu=$(share "$a0" "$a1"); floor_cpu=$(share "$f0" "$f1")
floor_rss=$(rss_kb $floor)
kill $ticker $floor; wait $ticker $floor 2>/dev/null || true
echo "idle CPU over ${seconds}s: ticker ${ticker_cpu}% of one core, floor ${floor_cpu}% (ratio $(ratio "$ticker_cpu" "$floor_cpu"))"

# 2. Memory after the downloads: count the server's requests.
: >"$work/quoted.log"
KESTREL_HOME="$work/busy" "$bin/kestrel" &
ticker=$!
served() { grep -c 'GET' "$work/quoted.log" || true; }
while [ "$(served)" -lt 10 ]; do sleep 1; done
early_rss=$(rss_kb $ticker)
while [ "$(served)" -lt "$downloads" ]; do sleep 1; done
ticker_rss=$(rss_kb $ticker)
echo "resident memory of the ticker: ${early_rss} KiB after 10 downloads, ${ticker_rss} KiB after $downloads"
kill $ticker; wait $ticker 2>/dev/null || true
echo "resident memory after $downloads downloads: ticker ${ticker_rss} KiB, floor ${floor_rss} KiB (ratio $(ratio "$ticker_rss" "$floor_rss"))"
