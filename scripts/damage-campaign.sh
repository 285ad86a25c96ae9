#!/bin/bash
# The end-to-end damage campaign: damaged gzip kernels and images, plain
# images, damaged ELF headers, damaged UFS disks, awkward web servers'
# answers (trickling ones on a shorter time scale), damaged settings files and
# over-long file names, made from real tools' output and booted through
# zandrel-sim; prints a table per class and exits 1 when a run crashed, hung,
# ended in a usage error, booted damage a check could have seen, refused sound
# input, lost settings or lost the reason of its console's report. Builds what
# it needs first.
#   scripts/damage-campaign.sh [--short] [--scale X] [--seed N] [--jobs N] [--only CLASS] [--keep]
#   (build folder: $ZANDREL_BUILD_DIR or build; a sanitized one catches more)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ZANDREL_BUILD_DIR:-build}
if [[ ! -f $build/build.ninja ]]; then
  bash scripts/build.sh "$build" >/dev/null
fi
cmake --build "$build" --target zandrel-sim kernels >/dev/null
# The campaign leaves nothing in the source tree.
export PYTHONDONTWRITEBYTECODE=1
exec python3 -m scripts.damage_campaign --build "$build" "$@"
