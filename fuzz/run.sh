#!/usr/bin/env bash
# Builds every libFuzzer harness (clang, -DZANDREL_FUZZ=ON) and runs each for
# SECONDS seconds. Corpora are kept in <build>/fuzz/corpus/<name>; crashes
# land in <build>/fuzz/artifacts/<name>/. Exits non-zero when any harness fails.
#   fuzz/run.sh SECONDS          (build folder: $ZANDREL_FUZZ_BUILD or build-fuzz)
set -euo pipefail

seconds=${1:?usage: fuzz/run.sh SECONDS}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${ZANDREL_FUZZ_BUILD:-$source_dir/build-fuzz}
jobs=${ZANDREL_FUZZ_JOBS:-2}

CC=clang CXX=clang++ cmake -S "$source_dir" -B "$build" -G Ninja -DZANDREL_FUZZ=ON >/dev/null
cmake --build "$build" -j "$jobs" --target fuzzers

failed=()
while IFS=$'\t' read -r name binary seeds; do
    [ -n "$name" ] || continue
    corpus=$build/fuzz/corpus/$name
    artifacts=$build/fuzz/artifacts/$name/
    mkdir -p "$corpus" "$artifacts"
    inputs=("$corpus")
    if [ -n "$seeds" ] && [ -d "$seeds" ]; then
        inputs+=("$seeds")
    fi
    echo "== $name: ${seconds}s"
    if ! "$binary" -max_total_time="$seconds" -rss_limit_mb=2048 -artifact_prefix="$artifacts" \
        -print_final_stats=1 "${inputs[@]}"; then
        failed+=("$name")
    fi
done <"$build/fuzz/fuzzers.txt"

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: failed: ${failed[*]}" >&2
    exit 1
fi
echo "fuzz: all harnesses ran ${seconds}s without a failure"
