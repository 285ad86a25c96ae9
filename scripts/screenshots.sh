#!/bin/bash
# Writes PNG screenshots of the window's three pages into docs/screenshots/ on
# the screens of the README's table: 640x240 (HP Jornada 7XX), 240x320 (an
# iPAQ) and 480x640 (the W-ZERO3 of the default device), each with that
# machine chosen on the Main page, on a private X server.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/setup.sh >&2
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target zandrel-window-screenshots >&2
source scripts/wine_env.sh
mkdir -p docs/screenshots

x_server_pid=
cleanup() {
  wineserver -k 2>/dev/null || true
  [[ -n $x_server_pid ]] && kill "$x_server_pid" 2>/dev/null || true
}
trap cleanup EXIT

screens=(
  "640x240" "HP Jornada 720 (US/UK)"
  "240x320" "Compaq iPAQ H3600"
  "480x640" "Sharp W-ZERO3 (WS003SH)"
)
for ((i = 0; i < ${#screens[@]}; i += 2)); do
  screen=${screens[i]}
  private_x_server "$screen"
  wine_prefix_ready "$root/build/wine-prefix" "$screen"
  wine "$root/build/zandrel-window-screenshots.exe.so" "$root/docs/screenshots/$screen" --machine "${screens[i + 1]}"
  wineserver -k 2>/dev/null || true
  kill "$x_server_pid" 2>/dev/null || true
  wait "$x_server_pid" 2>/dev/null || true
  x_server_pid=
  unset DISPLAY
done
ls docs/screenshots
