# Sourced by the window scripts: a Wine prefix of this checkout (never the
# user's) with the device's system font, a virtual desktop of the handheld's screen, COM1 mapped to a file
# (COM1 is the simulated handheld's; the machine's serial port is never
# opened), and a private X server when there is no display.
#   wine_prefix_ready DIR WIDTHxHEIGHT   makes or updates the prefix in DIR
#   private_x_server WIDTHxHEIGHT        starts Xvfb, sets DISPLAY and x_server_pid
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# A value as the prefix's registry file holds it (FILE KEY NAME); nothing when
# it has none. Wine writes its files when the server stops.
registry_value() {
  [[ -f $1 ]] || return 0
  REGISTRY_KEY="[${2//\\/\\\\}]" REGISTRY_NAME="\"$3\"=" awk '
    BEGIN { key = ENVIRON["REGISTRY_KEY"]; name = ENVIRON["REGISTRY_NAME"] }
    index($0, "[") == 1 { inside = index($0, key) == 1 }
    inside && index($0, name) == 1 {
      value = substr($0, length(name) + 1); gsub(/^"|"$/, "", value); print value; exit
    }' "$1"
}

# Sets a value (HKLM|HKCU KEY NAME VALUE) unless the registry already holds it:
# each "wine reg" starts Wine, about a second.
registry_ensure() {
  local file=$WINEPREFIX/user.reg
  [[ $1 == HKLM ]] && file=$WINEPREFIX/system.reg
  [[ $(registry_value "$file" "$2" "$3") == "$4" ]] && return 0
  wine reg add "$1\\$2" /v "$3" /d "$4" /f >/dev/null 2>&1
  registry_changed=1
}

wine_prefix_ready() {
  local dir=$1 size=$2
  export WINEPREFIX=$dir
  if [[ ! -f $dir/system.reg ]]; then
    echo "window: making the Wine prefix $dir (once)" >&2
    mkdir -p "$dir"
    wineboot -i >/dev/null 2>&1
  fi
  # The device's system font, Tahoma: Wine ships one (fonts-wine), but finds
  # only the fonts of the prefix and of fontconfig.
  local font
  for font in tahoma.ttf tahomabd.ttf; do
    [[ -e $dir/drive_c/windows/Fonts/$font ]] || ln -s "/usr/share/wine/fonts/$font" "$dir/drive_c/windows/Fonts/$font"
  done
  : >"$dir/com1-file"
  if [[ $(readlink "$dir/dosdevices/com1" 2>/dev/null) != "$dir/com1-file" ]]; then
    rm -f "$dir/dosdevices/com1"
    ln -s "$dir/com1-file" "$dir/dosdevices/com1"
  fi
  registry_changed=0
  registry_ensure HKLM 'Software\Wine\Ports' COM1 "$dir/com1-file"
  registry_ensure HKCU 'Software\Wine\Explorer' Desktop Default
  registry_ensure HKCU 'Software\Wine\Explorer\Desktops' Default "$size"
  # Tahoma's Japanese letters (the directory list's card names) come from IPA
  # Gothic (fonts-ipafont-gothic); Wine's own links name fonts it does not have.
  local links='Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
  if ! grep -q '^"Tahoma"=str(7):"ipag.ttf,IPAGothic\\0' "$dir/system.reg"; then
    wine reg add "HKLM\\$links" /v Tahoma /t REG_MULTI_SZ /d 'ipag.ttf,IPAGothic\0MSGOTHIC.TTC,MS UI Gothic' /f \
      >/dev/null 2>&1
    registry_changed=1
  fi
  # A desktop still open in a lingering server keeps its old size; the files
  # are written when the server stops.
  if ((registry_changed)); then
    wineserver -w
  fi
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
