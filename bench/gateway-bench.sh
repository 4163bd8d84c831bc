#!/usr/bin/env bash
# The quote server under load, side by side with nginx serving the same bytes in the same run:
#   bench/gateway-bench.sh [build dir]
# - keep-alive requests/s and p99 latency at 1, 8, 64 and 256 connections (wrk, $SECONDS_EACH s
#   each, default 5), the two servers taking turns $ROUNDS times (default 2) so that a burst of
#   other work on the machine hits both; each keeps its best round. Targets: at least 0.5x
#   nginx's requests/s, p99 at most 3x nginx's (or within 1 ms);
# - the slowloris run: with 2,000 idle and 16 dripping connections held, fresh clients must be
#   answered within 200 ms.
# Installs wrk and nginx-light when they are missing (as root). Exits 1 when a target is missed.
set -euo pipefail
build=$(realpath "${1:-build/dev}")
each=${SECONDS_EACH:-5}
rounds=${ROUNDS:-2}
if ! command -v wrk >/dev/null || ! command -v nginx >/dev/null; then
  [ "$(id -u)" -eq 0 ] || { echo "gateway-bench: needs wrk and nginx-light" >&2; exit 1; }
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends wrk nginx-light \
    >/dev/null
fi
work=$(mktemp -d)
server='' nginx=''
stop() { for p in $server $nginx; do kill "$p" 2>/dev/null || true; done; }
trap 'stop; rm -rf "$work"' EXIT
unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY
ulimit -n 8192

"$build/bin/kestrel-quoted" --source walk --fixed --seed 1 --port 0 >"$work/quoted.out" 2>"$work/quoted.log" &
server=$!
for _ in $(seq 50); do grep -q listening "$work/quoted.out" && break; sleep 0.1; done
port=$(sed -n 's|^listening on http://127.0.0.1:\([0-9]*\)/$|\1|p' "$work/quoted.out")
[ -n "$port" ] || { echo "gateway-bench: kestrel-quoted did not start" >&2; exit 1; }

# nginx with the page as a file: the same bytes, its own log like the server's.
mkdir -p "$work/root/rates"
curl -sf -o "$work/root/rates/index.aspx" "http://127.0.0.1:$port/rates/index.aspx"
nport=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat >"$work/nginx.conf" <<CONF
daemon off;
worker_processes auto;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 4096; }
http {
  access_log $work/nginx-access.log;
  client_body_temp_path $work; proxy_temp_path $work; fastcgi_temp_path $work;
  uwsgi_temp_path $work; scgi_temp_path $work;
  server {
    listen 127.0.0.1:$nport;
    root $work/root;
    location / { default_type "text/html; charset=gb2312"; }
  }
}
CONF
nginx -c "$work/nginx.conf" -e "$work/nginx-error.log" &
nginx=$!
for _ in $(seq 50); do curl -sf -o /dev/null "http://127.0.0.1:$nport/rates/index.aspx" && break; sleep 0.1; done
echo "page: $(stat -c %s "$work/root/rates/index.aspx") bytes from both"

# Requests/s and p99 in ms of one wrk run.
measure() {
  local out
  out=$(wrk -t "$(( $2 < 2 ? 1 : 2 ))" -c "$2" -d "${each}s" --latency "$1")
  local rps p99
  rps=$(awk '/^Requests\/sec:/ {print $2}' <<<"$out")
  p99=$(awk '$1 == "99%" {v=$2; if (v ~ /us$/) {sub(/us/,"",v); v/=1000} else if (v ~ /ms$/) \
        {sub(/ms/,"",v)} else if (v ~ /s$/) {sub(/s/,"",v); v*=1000}; print v}' <<<"$out")
  echo "$rps $p99"
}

failed=0
printf '%6s %12s %12s %7s %10s %10s %7s\n' conns quoted/s nginx/s ratio 'p99 q ms' 'p99 n ms' ratio
for c in 1 8 64 256; do
  qr=0 qp=1e9 nr=0 np=1e9
  for _ in $(seq "$rounds"); do
    read -r r p < <(measure "http://127.0.0.1:$port/rates/index.aspx" "$c")
    read -r qr qp < <(awk -v a="$qr" -v b="$qp" -v r="$r" -v p="$p" \
      'BEGIN { print (r > a ? r : a), (p < b ? p : b) }')
    read -r r p < <(measure "http://127.0.0.1:$nport/rates/index.aspx" "$c")
    read -r nr np < <(awk -v a="$nr" -v b="$np" -v r="$r" -v p="$p" \
      'BEGIN { print (r > a ? r : a), (p < b ? p : b) }')
  done
  verdict=$(awk -v qr="$qr" -v nr="$nr" -v qp="$qp" -v np="$np" 'BEGIN {
    r = qr / nr; l = np > 0 ? qp / np : 0;
    ok = r >= 0.5 && (qp <= 3 * np || qp - np <= 1);
    printf "%7.2f %10.2f %10.2f %7.2f %s", r, qp, np, l, ok ? "ok" : "MISSED" }')
  printf '%6s %12s %12s %s\n' "$c" "$qr" "$nr" "$verdict"
  [[ $verdict == *MISSED ]] && failed=1
done

# The board's document, made at most once a second of unchanged prices; measured, no target.
echo "/quotes.json: $(curl -sf "http://127.0.0.1:$port/quotes.json" | wc -c) bytes"
for c in 8 64; do
  read -r r p < <(measure "http://127.0.0.1:$port/quotes.json" "$c")
  printf '%6s %12s/s p99 %s ms\n' "$c" "$r" "$p"
done

echo "slowloris: 2000 idle and 16 dripping connections"
if out=$("$build/bin/slowloris" 127.0.0.1 "$port" 2000 16); then
  echo "$out"
  ms=$(sed -n 's/^slowest fresh client: \([0-9.]*\) ms.*/\1/p' <<<"$out")
  awk -v ms="$ms" 'BEGIN { exit !(ms < 200) }' || { echo "slowloris: MISSED (200 ms)"; failed=1; }
else
  echo "$out"; echo "slowloris: MISSED (no answer)"; failed=1
fi
echo "kestrel-quoted RSS after the run: $(awk '/VmRSS/ {print $2, $3}' "/proc/$server/status")"
exit $failed
