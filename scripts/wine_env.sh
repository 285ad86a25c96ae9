# Sourced by the window scripts: a Wine prefix of this checkout (never the
# user's), a 640x240-or-other virtual desktop, COM1 mapped to a file (COM1 is
# the simulated handheld's; the machine's serial port is never opened), and a
# private X server when there is no display.
#   wine_prefix_ready DIR WIDTHxHEIGHT   makes or updates the prefix in DIR
#   private_x_server WIDTHxHEIGHT        starts Xvfb, sets DISPLAY and x_server_pid
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

wine_prefix_ready() {
  local dir=$1 size=$2
  export WINEPREFIX=$dir
  if [[ ! -f $dir/system.reg ]]; then
    echo "window: making the Wine prefix $dir (once)" >&2
    mkdir -p "$dir"
    wineboot -i >/dev/null 2>&1
  fi
  : >"$dir/com1-file"
  wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$dir/com1-file" /f >/dev/null 2>&1
  rm -f "$dir/dosdevices/com1"
  ln -s "$dir/com1-file" "$dir/dosdevices/com1"
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$size" /f >/dev/null 2>&1
  wineserver -w
}

private_x_server() {
  local size=$1 display
  for display in $(seq 90 189); do
    [[ -e /tmp/.X$display-lock || -e /tmp/.X11-unix/X$display ]] && continue
    Xvfb ":$display" -screen 0 "${size}x16" -nolisten tcp >/dev/null 2>&1 &
    x_server_pid=$!
    for _ in $(seq 100); do
      [[ -e /tmp/.X11-unix/X$display ]] && break
      sleep 0.05
    done
    if [[ -e /tmp/.X11-unix/X$display ]]; then
      export DISPLAY=:$display
      return 0
    fi
    kill "$x_server_pid" 2>/dev/null || true
  done
  echo "window: no free X display for Xvfb" >&2
  return 1
}
