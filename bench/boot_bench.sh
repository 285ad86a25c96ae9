#!/usr/bin/env bash
# Time from Boot to the jump for a 16 MB uncompressed kernel read from a local
# file on a 64 MB PXA270 (Sharp W-ZERO3), against the baseline `cat` of the
# same file, and the process's peak memory.
#   bench/boot_bench.sh [RUNS]      (build folder: $ZANDREL_BUILD_DIR or build)
#
# "Boot to the jump" is measured inside zandrel-sim (--timing): from pressing
# Boot to the call of the jump routine, which is every step the loader takes.
# The baseline is the whole `cat FILE >/dev/null` process, started and timed
# the same way. Each figure is the best of RUNS; the whole zandrel-sim process
# (start-up, the boot, the page-list replay after the jump, exit) is shown
# beside them for reference. Peak memory comes from runs that stop at the
# last-chance question, right before the jump, so it is the boot's alone.
set -euo pipefail

runs=${1:-15}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${ZANDREL_BUILD_DIR:-$source_dir/build}
cmake --build "$build" --target zandrel-sim bench_kernels >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/device/Storage Card"
kernel="$work/device/Storage Card/bench.elf"
cp "$build/kernels/bench_16m.elf" "$kernel"
kernel_bytes=$(stat -c %s "$kernel")
machine="Sharp W-ZERO3 (WS003SH)"

# Seconds between two $EPOCHREALTIME readings (no process is started to read the clock).
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.6f", b - a }'; }
lower() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }

best_cat= best_boot= best_process= peak_kb=0
for _ in $(seq "$runs"); do
    start=$EPOCHREALTIME
    cat "$kernel" >/dev/null
    best_cat=$(lower "$(elapsed "$start" "$EPOCHREALTIME")" "$best_cat")

    start=$EPOCHREALTIME
    "$build/zandrel-sim" --quiet --device "$work/device" --machine "$machine" --dir '\Storage Card\' \
        --kernel bench.elf --rootfs wd --no-safety --no-pause --emulator none --timing >/dev/null 2>"$work/err" || true
    best_process=$(lower "$(elapsed "$start" "$EPOCHREALTIME")" "$best_process")
    boot=$(sed -n 's/^zandrel-sim: Boot to the jump took \([0-9.]*\) s$/\1/p' "$work/err")
    if [[ -z $boot ]]; then
        echo "boot_bench: the boot did not reach the jump:" >&2
        cat "$work/err" >&2
        exit 1
    fi
    best_boot=$(lower "$boot" "$best_boot")
done
# Runs of their own, so that the timed runs find the settings they store unchanged.
for _ in $(seq "$runs"); do
    /usr/bin/env time -f %M -o "$work/rss" "$build/zandrel-sim" --quiet --device "$work/device" \
        --machine "$machine" --dir '\Storage Card\' --kernel bench.elf --rootfs wd --no-safety --pause \
        --answer no >/dev/null 2>&1 || true
    rss=$(tail -n 1 "$work/rss")
    ((rss > peak_kb)) && peak_kb=$rss
done

# The simulated RAM the boot uses is its page region, about the kernel again;
# beyond it, 1.2 x the kernel + 20 MB.
budget_kb=$(((kernel_bytes * 12 / 10 + 20 * 1048576 + kernel_bytes) / 1024))
printf 'machine                %s, 64 MB\n' "$machine"
printf 'kernel                 %d bytes (16 MB uncompressed ELF, local file)\n' "$kernel_bytes"
printf 'baseline cat           %s s (the whole process)\n' "$best_cat"
printf 'Boot to the jump       %s s\n' "$best_boot"
printf 'ratio                  %s (target at most 1.5)\n' \
    "$(awk -v a="$best_boot" -v b="$best_cat" 'BEGIN { printf "%.2f", a / b }')"
printf 'whole zandrel-sim run  %s s (start-up, boot, replay of the page list, exit)\n' "$best_process"
printf 'peak memory            %d KB up to the jump (budget %d KB: the page region + 1.2 x kernel + 20 MB)\n' \
    "$peak_kb" "$budget_kb"
