#!/bin/bash
# Writes PNG screenshots of the window's three pages into docs/screenshots/ on
# the screens of the README's table: 640x240 (HP Jornada 7XX), 240x320 (an
# iPAQ) and 480x640 (the W-ZERO3 of the default device), each with that
# machine chosen on the Main page, on a private X server. Then the kernel's
# screen after the jump on each of these machines, as a user gets it:
# a device folder whose settings boot the probe kernel (gzipped) with auto
# boot, opened by scripts/window.sh --device DIR without a display.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/setup.sh >&2
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target zandrel-window-screenshots zandrel-window zandrel-sim probe_kernel >&2
source scripts/wine_env.sh
mkdir -p docs/screenshots

x_server_pid=
cleanup() {
  wineserver -k 2>/dev/null || true
  [[ -n $x_server_pid ]] && kill "$x_server_pid" 2>/dev/null || true
}
work=$(mktemp -d)
trap 'cleanup; rm -rf "$work"' EXIT

# run SECONDS COMMAND...: COMMAND bounded in time (its output in $work/out and
# $work/err), its error output shown when it fails.
run() {
  local seconds=$1 status=0
  shift
  timeout --kill-after=30 "$seconds" "$@" >"$work/out" 2>"$work/err" || status=$?
  if ((status != 0)); then
    echo "screenshots: '$*' ended with status $status" >&2
    if ((status == 124 || status == 137)); then
      echo "screenshots: it did not end within $seconds s" >&2
    fi
    cat "$work/err" >&2
    exit 1
  fi
}

screens=(
  "640x240" "HP Jornada 720 (US/UK)"
  "240x320" "Compaq iPAQ H3600"
  "480x640" "Sharp W-ZERO3 (WS003SH)"
)
for ((i = 0; i < ${#screens[@]}; i += 2)); do
  screen=${screens[i]}
  private_x_server
  wine_prefix_ready "$root/build/wine-prefix" "$screen"
  run 600 wine "$root/build/zandrel-window-screenshots.exe.so" "$root/docs/screenshots/$screen" \
    --machine "${screens[i + 1]}"
  wineserver -k 2>/dev/null || true
  kill "$x_server_pid" 2>/dev/null || true
  wait "$x_server_pid" 2>/dev/null || true
  x_server_pid=
  unset DISPLAY
done

# The Option page's auto boot (seconds), which no option of zandrel-sim sets:
# the 32-bit field at offset 1616 of the settings record (src/ui/preferences.h).
set_auto_boot() {
  printf '\001\000\000\000' | dd of="$1" bs=1 seek=1616 conv=notrunc status=none
}
for ((i = 0; i < ${#screens[@]}; i += 2)); do
  screen=${screens[i]}
  device=$work/$screen
  mkdir -p "$device/Storage Card"
  gzip -9 -c build/kernels/probe.elf >"$device/Storage Card/kalmor.gz"
  # zandrel-sim's boot stores the settings its options name.
  run 120 build/zandrel-sim --quiet --device "$device" --machine "${screens[i + 1]}" --dir '\Storage Card\' \
    --kernel kalmor.gz --no-pause --answer yes --emulator none
  set_auto_boot "$device/Storage Card/zandrel.cnf"
  run 600 env -u DISPLAY bash scripts/window.sh --device "$device"
  folder=$(sed -n 's/^zandrel-window: screenshots go to \(.*\) (.*$/\1/p' "$work/err")
  cp "$folder/kernel-screen.png" "docs/screenshots/$screen-kernel.png"
  rm -rf "$folder"
done
ls docs/screenshots
