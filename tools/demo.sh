#!/usr/bin/env bash
# The program's main job on a saved sample page.
set -euo pipefail
build=${1:-build/dev}
exec "$build/bin/kestrel" --print --page tests/data/rates-sample.html
