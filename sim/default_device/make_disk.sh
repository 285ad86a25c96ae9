#!/bin/sh
# Builds the card of the embedded default device: an MBR with one 0xA9
# partition at sector 2048, a BSD disklabel whose entry a covers it, and in
# it a UFS1 file system holding kalmor.gz (the gzipped kernel) and
# miniroot.fs (a small file-system image with a README). With CARD_FOLDER,
# the same files and the plain kernel as kalmor go there too, for the
# device's storage card.
#
# usage: make_disk.sh OUTPUT KERNEL.elf WORK_FOLDER [CARD_FOLDER]
set -eu
out=$1
kernel=$2
work=$3
card=${4:-}
PATH=$PATH:/usr/sbin:/sbin

rm -rf "$work"
mkdir -p "$work/root" "$work/mini"
gzip -9 -n -c "$kernel" >"$work/root/kalmor.gz"
printf 'zandrel miniroot\n' >"$work/mini/README"
makefs -t ffs -B le -s 128k -o version=1,bsize=4096,fsize=512 "$work/root/miniroot.fs" "$work/mini" >/dev/null

# Room for the files with a generous margin, in whole 64-KB units.
kb=$(du -sk "$work/root" | cut -f1)
fs_kb=$(( (kb * 3 / 2 + 1024 + 63) / 64 * 64 ))
makefs -t ffs -B le -s "${fs_kb}k" -o version=1,bsize=8192,fsize=1024 "$work/fs.img" "$work/root" >/dev/null

start=2048
sectors=$(( fs_kb * 2 ))
disk="$work/disk.img"
# fdisk's BSD mode needs a disk of at least one 255-head, 63-sector cylinder.
total=$(( start + sectors + 2048 ))
[ "$total" -ge 16384 ] || total=16384
truncate -s $(( total * 512 )) "$disk"
printf 'label: dos\nstart=%d, size=%d, type=a9\n' "$start" "$sectors" | sfdisk --no-reread "$disk" >/dev/null
# fdisk's BSD mode: create a label, entry a over the whole partition, write.
printf 'b\ny\nn\na\n%d\n%d\nw\nq\n' "$start" $(( start + sectors - 1 )) | fdisk "$disk" >"$work/fdisk.log" 2>&1
grep -q 'Disklabel written' "$work/fdisk.log"
! grep -q -e 'unknown command' -e 'Incomplete' -e 'Value out of range' "$work/fdisk.log"
# The label owns the partition's first 8 KB; the file system starts using it at 8 KB.
dd if="$work/fs.img" of="$disk" bs=512 skip=16 seek=$(( start + 16 )) conv=notrunc status=none
# The partition table and the label sector: a seed for the label fuzzer.
dd if="$disk" bs=512 count=1 status=none >"$work/label-seed.bin"
dd if="$disk" bs=512 skip=$(( start + 1 )) count=1 status=none >>"$work/label-seed.bin"
mv "$disk" "$out"
if [ -n "$card" ]; then
    rm -rf "$card"
    mkdir -p "$card"
    cp "$work/root/kalmor.gz" "$work/root/miniroot.fs" "$card/"
    cp "$kernel" "$card/kalmor"
fi
