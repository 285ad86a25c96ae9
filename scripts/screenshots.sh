#!/bin/bash
# Writes PNG screenshots of the window's three pages on a 640x240 screen (HP
# Jornada 7XX) and a 240x320 screen (an iPAQ) into docs/screenshots/, on the
# embedded default device, with a private X server.
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

for screen in 640x240 240x320; do
  private_x_server "$screen"
  wine_prefix_ready "$root/build/wine-prefix" "$screen"
  wine "$root/build/zandrel-window-screenshots.exe.so" "$root/docs/screenshots/$screen"
  wineserver -k 2>/dev/null || true
  kill "$x_server_pid" 2>/dev/null || true
  wait "$x_server_pid" 2>/dev/null || true
  x_server_pid=
  unset DISPLAY
done
ls docs/screenshots
