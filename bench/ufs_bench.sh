#!/usr/bin/env bash
# Read throughput of the UfsFileManager (winblk, the UFS reader and the
# simulated disk) on a large file of a prepared card, against the baseline
# cat of the raw disk image. Prints the best of RUNS runs each and the ratio.
#   bench/ufs_bench.sh [RUNS] [MB]      (build folder: $ZANDREL_BUILD_DIR or build)
set -euo pipefail

runs=${1:-3}
megabytes=${2:-64}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${ZANDREL_BUILD_DIR:-$source_dir/build}
cmake --build "$build" --target zandrel_ufs_bench >/dev/null
PATH=$PATH:/usr/sbin:/sbin

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A card as in the handheld: MBR (sfdisk), BSD label (fdisk), UFS1 (makefs).
mkdir -p "$work/root"
head -c $((megabytes * 1048576)) /dev/urandom >"$work/root/kalmor"
bytes=$(stat -c %s "$work/root/kalmor")
fs_kb=$((megabytes * 1024 * 5 / 4 + 8192))
makefs -t ffs -B le -s "${fs_kb}k" -o version=1,bsize=8192,fsize=1024 "$work/fs.img" "$work/root" >/dev/null
start=2048
sectors=$((fs_kb * 2))
disk=$work/disk.img
truncate -s $(((start + sectors + 2048) * 512)) "$disk"
printf 'label: dos\nstart=%d, size=%d, type=a9\n' "$start" "$sectors" | sfdisk --no-reread "$disk" >/dev/null
printf 'b\ny\nn\na\n%d\n%d\nw\nq\n' "$start" $((start + sectors - 1)) | fdisk "$disk" >/dev/null 2>&1
dd if="$work/fs.img" of="$disk" bs=512 skip=16 seek=$((start + 16)) conv=notrunc status=none

lower() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

best_cat() {
    local fastest=
    for _ in $(seq "$runs"); do
        local start end
        start=$(date +%s.%N)
        cat "$disk" >/dev/null
        end=$(date +%s.%N)
        fastest=$(lower "$(awk -v a="$end" -v b="$start" 'BEGIN { print a - b }')" "$fastest")
    done
    printf '%.3f' "$fastest"
}

best_ufs() {
    local fastest=
    for _ in $(seq "$runs"); do
        local out
        out=$("$build/bench/zandrel_ufs_bench" "$disk" kalmor)
        if [ "${out#* }" != "$bytes" ]; then
            echo "read ${out#* } bytes, expected $bytes" >&2
            exit 1
        fi
        fastest=$(lower "${out% *}" "$fastest")
    done
    printf '%.3f' "$fastest"
}

disk_bytes=$(stat -c %s "$disk")
cat_seconds=$(best_cat)
ufs_seconds=$(best_ufs)
echo "UFS file manager, ${megabytes} MB file on a $((disk_bytes / 1048576)) MB disk image, best of $runs"
printf '%-34s %8s s   baseline %-22s %8s s   ratio %s\n' \
    "UfsFileManager (winblk + UFS1)" "$ufs_seconds" "cat of the disk image" "$cat_seconds" \
    "$(ratio "$ufs_seconds" "$cat_seconds")"
