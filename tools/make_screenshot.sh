#!/usr/bin/env bash
# Makes docs/screenshot.png: the viewer on a small BMP image with the BMP
# header type laid over it, under a private Xvfb server.
# Needs: xvfb, xdotool, x11-apps (xwd) and imagemagick (convert).
# Usage: tools/make_screenshot.sh [BUILD_DIR]   (default: build)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
work=$(mktemp -d)
display=:93

Xvfb $display -screen 0 1280x720x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

convert -size 48x24 gradient:'#3060c0'-'#c06030' BMP3:"$work/sunset.bmp"
"$build/bitlorn" "$work/sunset.bmp" >/dev/null &
viewer=$!
window=""
for _ in $(seq 50); do
    window=$(xdotool search --name 'Bitlorn' 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
sleep 0.5

# The window fills the 1280 x 720 screen, so screen and client coordinates agree.
# With byte 0 selected, click the "BmpFile" button of the structure view,
# then hover the info header's width field, which frames its bytes in the grids.
click() { xdotool mousemove "$1" "$2" click 1; sleep 0.3; }
bmp_file_button=$(python3 - "$top" <<'PY'
import sys
# Replays the structure view's button flow to find "BmpFile".
glyph_w, margin, pad = 7, 10, 10
text_w = (glyph_w + 2) * 16 + 4 + 2 * pad
hex_w = (2 * glyph_w + 4) * 16 + 4 + 2 * pad
inspect_w = 28 * glyph_w + 2 * pad
x0 = margin + text_w + margin + hex_w + margin + inspect_w + margin
right = 1280 - margin - pad
names = [l.split()[1] for l in open(sys.argv[1] + "/types/types.c") if l.startswith(("struct ", "union ", "enum ", "typedef "))]
x, y = x0 + pad, margin + pad
h = 15 + 8
y += h + 4                                  # after "(Misc section)"
rows = [["u8", "u16", "u32", "u64", "u24", "u40", "u48", "u56"], ["i8", "i16", "i32", "i64"], ["f16", "f32", "f64"]]
for row in rows:
    y += h + 4
y -= 0
x = x0 + pad
for name in names:
    w = len(name) * glyph_w + 16
    if x + w > right:
        x, y = x0 + pad, y + 15 + 12
    if name == "BmpFile":
        print(x + w // 2, y + h // 2)
        break
    x += w + 4
PY
)
click $bmp_file_button
xdotool mousemove 900 177   # the biWidth line
sleep 0.5
mkdir -p "$top/docs"
xwd -silent -id "$window" | convert xwd:- "$top/docs/screenshot.png"
kill $viewer 2>/dev/null || true
echo "wrote $top/docs/screenshot.png"
