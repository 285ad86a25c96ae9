#!/usr/bin/env bash
# The hand-off's speed against the baseline "targets": emulated
# instructions per 32-bit word the second stage copies (target <= 4), and the
# wall time of the README's main command, build/zandrel-sim with the default
# settings (target <= 3 s), plus a boot of the probe kernel to its verdict.
# Prints the best of RUNS runs.
#   bench/handoff_bench.sh [RUNS] [MB]      (build folder: $ZANDREL_BUILD_DIR or build)
set -euo pipefail

runs=${1:-3}
megabytes=${2:-12}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${ZANDREL_BUILD_DIR:-$source_dir/build}
cmake --build "$build" --target zandrel_handoff_bench zandrel-sim probe_kernel >/dev/null

baseline_words=4
baseline_seconds=3

lower() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }
verdict() { awk -v a="$1" -v b="$2" 'BEGIN { print (a <= b) ? "within" : "OVER" }'; }

echo "baseline \"targets\": <= $baseline_words instructions per copied word, <= $baseline_seconds s for build/zandrel-sim"
echo
echo "second stage copying $megabytes MB (instructions per word, seconds, million instructions per second):"
"$build/bench/zandrel_handoff_bench" "$megabytes" | while read -r name per_word seconds mips; do
    printf '  %-7s %s instructions/word (%s the baseline), %ss, %s MIPS\n' "$name" "$per_word" \
        "$(verdict "$per_word" "$baseline_words")" "$seconds" "$mips"
done

best_time() {
    local fastest=
    for _ in $(seq "$runs"); do
        local start end
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1 || true
        end=$(date +%s.%N)
        fastest=$(lower "$(awk -v a="$end" -v b="$start" 'BEGIN { print a - b }')" "$fastest")
    done
    printf '%.3f' "$fastest"
}

echo
main=$(best_time "$build/zandrel-sim" --quiet)
echo "build/zandrel-sim (default settings): ${main}s, $(verdict "$main" "$baseline_seconds") the baseline"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/Storage Card"
cp "$build/kernels/probe.elf" "$work/Storage Card/"
probe=$(best_time "$build/zandrel-sim" --quiet --device "$work" --dir '\Storage Card\' --kernel probe.elf)
echo "build/zandrel-sim booting the probe kernel on Unicorn: ${probe}s, $(verdict "$probe" "$baseline_seconds") the baseline"
qemu=$(best_time "$build/zandrel-sim" --quiet --device "$work" --dir '\Storage Card\' --kernel probe.elf --emulator qemu)
echo "build/zandrel-sim booting the probe kernel on QEMU:    ${qemu}s, $(verdict "$qemu" "$baseline_seconds") the baseline"
