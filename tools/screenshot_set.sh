#!/usr/bin/env bash
# Takes the same set of window pictures with any build, so that a change that
# must not alter a pixel can be checked: run it once with the old binary and
# once with the new, then compare the two directories.
# Needs: xvfb, xdotool, x11-utils and imagemagick (import, compare).
# Usage: tools/screenshot_set.sh BINARY OUT_DIR [DISPLAY]
#        tools/screenshot_set.sh --compare OLD_DIR NEW_DIR
set -euo pipefail

if [ "${1:-}" = "--compare" ]; then
    status=0
    for old in "$2"/*.png; do
        name=$(basename "$old")
        differing=$(compare -metric AE "$old" "$3/$name" null: 2>&1 || true)
        echo "$name $differing"
        [ "$differing" = "0" ] || status=1
    done
    exit $status
fi

binary=$(realpath "$1")
out=$(mkdir -p "$2" && realpath "$2")
display=${3:-:94}
# The path shows in the window, so it is the same on every run.
work=/tmp/bitlorn_screenshot_set
rm -rf "$work" && mkdir -p "$work"

Xvfb "$display" -screen 0 1280x720x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
viewer=""
trap 'kill $viewer $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
export DISPLAY=$display
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# 64 KiB with a BMP header at the front, text in the middle and a pattern
# elsewhere: long enough for the position bar.
python3 - "$work/sample.bin" <<'PY'
import sys
data = bytearray((i * i * 31 + i // 7) % 251 for i in range(65536))
data[0:2] = b"BM"
data[14:18] = (40).to_bytes(4, "little")
data[18:22] = (48).to_bytes(4, "little")
data[22:26] = (24).to_bytes(4, "little")
data[3000:3016] = b"Hello IHDR world"
open(sys.argv[1], "wb").write(data)
PY
cp "$(dirname "$binary")/types.c" "$(dirname "$binary")/mono.png" "$work/" 2>/dev/null || true

"$binary" "$work/sample.bin" >/dev/null &
viewer=$!
window=""
for _ in $(seq 100); do
    window=$(xdotool search --name 'Bitlorn' 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
sleep 1

settle() { sleep "${SETTLE:-0.6}"; }
shot() { settle; import -window root "$out/$1.png"; }
move() { xdotool mousemove "$1" "$2"; settle; }
click() { xdotool mousemove "$1" "$2" click 1; settle; }
key() { xdotool key "$@"; settle; }

# Geometry of a 1280 x 720 window with the 7 x 15 font: hex cells 18 x 17 from
# (198, 50), the data view's rows from (520, 50), the structure view from 746.
hex() { echo $((198 + $1 * 18 + ($1 / 8) * 4 + 9)) $((50 + $2 * 17 + 8)); }

shot 01_loaded
xdotool mousemove $(hex 2 1) mousedown 1; settle
move $(hex 9 3)
shot 02_grid_drag_held
xdotool mouseup 1
shot 03_grid_drag_done
move 600 $((50 + 4 * 17 + 8))
shot 04_data_hover
click 600 $((50 + 4 * 17 + 8))
shot 05_data_click
click $(hex 0 0)
click 839 58                   # "u32"
shot 06_type_placed
key Delete
click $(hex 0 0)
click 888 167                  # "BmpFile"
shot 07_struct_placed
move 900 177
shot 08_type_line_hover
xdotool mousemove 900 132 mousedown 1; settle
move 900 192
shot 09_type_line_drag_held
xdotool mouseup 1
shot 10_type_line_drag_done
move 1221 31                   # ">" over the lines
shot 11_toolbar_hover
click 1221 31
shot 12_toolbar_clicked
click 1248 31                  # "X"
shot 14_toolbar_removed
key End
shot 15_end
key Home
key Right Right Down shift+Right shift+Right Next
shot 16_keys
key Prior
click 686 21                   # "Bigendian"
shot 17_big_endian
click 686 21
key ctrl+f
xdotool type '"IHDR"'
settle
shot 18_find_typed
key Return
shot 19_find_found
key Escape
key ctrl+g
xdotool type '0x40'
key Return
shot 20_go_to
xdotool mousemove 495 60 mousedown 1; settle
move 495 400
shot 21_position_bar_held
move 300 500
xdotool mouseup 1
shot 22_position_bar_released
click 1000 600
key ctrl+c
shot 23_copied
# Last, as the selection it leaves differs between builds before and after
# a press came to be held by one item: a press on a toolbar button dragged
# over the lines below it.
click $(hex 0 0)
click 888 167
xdotool mousemove 1221 31 mousedown 1; settle
move 900 192
xdotool mouseup 1
shot 24_toolbar_press_dragged_off
