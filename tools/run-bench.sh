#!/usr/bin/env bash
# Every benchmark against one build: tools/run-bench.sh [build dir]. Runs them all and exits 1
# when any failed or missed its target.
set -uo pipefail
build=${1:-build/dev}
here=$(cd "$(dirname "$0")/.." && pwd)
status=0
run() {
  echo "== $*"
  "$@" || { echo "== failed: $*"; status=1; }
}
run "$build/bin/bench_parser"
run "$build/bin/bench_http"
run "$build/bin/bench_history"
run "$build/bin/bench_chart"
run "$here/bench/net-bars.sh" "$build"
run "$here/bench/gateway-bench.sh" "$build"
run "$here/bench/ticker-vs-floor.sh" "$build"
exit $status
