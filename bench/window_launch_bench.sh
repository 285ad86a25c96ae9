#!/bin/bash
# How long a repeat launch of scripts/window.sh takes, from the script's start
# to its window painted on the screen, as a user at a display sees it: the
# median of 5 launches against the target of 2 s. The first launch (the build
# and the Wine prefix made, if they are not) is not counted. The launches run
# on an X server of the bench's own, which stands for the user's display; the
# window is painted once the command bar and the progress bar show their
# colours at the desktop's top-left, and each launch is ended as a person ends
# it, with a click on Cancel.
# Usage: bench/window_launch_bench.sh [LAUNCHES]   (ZANDREL_BUILD_DIR as for window.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
launches=${1:-5}
target=2.0
source scripts/wine_env.sh
x_server_pid=
work=$(mktemp -d)
cleanup() {
  [[ -n $x_server_pid ]] && kill "$x_server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
private_x_server
# The default device's screen, a W-ZERO3's: 480x640.
width=480
bar_y=13       # in the command bar, 26 pixels high at 96 dpi
row_y=39       # in the row of Boot, the progress bar and Cancel under it
cancel_x=$((width - 37))

# A pixel of the X screen as "R G B", 16 bits each.
pixel() { import -window root -crop "1x1+$1+$2" txt:- 2>/dev/null | sed -n '2s/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\)).*/\1 \2 \3/p'; }
light_grey() { local r g b; read -r r g b < <(pixel "$1" "$2"); ((r > 0xB000 && r < 0xD000 && g > 0xB000 && g < 0xD000 && b > 0xB000 && b < 0xD000)); }
painted() { light_grey $((width / 2)) $bar_y && [[ $(pixel $((width / 2)) $row_y) == "65535 65535 65535" ]]; }

# Starts the script, waits for its window, and ends it with Cancel; prints the
# seconds from the start to the painted window.
launch() {
  local start now status=0
  start=$(date +%s.%N)
  bash scripts/window.sh >"$work/out" 2>"$work/err" &
  local script=$!
  for _ in $(seq 600); do
    painted && break
    if ! kill -0 "$script" 2>/dev/null; then
      echo "window_launch_bench: scripts/window.sh ended before its window showed:" >&2
      cat "$work/err" >&2
      exit 1
    fi
    sleep 0.01
  done
  now=$(date +%s.%N)
  painted || { echo "window_launch_bench: no window after 30 s" >&2; kill "$script"; exit 1; }
  xdotool mousemove "$cancel_x" "$row_y" click 1
  timeout 30 tail --pid="$script" -f /dev/null || { echo "window_launch_bench: Cancel did not end the window" >&2; exit 1; }
  wait "$script" || status=$?
  ((status == 0)) || { echo "window_launch_bench: scripts/window.sh ended with $status" >&2; cat "$work/err" >&2; exit 1; }
  echo "$now - $start" | bc
}

echo "window_launch_bench: a first launch builds and makes the prefix if needed (not counted)" >&2
launch >/dev/null
times=()
for ((i = 1; i <= launches; ++i)); do
  times+=("$(launch)")
  printf 'launch %d: %.2f s to a painted window\n' "$i" "${times[-1]}"
done
median=$(printf '%s\n' "${times[@]}" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
printf 'median of %d repeat launches: %.2f s from scripts/window.sh'"'"'s start to a painted window (target: at most %.1f s)\n' \
  "$launches" "$median" "$target"
