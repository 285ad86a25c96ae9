#!/usr/bin/env bash
# The live screen's cost to the emulated kernel on Unicorn, against the
# baseline "no window": the same hand-off of a kernel that keeps drawing
# (moving_bands_bench, about 500 frames) run without any view of the screen,
# as zandrel-sim runs it, and with zandrel-window's live view showing the LCD
# about ten times a second on a private X server. Target: the window's run
# takes at most 1.10 times the baseline's. Prints the best and the median of
# RUNS runs each way, on an SA-11x0 and a PXA2x0 machine, and beside them the
# processor time of the kernel's thread and of the window's: on a shared
# machine the wall time moves with the load of the others.
#   bench/live_screen_bench.sh [RUNS]      (build folder: $ZANDREL_BUILD_DIR or build)
set -euo pipefail

runs=${1:-5}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${ZANDREL_BUILD_DIR:-$source_dir/build}
cmake --build "$build" --target zandrel-live-screen-bench zandrel-sim kernel_moving_bands_bench >/dev/null
target=1.10

work=$(mktemp -d)
x_server_pid=
cleanup() {
  wineserver -k 2>/dev/null || true
  [[ -n $x_server_pid ]] && kill "$x_server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$source_dir"
source scripts/wine_env.sh
mkdir -p "$work/device/Storage Card"
cp "$build/kernels/moving_bands_bench.elf" "$work/device/Storage Card/"

ratio() { awk -v a="$1" -v b="$2" -v t="$target" 'BEGIN { r = a / b; printf "%.3f (%s the target)", r, r <= t ? "within" : "OVER" }'; }
# best and median of the numbers on standard input
summary() { sort -g | awk '{ v[NR] = $1 } END { printf "%.3f %.3f\n", v[1], (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "baseline \"no window\": the same hand-off on Unicorn with nothing reading the screen (zandrel-sim's run)"
echo "target: the window's run <= $target x the baseline's; $runs runs each way, alternately"
echo
for machine in "HP Jornada 720 (US/UK)" "Compaq iPAQ H3900"; do
  snapshot=$work/hand-off.snapshot
  "$build/zandrel-sim" --quiet --device "$work/device" --machine "$machine" --dir '\Storage Card\' \
    --kernel moving_bands_bench.elf --no-pause --emulator none --snapshot "$snapshot" >/dev/null 2>&1
  screen=$("$build/zandrel-sim" --quiet --machine "$machine" --screen-size)
  private_x_server
  wine_prefix_ready "${ZANDREL_WINE_PREFIX:-$build/wine-prefix}" "$screen"
  wine "$build/zandrel-live-screen-bench.exe.so" "$snapshot" "$runs" "$work" >"$work/runs"
  wineserver -k 2>/dev/null || true
  kill "$x_server_pid" 2>/dev/null || true
  wait "$x_server_pid" 2>/dev/null || true
  x_server_pid=
  unset DISPLAY

  column() { awk -v way="$1" -v n="$2" '$1 == way { print $n }' "$work/runs" | summary; }
  read -r base_best base_median < <(column baseline 2)
  read -r live_best live_median < <(column window 2)
  read -r _ base_cpu < <(column baseline 3)
  read -r _ live_cpu < <(column window 3)
  read -r _ view_share < <(awk '$1 == "window" { print 100 * $5 / $2 }' "$work/runs" | summary)
  instructions=$(awk '{ print $4 }' "$work/runs" | sort -u | tr '\n' ' ')
  echo "$machine, $screen, ${instructions}instructions:"
  echo "  wall time, no window (baseline): best ${base_best}s, median ${base_median}s"
  echo "  wall time, live window:          best ${live_best}s, median ${live_median}s"
  echo "  ratio: best $(ratio "$live_best" "$base_best"), median $(ratio "$live_median" "$base_median")"
  echo "  the kernel thread's processor time, median: ${base_cpu}s without, ${live_cpu}s with the window"
  echo "  the view's and the window's threads meanwhile: median ${view_share}% of one processor"
done
