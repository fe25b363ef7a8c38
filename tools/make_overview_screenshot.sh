#!/usr/bin/env bash
# Makes docs/overview.png: the viewer on a real shared library, with the
# pointer on the first high-entropy row of the position bar's overview, under
# a private Xvfb server.
# Needs: xvfb, xdotool and imagemagick (import, convert).
# Usage: tools/make_overview_screenshot.sh [BUILD_DIR] [FILE]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
# Mesa's software renderer (libgl1-mesa-dri): code, text, compressed data
# and runs of 0xFF.
file=${2:-/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so}
display=:94

Xvfb $display -screen 0 1280x720x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

"$build/bitlorn" "$file" >/dev/null &
viewer=$!
window=""
for _ in $(seq 50); do
    window=$(xdotool search --name 'Bitlorn' 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
sleep 2  # the overview fills in within a second

# The window fills the screen. The track is 4 pixels wide in the hex panel's
# right padding; its rows start at y = 50. Hover the first row drawn in the
# high-entropy colour.
track_x=$((10 + 168 + 10 + 312 - 10 + 3 + 1))
row=$(import -window "$window" png:- | convert png:- -crop "1x646+$track_x+50" txt:- |
      awk -F'[,:]' '/#AA3333/ && !found { print $2; found = 1 }')
xdotool mousemove "$track_x" $((50 + ${row:-300}))
sleep 0.5
mkdir -p "$top/docs"
import -window "$window" "$top/docs/overview.png"
kill $viewer 2>/dev/null || true
echo "wrote $top/docs/overview.png"
