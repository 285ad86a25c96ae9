#!/bin/bash
# Writes PNG screenshots of the window into docs/screenshots/ on the screens
# of the README's table: 640x240 (HP Jornada 7XX), 240x320 (an iPAQ) and
# 480x640 (the W-ZERO3 of the default device), each with that machine chosen
# on the Main page, on a private X server: the Main and Option pages, then
# the Console page at the jump and the kernel's screen after it, as a user
# gets them: a device folder whose settings boot the probe kernel (gzipped)
# with auto boot, opened by scripts/window.sh --device DIR without a display.
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

# Screen, machine, storage card and extra kernel options of each row: the
# W-ZERO3 shows its Japanese system font and its card's Japanese name, the
# Jornada Japanese letters in Tahoma's edit boxes.
screens=(
  "640x240" "HP Jornada 720 (US/UK)" "Storage Card" "-v name=ザンドレル"
  "240x320" "Compaq iPAQ H3600" "Storage Card" ""
  "480x640" "Sharp W-ZERO3 (WS003SH)" "microSDカード" "lang=ja メモ=テスト"
)
for ((i = 0; i < ${#screens[@]}; i += 4)); do
  screen=${screens[i]} machine=${screens[i + 1]} card=${screens[i + 2]} extra=${screens[i + 3]}
  private_x_server
  wine_prefix_ready "$root/build/wine-prefix" "$screen"
  run 600 wine "$root/build/zandrel-window-screenshots.exe.so" "$root/docs/screenshots/$screen" \
    --machine "$machine" --card "$card" --dir "\\$card\\" --extra "$extra"
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
# The Console page filled by a boot, and the kernel's screen after the jump.
for ((i = 0; i < ${#screens[@]}; i += 4)); do
  screen=${screens[i]} machine=${screens[i + 1]} card=${screens[i + 2]} extra=${screens[i + 3]}
  device=$work/$screen
  mkdir -p "$device/$card"
  gzip -9 -c build/kernels/probe.elf >"$device/$card/kalmor.gz"
  # zandrel-sim's boot stores the settings its options name.
  run 120 build/zandrel-sim --quiet --device "$device" --card "$card" --machine "$machine" --dir "\\$card\\" \
    --kernel kalmor.gz --extra "$extra" --no-pause --answer yes --emulator none
  set_auto_boot "$device/$card/zandrel.cnf"
  run 600 env -u DISPLAY bash scripts/window.sh --device "$device" --card "$card"
  folder=$(sed -n 's/^zandrel-window: screenshots go to \(.*\) (.*$/\1/p' "$work/err")
  cp "$folder/console.png" "docs/screenshots/$screen-console.png"
  cp "$folder/kernel-screen.png" "docs/screenshots/$screen-kernel.png"
  rm -rf "$folder"
done
ls docs/screenshots
