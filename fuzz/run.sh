#!/usr/bin/env bash
# Builds every libFuzzer harness (clang, -DZANDREL_FUZZ=ON) and runs each for
# SECONDS seconds, starting from the minimised corpus kept in the repository
# (fuzz/corpus/<name>) and the harness's seeds. What a run finds is kept in
# <build>/fuzz/corpus/<name>; crashes land in <build>/fuzz/artifacts/<name>/.
# Exits non-zero when any harness fails.
#   fuzz/run.sh SECONDS    (build folder: $ZANDREL_FUZZ_BUILD or build-fuzz)
#   fuzz/run.sh --merge    minimises the repository's corpora together with
#                          what the runs found (libFuzzer -merge=1), keeping
#                          files of at most 64 KB
set -euo pipefail

mode=${1:?usage: fuzz/run.sh SECONDS | --merge}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${ZANDREL_FUZZ_BUILD:-$source_dir/build-fuzz}
jobs=${ZANDREL_FUZZ_JOBS:-2}
largest_kept=65536

CC=clang CXX=clang++ cmake -S "$source_dir" -B "$build" -G Ninja -DZANDREL_FUZZ=ON >/dev/null
cmake --build "$build" -j "$jobs" --target fuzzers

failed=()
while IFS=$'\t' read -r name binary seeds; do
    [ -n "$name" ] || continue
    corpus=$build/fuzz/corpus/$name
    kept=$source_dir/fuzz/corpus/$name
    artifacts=$build/fuzz/artifacts/$name/
    mkdir -p "$corpus" "$kept" "$artifacts"
    inputs=("$corpus" "$kept")
    if [ -n "$seeds" ] && [ -d "$seeds" ]; then
        inputs+=("$seeds")
    fi
    if [ "$mode" = --merge ]; then
        echo "== $name: merge into fuzz/corpus/$name"
        merged=$(mktemp -d)
        if "$binary" -merge=1 -rss_limit_mb=2048 "$merged" "${inputs[@]:1}" "$corpus"; then
            find "$merged" -type f -size +$((largest_kept / 1024))k -delete
            rm -rf "$kept"
            mv "$merged" "$kept"
            chmod 755 "$kept"
        else
            rm -rf "$merged"
            failed+=("$name")
        fi
        continue
    fi
    echo "== $name: ${mode}s"
    if ! "$binary" -max_total_time="$mode" -rss_limit_mb=2048 -artifact_prefix="$artifacts" \
        -print_final_stats=1 "${inputs[@]}"; then
        failed+=("$name")
    fi
done <"$build/fuzz/fuzzers.txt"

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: failed: ${failed[*]}" >&2
    exit 1
fi
if [ "$mode" = --merge ]; then
    echo "fuzz: corpora merged into fuzz/corpus/"
else
    echo "fuzz: all harnesses ran ${mode}s without a failure"
fi
