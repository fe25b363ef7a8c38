#!/bin/sh
# Measures what a pointer sweep and paging cost: starts bitlorn on a private
# Xvfb with a 1 MiB file in its 1280 x 720 window, moves the pointer 300 times
# at 40 moves a second over the hex grid, then presses Page Down 200 times at
# 20 a second, and counts the processor ticks (user + system, from
# /proc/PID/stat) the program and the X server spent on each. Three runs, each
# with a fresh server; prints every run and the medians.
#
# usage: tools/bench_pointer_sweep.sh [path/to/bitlorn [runs]]
# needs: Xvfb, xdotool, xdpyinfo
set -eu

binary=${1:-build/bitlorn}
runs=${2:-3}
if [ ! -x "$binary" ]; then
    echo "no executable at $binary" >&2
    exit 2
fi
for tool in Xvfb xdotool xdpyinfo; do
    command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 2; }
done

work=$(mktemp -d)
xvfb_pid=
program_pid=
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
head -c 1048576 /dev/urandom >"$work/sample.bin"

# Fields 14 and 15 of /proc/PID/stat, counted after the parenthesised name.
ticks_of() { sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }

# 300 moves over the hex grid (client x 200..480, y 60..600 in the default
# layout): a zigzag of 7-pixel steps, so some moves stay inside one cell and
# some cross to the next, row by row downwards.
sweep_commands() {
    awk -v ox="$1" -v oy="$2" 'BEGIN {
        x = 200; y = 60; dx = 7
        for (i = 0; i < 300; i++) {
            printf "mousemove %d %d sleep 0.025 ", ox + x, oy + y
            x += dx
            if (x > 480 || x < 200) { dx = -dx; x += 2 * dx; y += 9 }
            if (y > 600) y = 60
        }
    }'
}

run_once() {
    display_number=$(( 500 + ($$ + $1) % 400 ))
    Xvfb ":$display_number" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$display_number"
    tries=0
    until xdpyinfo >/dev/null 2>&1; do
        tries=$((tries + 1))
        [ "$tries" -gt 200 ] && { echo "Xvfb did not start" >&2; exit 2; }
        sleep 0.05
    done
    "$binary" "$work/sample.bin" >/dev/null 2>&1 &
    program_pid=$!
    window=
    tries=0
    until window=$(xdotool search --name '^Bitlorn' 2>/dev/null | head -n 1) && [ -n "$window" ]; do
        tries=$((tries + 1))
        [ "$tries" -gt 200 ] && { echo "no bitlorn window" >&2; exit 2; }
        sleep 0.05
    done
    eval "$(xdotool getwindowgeometry --shell "$window")"
    xdotool windowfocus "$window" 2>/dev/null || true
    xdotool mousemove $((X + 200)) $((Y + 60))
    sleep 1

    program_before=$(ticks_of "$program_pid")
    server_before=$(ticks_of "$xvfb_pid")
    # shellcheck disable=SC2046
    xdotool $(sweep_commands "$X" "$Y")
    sleep 0.5
    program_moved=$(ticks_of "$program_pid")
    server_moved=$(ticks_of "$xvfb_pid")
    xdotool key --delay 50 --repeat 200 Next 2>/dev/null
    sleep 0.5
    program_paged=$(ticks_of "$program_pid")
    server_paged=$(ticks_of "$xvfb_pid")

    echo "$((program_moved - program_before)) $((server_moved - server_before))" \
        "$((program_paged - program_moved)) $((server_paged - server_moved))" >>"$work/runs"
    echo "run $1: moves program $((program_moved - program_before)) server $((server_moved - server_before))," \
        "Page Down program $((program_paged - program_moved)) server $((server_paged - server_moved))"
    kill "$program_pid" 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true
    program_pid=
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
}

run=1
while [ "$run" -le "$runs" ]; do
    run_once "$run"
    run=$((run + 1))
done

median() { cut -d' ' -f"$1" "$work/runs" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
echo "medians of $runs ($(getconf CLK_TCK) ticks per second):" \
    "300 moves: program $(median 1) / server $(median 2);" \
    "200 Page Downs: program $(median 3) / server $(median 4)"
