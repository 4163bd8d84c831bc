#!/usr/bin/env bash
# The ticker beside the floor (bench/idle_floor.cpp: a bare Qt window drawing the same quote
# lines and the countdown bar), in one run on one Xvfb + openbox desktop with a session bus:
#   1. start-up to a visible window: median of RUNS (9) alternating starts, timed by mapwait;
#      the ticker also with its price history off (Param/HistoryDays=0), which may save it no
#      more than 2 ms
#   2. private memory (Private_Clean + Private_Dirty of smaps_rollup) after DOWNLOADS (60)
#      downloads from a loopback rates page at Interval 1, the floor running alongside
#   3. idle CPU (utime + stime) over IDLE_SECONDS (30) between downloads, Interval 600
# Prints the figures and the three ratios; exits 1 when a ratio misses its target
# (start <= 1.3, memory <= 1.5, idle CPU <= 1.0) or the history costs the start more than 2 ms.
#   bench/ticker-vs-floor.sh [build dir]
set -euo pipefail
if [ -z "${KESTREL_BENCH_BUS:-}" ]; then
  KESTREL_BENCH_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
build=$(cd "${1:-build/dev}" && pwd)
bin="$build/bin"
runs=${RUNS:-9}
downloads=${DOWNLOADS:-60}
seconds=${IDLE_SECONDS:-30}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT

wait_for() {  # command, tenths of a second
  local n=0
  until eval "$1"; do
    n=$((n + 1))
    [ $n -lt "$2" ] || { echo "timed out: $1" >&2; exit 2; }
    sleep 0.1
  done
}

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
wait_for '[ -s "$work/display" ]' 50
export DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb
openbox >/dev/null 2>&1 &
wait_for 'xprop -root _NET_WORKAREA 2>/dev/null | grep -q CARDINAL' 100

"$bin/kestrel-quoted" --source walk --port 0 >"$work/quoted.out" 2>"$work/quoted.log" &
wait_for 'grep -q listening "$work/quoted.out"' 50
url=$(sed -n 's/^listening on \(http:[^ ]*\)$/\1/p' "$work/quoted.out" | head -1)rates/index.aspx

for mode in idle busy nohistory; do
  mkdir -p "$work/$mode"
  interval=$([ $mode = busy ] && echo 1 || echo 600)
  days=$([ $mode = nohistory ] && echo 0 || echo 30)
  printf '[Param]\r\nInterval=%s\r\nAutoPrompt=0\r\nProxyType=1\r\nRatesURL=%s\r\nHistoryDays=%s\r\n' \
    "$interval" "$url" "$days" >"$work/$mode/kestrel.ini"
done
"$bin/kestrel" --print --url "$url" >"$work/lines.txt"

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print (a > 0 ? "inf" : "1.00") }'; }
private_kb() { awk '/^Private_(Clean|Dirty):/ { s += $2 } END { print s }' "/proc/$1/smaps_rollup"; }
# Clean pages of libraries and fonts count as private only while no other process maps them, so
# the private figure moves with whatever else runs; the dirty part does not, and is shown beside it.
dirty_kb() { awk '/^Private_Dirty:/ { s += $2 } END { print s }' "/proc/$1/smaps_rollup"; }
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# 1. Start-up, alternating so that both see the same caches and the same load.
: >"$work/start.ticker"
: >"$work/start.floor"
: >"$work/start.nohistory"
for _ in $(seq "$runs"); do
  KESTREL_HOME="$work/idle" "$bin/mapwait" 10000 "$bin/kestrel" >>"$work/start.ticker"
  KESTREL_HOME="$work/nohistory" "$bin/mapwait" 10000 "$bin/kestrel" >>"$work/start.nohistory"
  "$bin/mapwait" 10000 "$bin/idle_floor" "$work/lines.txt" >>"$work/start.floor"
done
start_ticker=$(median <"$work/start.ticker")
start_floor=$(median <"$work/start.floor")
start_nohistory=$(median <"$work/start.nohistory")
history_cost=$(awk -v a="$start_ticker" -v b="$start_nohistory" 'BEGIN { printf "%.1f", a - b }')

# 2. Private memory after the downloads; the server logs one line per request.
served() { grep -c 'GET' "$work/quoted.log" || true; }
: >"$work/quoted.log"
KESTREL_HOME="$work/busy" "$bin/kestrel" &
ticker=$!
"$bin/idle_floor" "$work/lines.txt" &
floor=$!
wait_for '[ "$(served)" -ge "$downloads" ]' $((downloads * 30))
mem_ticker=$(private_kb $ticker)
mem_floor=$(private_kb $floor)
dirty_ticker=$(dirty_kb $ticker)
dirty_floor=$(dirty_kb $floor)
kill $ticker $floor
wait $ticker $floor 2>/dev/null || true

# 3. Idle CPU, past start-up and the first download.
KESTREL_HOME="$work/idle" "$bin/kestrel" &
ticker=$!
"$bin/idle_floor" "$work/lines.txt" &
floor=$!
sleep 5
t0=$(ticks $ticker)
f0=$(ticks $floor)
sleep "$seconds"
cpu_ticker=$(($(ticks $ticker) - t0))
cpu_floor=$(($(ticks $floor) - f0))
kill $ticker $floor
wait $ticker $floor 2>/dev/null || true

r_start=$(ratio "$start_ticker" "$start_floor")
r_mem=$(ratio "$mem_ticker" "$mem_floor")
r_cpu=$(ratio "$cpu_ticker" "$cpu_floor")
hz=$(getconf CLK_TCK)
printf '%-44s %10s %10s %7s %7s\n' "" ticker floor ratio target
printf '%-44s %10s %10s %7s %7s\n' "start-up to a visible window, ms (median of $runs)" \
  "$start_ticker" "$start_floor" "$r_start" 1.3
printf '%-44s %10s %10s %7s %7s\n' "  with the price history off; the history's cost" \
  "$start_nohistory" "" "${history_cost}ms" 2ms
printf '%-44s %10s %10s %7s %7s\n' "private memory after $downloads downloads, KiB" \
  "$mem_ticker" "$mem_floor" "$r_mem" 1.5
printf '%-44s %10s %10s %7s %7s\n' "  of it dirty, KiB" \
  "$dirty_ticker" "$dirty_floor" "$(ratio "$dirty_ticker" "$dirty_floor")" -
printf '%-44s %10s %10s %7s %7s\n' "idle CPU over ${seconds}s, ticks of 1/$hz s" \
  "$cpu_ticker" "$cpu_floor" "$r_cpu" 1.0
awk -v s="$r_start" -v m="$r_mem" -v c="$r_cpu" -v h="$history_cost" \
  'BEGIN { exit !(s != "inf" && m != "inf" && c != "inf" && s <= 1.3 && m <= 1.5 && c <= 1.0 && h <= 2) }'
