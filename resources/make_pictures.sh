#!/bin/bash
# Draws the three tab bitmaps (16x36, 8 bits per pixel) and the program icon
# with ImageMagick. The results are checked in; run this after changing a drawing.
set -euo pipefail
cd "$(dirname "$0")"
draw_tab() { # name, drawing arguments...
  local name=$1
  shift
  convert -size 16x36 xc:'#c0c0c0' "$@" "$name.png"
  python3 to_8bit_bmp.py "$name.png" "$name.bmp"
  rm "$name.png"
}
draw_tab tab_main -fill white -stroke black -draw 'rectangle 2,4 13,31' -stroke '#000080' \
  -draw 'line 4,9 11,9' -draw 'line 4,13 11,13' -draw 'line 4,17 9,17' -draw 'line 4,21 11,21' -draw 'line 4,25 8,25'
draw_tab tab_option -fill white -stroke black -draw 'rectangle 3,6 10,13' -draw 'rectangle 3,16 10,23' \
  -draw 'rectangle 3,26 10,33' -stroke '#008000' -draw 'line 4,9 6,12' -draw 'line 6,12 9,7' -draw 'line 4,29 6,32' \
  -draw 'line 6,32 9,27'
draw_tab tab_console -fill black -stroke '#404040' -draw 'rectangle 1,4 14,31' -stroke '#00ff00' \
  -draw 'line 3,8 10,8' -draw 'line 3,12 8,12' -draw 'line 3,16 11,16' -draw 'line 3,20 6,20' -draw 'point 3,24'
convert -size 32x32 xc:'#000080' -fill '#ffff00' -stroke '#ffff00' \
  -draw 'polygon 16,3 27,16 19,16 22,29 7,13 14,13 11,3' -colors 16 zandrel.ico
