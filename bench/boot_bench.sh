#!/usr/bin/env bash
# Time from Boot to the jump for a 16 MB uncompressed kernel read from a local
# file, against the baseline `cat` of the same file, and the process's peak
# memory. The boot is stopped at the last-chance question (answered No), which
# comes right after the page list and argument page are complete, so the
# figure covers every step up to the jump and nothing after it.
#   bench/boot_bench.sh [RUNS]      (build folder: $ZANDREL_BUILD_DIR or build)
#
# The machine is a 64 MB SA-1110 (Compaq iPAQ H3660): a PXA2x0 second stage
# places kernels in the first 16 MB of SDRAM (addresses keep their low 24
# bits), where a 16 MB kernel linked at 0xC0200000 does not fit.
set -euo pipefail

runs=${1:-3}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${ZANDREL_BUILD_DIR:-$source_dir/build}
cmake --build "$build" --target zandrel-sim bench_kernels >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/device/Storage Card"
kernel="$work/device/Storage Card/bench.elf"
cp "$build/kernels/bench_16m.elf" "$kernel"
kernel_bytes=$(stat -c %s "$kernel")

seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
lower() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }

best_cat= best_boot= peak_kb=0
for _ in $(seq "$runs"); do
    sync
    start=$(date +%s.%N)
    cat "$kernel" >/dev/null
    best_cat=$(lower "$(seconds "$start" "$(date +%s.%N)")" "$best_cat")

    start=$(date +%s.%N)
    /usr/bin/env time -f %M -o "$work/rss" "$build/zandrel-sim" --quiet --device "$work/device" \
        --machine "Compaq iPAQ H3660" --dir '\Storage Card\' --kernel bench.elf --rootfs wd \
        --safety --pause --answers yes,no >/dev/null 2>&1 || true
    best_boot=$(lower "$(seconds "$start" "$(date +%s.%N)")" "$best_boot")
    rss=$(tail -n 1 "$work/rss")
    ((rss > peak_kb)) && peak_kb=$rss
done

# The simulated RAM the boot touches is the page region: about the kernel again.
budget_kb=$(((kernel_bytes * 12 / 10 + 20 * 1048576 + kernel_bytes) / 1024))
printf 'kernel                 %d bytes (16 MB uncompressed ELF, local file)\n' "$kernel_bytes"
printf 'baseline cat           %s s\n' "$best_cat"
printf 'Boot to the jump       %s s\n' "$best_boot"
printf 'ratio                  %s (target at most 1.5)\n' "$(awk -v a="$best_boot" -v b="$best_cat" 'BEGIN { printf "%.2f", a / b }')"
printf 'peak memory            %d KB (budget %d KB: 1.2 x kernel + 20 MB beyond the simulated RAM in use)\n' \
    "$peak_kb" "$budget_kb"
