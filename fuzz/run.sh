#!/usr/bin/env bash
# Runs each fuzz target for a fixed time on its own corpus (BUILD/corpus/TARGET, seeded from
# tests/data on the first run) and leaves what it found - crashes, inputs slower than 10 s,
# leaks - in BUILD/findings/TARGET/.
# Usage: fuzz/run.sh BUILD SECONDS TARGET...
set -uo pipefail
build=${1:?build directory} seconds=${2:?seconds per target}
shift 2
here=$(cd "$(dirname "$0")" && pwd)
data=$here/../tests/data
status=0
for target in "$@"; do
    corpus=$build/corpus/$target
    findings=$build/findings/$target
    mkdir -p "$corpus" "$findings"
    options=(-max_total_time="$seconds" -timeout=10 -print_final_stats=1
             -artifact_prefix="$findings/")
    case $target in
    fuzz_parser)
        # Hostile pages are large rather than clever: let inputs grow to 1 MiB.
        options+=(-max_len=1048576 -len_control=0 -dict="$here/rates.dict")
        seeds=("$data/rates-sample.html") ;;
    fuzz_settings)
        seeds=("$data"/settings-*.ini) ;;
    *)
        seeds=() ;;
    esac
    [ -n "$(ls -A "$corpus")" ] || cp "${seeds[@]}" "$corpus/" 2>/dev/null
    echo "== $target, $seconds s"
    "$build/bin/$target" "${options[@]}" "$corpus" || status=1
done
exit $status
