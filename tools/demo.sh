#!/usr/bin/env bash
# The demo: the quote server on loopback, one printed download, then the ticker window against it.
# The demo keeps its own settings in build/<preset>/demo-home, pointed at the demo server for the
# quotes and for the online upgrade (帮助 → 在线升级... announces 0.91 and opens its page).
set -euo pipefail
build=${1:-build/dev}
bin="$build/bin"
home="$build/demo-home"
port=${KESTREL_DEMO_PORT:-8936}
mkdir -p "$home"
if [ ! -f "$home/kestrel.ini" ]; then
  printf '[Param]\r\nRatesURL=http://127.0.0.1:%s/rates/index.aspx\r\n' "$port" > "$home/kestrel.ini"
fi
if ! grep -qi '^UpdateURL=' "$home/kestrel.ini"; then
  # Settings kept from an older demo get the key at the top of their [Param] section.
  sed -i "0,/^\[Param\]/I s||&\r\nUpdateURL=http://127.0.0.1:$port/kestrelmv/kestrelmv.inf|" \
    "$home/kestrel.ini"
fi
export KESTREL_HOME="$home"

"$bin/kestrel-quoted" --source walk --port "$port" >/dev/null 2>"$build/demo-quoted.log" &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  curl -s -o /dev/null "http://127.0.0.1:$port/rates/index.aspx" 2>/dev/null && break
  sleep 0.1
done

echo "== kestrel --print against the demo server on port $port"
"$bin/kestrel" --print || true

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "== the ticker window (quit it from its menu: 退出); settings in $home"
  "$bin/kestrel"
else
  echo "No display: run 'make demo' on a desktop to see the ticker window."
fi
