#!/usr/bin/env bash
# The loader's heap high-water mark for a realistic 16 MB gzipped kernel
# (bench_code_16m: 16 MB of real program code, about 2.2:1 with gzip -9) with
# a 16 MB file-system image (makefs of the toolchain's programs, gzipped), on
# a 128 MB W-ZERO3, against the target of at most 1 MB plus the gzip access
# index of both files. The mark is what the process's heaps (LocalAlloc and
# heaps of its own, charged to program memory on the device: the pages they
# grew by, each block with its header and rounding) held at once from the
# device's start to the last-chance question, right before the jump, with
# everything loaded, plus the most the C++ heap (operator new, counted by the
# benchmark and charged the same way) held at once from pressing Boot on.
#   bench/heap_bench.sh      (build folder: $ZANDREL_BUILD_DIR or build)
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${ZANDREL_BUILD_DIR:-$source_dir/build}
cmake --build "$build" --target bench_kernels zandrel_heap_bench >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
card="$work/device/Storage Card"
mkdir -p "$card"
gzip -c -9 "$build/kernels/bench_code_16m.elf" >"$card/kalmor.gz"
makefs -t ffs -B le -s 16777216 -o version=1,bsize=8192,fsize=1024 "$work/miniroot.fs" \
    /usr/lib/arm-none-eabi/bin >/dev/null
gzip -c -9 "$work/miniroot.fs" >"$card/miniroot.gz"

machine="Sharp Advanced/W-ZERO3[es] (WS011SH)"
"$build/bench/zandrel_heap_bench" --index-of "$card/kalmor.gz" --index-of "$card/miniroot.gz" \
    --device "$work/device" --quiet --machine "$machine" --dir '\Storage Card\' --kernel kalmor.gz \
    --rootfs md --image miniroot.gz --no-safety --pause --answer no >"$work/console" 2>"$work/err" || true
figures=$(sed -n 's/^heap high water \([0-9]*\) c++ \([0-9]*\) index \([0-9]*\)$/\1 \2 \3/p' "$work/err")
if [[ -z $figures ]] || ! grep -q "Canceled by user" "$work/err"; then
    echo "heap_bench: the boot did not reach the last-chance question:" >&2
    tail -n 20 "$work/console" "$work/err" >&2
    exit 1
fi
read -r heap cxx index <<<"$figures"
high_water=$((heap + cxx))
target=$((1048576 + index))

printf 'kernel                 %d bytes (%d with gzip -9), image %d bytes (%d with gzip -9)\n' \
    "$(stat -c %s "$build/kernels/bench_code_16m.elf")" "$(stat -c %s "$card/kalmor.gz")" \
    "$(stat -c %s "$work/miniroot.fs")" "$(stat -c %s "$card/miniroot.gz")"
printf 'machine                %s\n' "$machine"
printf 'access index           %d KB (kernel and image; its windows, platform heap)\n' $((index / 1024))
printf 'heap high-water mark   %d KB (heaps %d KB, C++ %d KB)   target at most %d KB (1 MB + the access index)   %s\n' \
    $((high_water / 1024)) $((heap / 1024)) $((cxx / 1024)) $((target / 1024)) \
    "$( ((high_water <= target)) && echo met || echo MISSED)"
