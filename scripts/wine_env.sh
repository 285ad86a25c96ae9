# Sourced by the window scripts: a Wine prefix of this checkout (never the
# user's) with the fonts the window shows, a virtual desktop of the handheld's
# screen, COM1 mapped to a file (COM1 is the simulated handheld's; the
# machine's serial port is never opened), and a private X server when there is
# no display.
#   wine_prefix_ready DIR WIDTHxHEIGHT   makes or updates the prefix in DIR
#   private_x_server                     starts Xvfb, sets DISPLAY and x_server_pid
# A prefix that is ready costs no Wine start: what it holds is read from its files.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# The X screen of a private server holds the desktop of every machine: the
# largest of their screens (zandrel-sim --screen-size) is 640 wide (the
# Jornadas) and 800 high (the WS011SH and WS020SH). The desktop sits at its
# origin; at the jump it takes the booted machine's size.
private_x_screen=640x800

# A value as the prefix's registry file holds it (FILE KEY NAME): "text" for a
# string, str(7):"a\0b\0" for a list; nothing when it has none. Wine writes
# its files when the server stops.
registry_value() {
  [[ -f $1 ]] || return 0
  REGISTRY_KEY="[${2//\\/\\\\}]" REGISTRY_NAME="\"$3\"=" awk '
    BEGIN { key = ENVIRON["REGISTRY_KEY"]; name = ENVIRON["REGISTRY_NAME"] }
    index($0, "[") == 1 { inside = index($0, key) == 1 }
    inside && index($0, name) == 1 { print substr($0, length(name) + 1); exit }' "$1"
}

# A list of strings (each argument one) as a REGEDIT4 file's hex(7).
registry_list_hex() {
  printf '%s\0' "$@" | od -An -v -tx1 | tr -s ' \n' ',' | sed 's/^,//; s/,$/,00/'
}

# Adds a value (HKLM|HKCU KEY NAME VALUE...; more than one VALUE makes a list)
# to the import of $registry_import unless the registry already holds it.
registry_ensure() {
  local hive=$1 key=$2 name=$3 file=$WINEPREFIX/user.reg root=HKEY_CURRENT_USER held line
  shift 3
  if [[ $hive == HKLM ]]; then
    file=$WINEPREFIX/system.reg
    root=HKEY_LOCAL_MACHINE
  fi
  if (($# == 1)); then
    held=\"$1\"
    line="\"$name\"=\"$1\""
  else
    held="str(7):\"$(printf '%s\\0' "$@")\""
    line="\"$name\"=hex(7):$(registry_list_hex "$@")"
  fi
  [[ $(registry_value "$file" "$key" "$name") == "$held" ]] && return 0
  printf '\n[%s\\%s]\n%s\n' "$root" "$key" "$line" >>"$registry_import"
}

wine_prefix_ready() {
  local dir=$1 size=$2
  export WINEPREFIX=$dir
  if [[ ! -f $dir/system.reg ]]; then
    echo "window: making the Wine prefix $dir (once)" >&2
    mkdir -p "$dir"
    wineboot -i >/dev/null 2>&1
    wineserver -w # the registry's files are written when the server stops
  fi
  # The device's system font, Tahoma, and Marlett, which draws the caption's
  # buttons: Wine ships them (fonts-wine), but finds only the fonts of the
  # prefix and of fontconfig.
  local font
  for font in tahoma.ttf tahomabd.ttf marlett.ttf; do
    [[ -e $dir/drive_c/windows/Fonts/$font ]] || ln -s "/usr/share/wine/fonts/$font" "$dir/drive_c/windows/Fonts/$font"
  done
  : >"$dir/com1-file"
  if [[ $(readlink "$dir/dosdevices/com1" 2>/dev/null) != "$dir/com1-file" ]]; then
    rm -f "$dir/dosdevices/com1"
    ln -s "$dir/com1-file" "$dir/dosdevices/com1"
  fi
  registry_import=$(mktemp)
  printf 'REGEDIT4\n' >"$registry_import"
  registry_ensure HKLM 'Software\Wine\Ports' COM1 "$dir/com1-file"
  registry_ensure HKCU 'Software\Wine\Explorer' Desktop Default
  registry_ensure HKCU 'Software\Wine\Explorer\Desktops' Default "$size"
  # Japanese letters (the directory list's card names) in Tahoma come from IPA
  # Gothic (fonts-ipafont-gothic), the Japanese machines' system font: through
  # the font link where text is drawn whole, and as Uniscribe's fallback for
  # katakana, hiragana and kanji where it is shaped first (edit controls).
  # Wine's own link names fonts it does not have.
  registry_ensure HKLM 'Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' Tahoma \
    'ipagp.ttf,IPAPGothic' 'MSGOTHIC.TTC,MS UI Gothic'
  local script
  for script in 616e616b 61726968 696e6168; do # "kana", "hira", "hani"
    registry_ensure HKCU 'Software\Wine\Uniscribe\Fallback' "$script" IPAPGothic
  done
  if [[ $(wc -l <"$registry_import") -gt 1 ]]; then
    wine regedit /S "Z:${registry_import//\//\\}" >/dev/null 2>&1
    # A desktop still open in a lingering server keeps its old size; the files
    # are written when the server stops.
    wineserver -w
  fi
  rm -f "$registry_import"
}

private_x_server() {
  local display
  for display in $(seq 90 189); do
    [[ -e /tmp/.X$display-lock || -e /tmp/.X11-unix/X$display ]] && continue
    Xvfb ":$display" -screen 0 "${private_x_screen}x16" -nolisten tcp >/dev/null 2>&1 &
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
