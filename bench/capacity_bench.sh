#!/usr/bin/env bash
# The largest realistic gzipped kernel each machine boots, against the program
# memory free when Boot is pressed: the probe kernel carrying N bytes of real
# program code (the toolchain's compilers, about 2:1 with gzip -9) in its text,
# built with arm-none-eabi-gcc for each N tried, booted from the storage card
# on the machine with its default split, run on Unicorn to the probe's verdict
# and compared with the kernel file (--verify). N is searched to 64 KB; a boot
# counts when the probe says PASS and the placed image is verified. Windows
# CE's memory thresholds are in force (the last 48 KB of program memory are
# never granted). For the largest kernel, the bytes inflated (zandrel-sim
# --timing) show whether it was inflated once.
#   bench/capacity_bench.sh [MACHINE...]   (build folder: $ZANDREL_BUILD_DIR or build)
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${ZANDREL_BUILD_DIR:-$source_dir/build}
cmake --build "$build" --target zandrel-sim zandrel_memory_status >/dev/null

machines=("$@")
((${#machines[@]} > 0)) || machines=("HP Jornada 720 (US/UK)" "Compaq iPAQ H3660" "Sharp W-ZERO3 (WS003SH)")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
card="$work/device/Storage Card"
mkdir -p "$card"
step=65536

# Builds the probe with $1 bytes of program code as kalmor.gz; its ELF size in bytes.
make_kernel() {
    sh "$build/kernels/make_probe_payload.sh" "$1" "$work/kalmor.elf"
    gzip -9 -n -c "$work/kalmor.elf" >"$card/kalmor.gz"
    stat -c %s "$work/kalmor.elf"
}

# Whether the kernel in kalmor.gz boots on machine $1 to a verified PASS.
boots() {
    "$build/zandrel-sim" --device "$work/device" --quiet --machine "$1" --dir '\Storage Card\' \
        --kernel kalmor.gz --rootfs wd --no-safety --no-pause --serial --emulator unicorn --verify --timing \
        >"$work/out" 2>"$work/err" || return 1
    grep -q '^PROBE VERDICT: PASS' "$work/out" && grep -q '^zandrel-sim: placed image verified' "$work/err"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

printf '%-28s %12s %12s %12s %10s %7s\n' machine "free at Boot" "kernel ELF" "gzipped" "payload" ratio
for machine in "${machines[@]}"; do
    read -r _total free < <("$build/bench/zandrel_memory_status" --device "$work/device" --machine "$machine")
    # Boots at `low`, not at `high`.
    low=$step high=$(((free / step + 1) * step))
    make_kernel "$low" >/dev/null
    if ! boots "$machine"; then
        echo "capacity_bench: $machine does not boot a kernel with $low bytes of code:" >&2
        tail -n 5 "$work/out" "$work/err" >&2
        exit 1
    fi
    while ((high - low > step)); do
        middle=$(((low + high) / 2 / step * step))
        make_kernel "$middle" >/dev/null
        if boots "$machine"; then low=$middle; else high=$middle; fi
    done
    elf=$(make_kernel "$low")
    boots "$machine" || { echo "capacity_bench: $machine: the largest boot did not repeat" >&2; exit 1; }
    inflated=$(sed -n 's/^zandrel-sim: kalmor.gz: \([0-9]*\) bytes inflated.*/\1/p' "$work/err")
    printf '%-28s %9d KB %9d KB %9d KB %7d KB %7s (target at least 0.93)\n' "$machine" $((free / 1024)) \
        $((elf / 1024)) $(($(stat -c %s "$card/kalmor.gz") / 1024)) $((low / 1024)) "$(ratio "$elf" "$free")"
    printf '%-28s inflated %s bytes of its %d: %s\n' "" "${inflated:-?}" "$elf" \
        "$([[ $inflated == "$elf" ]] && echo once || echo 'NOT ONCE')"
    # Why the next size up does not boot.
    make_kernel "$high" >/dev/null
    boots "$machine" || true
    printf '%-28s one step more fails: %s\n' "" \
        "$( (grep -h -E '^\[BOOT FAILED\]|zandrel-sim: ' "$work/err"; grep -h 'VERDICT' "$work/out") | head -n 2 | tr '\n' ' ')"
done
