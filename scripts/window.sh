#!/bin/bash
# Opens the program's window on a simulated handheld: zandrel-window under Wine.
# Usage: scripts/window.sh [--screen WIDTHxHEIGHT] [OPTIONS]
#   OPTIONS are zandrel-window's (zandrel-sim's device, settings, emulator and
#   question options; see --help); without --device the embedded default
#   device is used. The settings options are what the pages start from.
#   --screen sets the screen; by default it is the handheld's (the machine of
#   --profile, --machine or the device's settings: 480x640 for the default device).
# Uses $DISPLAY when there is one. Without one it runs on a private X server,
# where nobody can press a button: message boxes are answered yes (unless
# --answer or --answers says otherwise), Boot is pressed once the window is up
# (unless auto boot presses it), and screenshots of the window before Boot, of
# the Console page at the end and of the kernel's screen when it stops go to a
# folder named on standard error. After the jump the desktop is the handheld's
# screen; with a display, the kernel's last picture stays until a key or a tap.
# The kernel's serial output goes to standard output; the program ends with
# zandrel-sim's exit status. --help prints the help without Wine or an X
# server. ZANDREL_BUILD_DIR chooses the build folder
# (default build/), ZANDREL_WINE_PREFIX the Wine prefix (default in it).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${ZANDREL_BUILD_DIR:-$root/build}

screen=
arguments=()
sim_arguments=() # without the window's own options
answered=0
help=0
unattended=0
while (($#)); do
  case $1 in
    --screen) screen=$2; shift 2 ;;
    --unattended) unattended=1; arguments+=("$1" "${2:-}"); shift $(($# > 1 ? 2 : 1)) ;;
    --answer | --answers) answered=1; arguments+=("$1" "$2"); sim_arguments+=("$1" "$2"); shift 2 ;;
    --help | -h) help=1; shift ;;
    *) arguments+=("$1"); sim_arguments+=("$1"); shift ;;
  esac
done

bash scripts/setup.sh >&2
# Once configured, the build configures itself again when a CMakeLists.txt changes.
[[ -f $build/build.ninja ]] || cmake -S . -B "$build" -G Ninja >/dev/null
if ((help)); then
  # Printed without Wine or an X server.
  cmake --build "$build" --target zandrel-window-help >&2
  echo "usage: scripts/window.sh [--screen WIDTHxHEIGHT] [zandrel-window's options]"
  echo "  --screen WIDTHxHEIGHT   the screen the window opens on (default: the handheld's)"
  echo
  exec "$build/zandrel-window-help"
fi
cmake --build "$build" --target zandrel-window zandrel-sim >&2

[[ -n $screen ]] || screen=$("$build/zandrel-sim" --quiet "${sim_arguments[@]}" --screen-size)

source scripts/wine_env.sh
x_server_pid=
cleanup() {
  wineserver -k 2>/dev/null || true
  [[ -n $x_server_pid ]] && kill "$x_server_pid" 2>/dev/null || true
}
trap cleanup EXIT
if [[ -z ${DISPLAY:-} ]]; then
  private_x_server
  ((answered)) || arguments+=(--answer yes)
  if ((!unattended)); then
    mkdir -p "$build/window-screenshots"
    arguments+=(--unattended "$(mktemp -d "$build/window-screenshots/run-XXXXXX")")
  fi
  echo "window: no display; running on a private X server ($DISPLAY, $screen), boxes answered" >&2
fi
wine_prefix_ready "${ZANDREL_WINE_PREFIX:-$build/wine-prefix}" "$screen"
set +e
wine "$build/zandrel-window.exe.so" "${arguments[@]}"
status=$?
set -e
exit $status
