#!/bin/bash
# Boots files whose decompressed data passes 4 GB on the simulated handheld:
# file-system images of more than 4 GB of gzipped zeros (260 members of 16 MB
# made by gzip, whose trailer gives the last member's length, and one member
# of 4 GB and 16 MB, whose trailer can only give its length modulo 2^32, too
# little for its 18 MB of deflate data), and a kernel whose gzip stream goes on
# past 4 GB after the probe kernel. Each must fail with one console line and
# its step's box, never be taken as its length modulo 2^32: the first image's
# one load pass stops where its data leaves the trailer's length, the second
# is sized by a pass to its end, and so is the kernel. The suite tests the
# same with a lower limit; this is the real one, and takes a few seconds a
# boot to inflate.
#   scripts/check-4gb-streams.sh      (build folder: $ZANDREL_BUILD_DIR or build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ZANDREL_BUILD_DIR:-build}
cmake --build "$build" --target zandrel-sim probe_kernel >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
card="$work/device/Storage Card"
mkdir -p "$card"
head -c 16M /dev/zero | gzip -9 -n >"$work/zeros.gz"
for _ in $(seq 260); do cat "$work/zeros.gz"; done >"$card/members.gz"
{ head -c 4G /dev/zero; head -c 16M /dev/zero; } | gzip -1 -n >"$card/one.gz"
gzip -9 -n -c "$build/kernels/probe.elf" >"$card/kalmor.gz"
cat "$card/kalmor.gz" "$card/members.gz" >"$card/long.gz"

failed=0
# check NAME KERNEL BOX LINE [IMAGE]
check() {
  # The settings stay on the card from one boot to the next: say the root each time.
  local image=(--rootfs wd)
  [[ -n ${5:-} ]] && image=(--rootfs md --image "$5")
  local status=0
  # A few seconds a boot; a boot that spins on the stream ends here instead of never.
  timeout --kill-after=30 900 "$build/zandrel-sim" --device "$work/device" --quiet --dir '\Storage Card\' \
    --kernel "$2" "${image[@]}" --no-safety --no-pause >"$work/out" 2>"$work/err" || status=$?
  local lines boxes
  lines=$(grep -cxF "$4" "$work/out" || true)
  boxes=$(grep -c '^\[BOOT FAILED\]' "$work/err" || true)
  if [[ $status == 1 && $lines == 1 && $boxes == 1 ]] && grep -qF "[BOOT FAILED] $3" "$work/err"; then
    echo "$1: refused (status 1, one console line, the box \"$3\")"
  else
    echo "$1: NOT refused as it should be: status $status, $lines console lines, $boxes boxes" >&2
    [[ $status == 124 || $status == 137 ]] && echo "$1: zandrel-sim did not end within 900 s" >&2
    tail -n 5 "$work/out" "$work/err" >&2
    failed=1
  fi
}
check "image of 4.06 GB in 260 members" kalmor.gz "Can't load file system image to memory." \
  "gzip: the data is more than one member long: its length is not the trailer's." members.gz
check "image of one member of 4.02 GB" kalmor.gz "Can't open file system image." \
  "gzip: the uncompressed data passes 0xfffffffe bytes." one.gz
check "kernel stream past 4 GB" long.gz "Can't initialize loader." \
  "gzip: the uncompressed data passes 0xfffffffe bytes."
exit $failed
