#!/usr/bin/env bash
# Holds the includes of src/ and apps/ to the table of libraries in the README ("The source
# tree"): a file may include headers of its own folder, of the folders its row names, and of
# what those may use in turn. It fails when an include runs outside that, when a backend's
# header (src/platform/<backend>/) is included outside the platform library and apps/, when the
# table names a folder that is not there or leaves one out, and when the table goes in a circle.
#   tools/include-check.sh [README]
set -euo pipefail
cd "$(dirname "$0")/.."
readme=${1:-README.md}

# "folder dep dep ..." per row: the row's first cell, less its src/ prefix, then every folder
# in backticks of its third cell (the rest of that cell names system libraries).
table=$(awk -F'|' '
  /^## The source tree/ { inside = 1; next }
  /^## / { inside = 0 }
  inside && $2 ~ /^ *`(src|apps)\// {
    folder = $2; gsub(/[ `]/, "", folder); sub(/^src\//, "", folder); sub(/\/$/, "", folder)
    line = folder
    rest = $4
    while (match(rest, /`[^`]+`/)) {
      line = line " " substr(rest, RSTART + 1, RLENGTH - 2)
      rest = substr(rest, RSTART + RLENGTH)
    }
    print line
  }' "$readme")
if [ -z "$table" ]; then
  echo "include-check: no table of libraries under \"## The source tree\" in $readme" >&2
  exit 1
fi

declare -A uses
status=0
while read -r folder deps; do
  uses[$folder]=$deps
done <<<"$table"

# The table itself points one way.
if ! loop=$(for folder in "${!uses[@]}"; do
  for dep in ${uses[$folder]}; do echo "$folder $dep"; done
  echo "$folder $folder"
done | tsort 2>&1 >/dev/null) || [ -n "$loop" ]; then
  echo "include-check: the table goes in a circle:" >&2
  echo "$loop" >&2
  status=1
fi

# Every folder that holds code has a row, and every row a folder.
mapfile -t folders < <(find src apps -name '*.cpp' -o -name '*.h' -o -name '*.c' |
  xargs -n1 dirname | sort -u | sed 's|^src/||')
for folder in "${folders[@]}"; do
  [ -n "${uses[$folder]+set}" ] || {
    echo "include-check: $folder has no row in the table of $readme" >&2
    status=1
  }
done
for folder in "${!uses[@]}"; do
  dir=$folder
  [[ $dir == apps/* ]] || dir=src/$dir
  [ -d "$dir" ] || {
    echo "include-check: the table names $folder, which is not there" >&2
    status=1
  }
done

# What each folder may include: its row, and what those may use, to the bottom.
declare -A allowed
closure() {
  local seen=" $1 " queue=(${uses[$1]:-}) dep
  while [ ${#queue[@]} -gt 0 ]; do
    dep=${queue[0]}
    queue=("${queue[@]:1}")
    [[ $seen == *" $dep "* ]] && continue
    seen+="$dep "
    queue+=(${uses[$dep]:-})
  done
  echo "$seen"
}
for folder in "${!uses[@]}"; do
  allowed[$folder]=$(closure "$folder")
done

checked=0
for folder in "${folders[@]}"; do
  [ -n "${allowed[$folder]+set}" ] || continue
  dir=$folder
  [[ $dir == apps/* ]] || dir=src/$dir
  while IFS=: read -r file header; do
    checked=$((checked + 1))
    target=${header%/*}
    if [[ $target == platform/* && $folder != platform && $folder != platform/* &&
      $folder != apps/* ]]; then
      echo "include-check: $file includes a backend's header, $header" >&2
      status=1
    elif [[ ${allowed[$folder]} != *" $target "* ]]; then
      echo "include-check: $file includes $header, but $folder may not use $target" >&2
      status=1
    fi
  done < <(grep -oE '^#include "[a-z0-9_-]+(/[a-z0-9_-]+)*/[a-z0-9_.-]+"' \
    "$dir"/*.cpp "$dir"/*.h 2>/dev/null | sed -E 's|:#include "(.*)"$|:\1|')
done
[ $status -eq 0 ] &&
  echo "include-check: ${#uses[@]} libraries and programs, $checked includes, all as the table allows"
exit $status
