#!/usr/bin/env bash
# The folders of src/ form layers: a folder may include from folders below it, never from one
# that includes it back, directly or through others. A folder counts with everything beneath it.
# tsort names the folders of any such loop and fails.
set -euo pipefail
cd "$(dirname "$0")/../src"
pairs=$(for dir in */; do
  from=${dir%/}
  grep -rhoE '^#include "[a-z_0-9]+/' "$from" | sed -E "s|#include \"([^/]+)/|$from \1|" |
    awk '$1 != $2' | sort -u
done)
if ! order=$(tsort <<<"$pairs" 2>&1 >/dev/null) || [ -n "$order" ]; then
  echo "include-check: folders that include each other:" >&2
  echo "$order" >&2
  exit 1
fi
echo "include-check: $(wc -l <<<"$pairs") folder dependencies, no loop"
