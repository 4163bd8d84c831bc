#!/usr/bin/env bash
# clang-format's verdict on the C++ files changed against origin/main (committed or not), or on
# every C++ file when origin/main is unknown, as in a fresh clone without that remote.
set -euo pipefail
cd "$(dirname "$0")/.."
if base=$(git merge-base origin/main HEAD 2>/dev/null); then
  mapfile -t files < <(git diff --name-only --diff-filter=d "$base" -- '*.cpp' '*.h')
else
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
fi
if [ ${#files[@]} -eq 0 ]; then
  exit 0
fi
clang-format --dry-run -Werror "${files[@]}"
echo "format-check: ${#files[@]} files checked, all formatted"
