#!/bin/bash
# Opens the program's window on a simulated handheld: zandrel-window under Wine.
# Usage: scripts/window.sh [--screen WIDTHxHEIGHT] [OPTIONS]
#   OPTIONS are zandrel-sim's (--device DIR, --disk N=IMAGE, --emulator ..., see
#   build/zandrel-sim --help); without --device the embedded default device is used.
#   --screen sets the screen (default 640x240, the HP Jornada 7XX's).
# Uses $DISPLAY when there is one; otherwise a private X server, on which nobody
# can press a button: message boxes are then answered yes (unless --answer or
# --answers says otherwise), and with auto_boot set in the settings the window
# boots by itself. The kernel's serial output goes to standard output; once the
# emulated kernel halts or faults the program ends with zandrel-sim's exit status.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

screen=640x240
arguments=()
answered=0
while (($#)); do
  case $1 in
    --screen) screen=$2; shift 2 ;;
    --answer | --answers) answered=1; arguments+=("$1" "$2"); shift 2 ;;
    *) arguments+=("$1"); shift ;;
  esac
done

bash scripts/setup.sh >&2
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target zandrel-window >&2

source scripts/wine_env.sh
x_server_pid=
cleanup() {
  wineserver -k 2>/dev/null || true
  [[ -n $x_server_pid ]] && kill "$x_server_pid" 2>/dev/null || true
}
trap cleanup EXIT
if [[ -z ${DISPLAY:-} ]]; then
  private_x_server "$screen"
  ((answered)) || arguments+=(--answer yes)
  echo "window: no display; running on a private X server ($DISPLAY), boxes answered" >&2
fi
wine_prefix_ready "$root/build/wine-prefix" "$screen"
set +e
wine "$root/build/zandrel-window.exe.so" "${arguments[@]}"
status=$?
set -e
exit $status
