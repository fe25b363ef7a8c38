#!/bin/sh
# Measures the processor time an idle bitlorn window uses: starts the program
# on a private Xvfb, lets it settle for one second, then counts the user and
# system clock ticks it spends over ten seconds. The goal is 0.
#
# usage: tools/bench_idle_cpu.sh [path/to/bitlorn [file to show]]
set -eu

binary=${1:-build/bitlorn}
[ $# -gt 0 ] && shift
if [ ! -x "$binary" ]; then
    echo "no executable at $binary" >&2
    exit 2
fi

display_number=$(( 500 + $$ % 400 ))
Xvfb ":$display_number" -screen 0 1920x1080x24 -nolisten tcp -nolisten local >/dev/null 2>&1 &
xvfb_pid=$!
program_pid=
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT INT TERM

export DISPLAY="unix:$display_number"
tries=0
until xdpyinfo >/dev/null 2>&1; do
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ]; then
        echo "Xvfb did not start" >&2
        exit 2
    fi
    sleep 0.05
done

"$binary" "$@" >/dev/null 2>&1 &
program_pid=$!
sleep 1

# Fields 14 and 15 of /proc/PID/stat, counted after the parenthesised name.
cpu_ticks() {
    sed 's/^.*) //' "/proc/$program_pid/stat" | awk '{ print $12 + $13 }'
}

before=$(cpu_ticks)
sleep 10
after=$(cpu_ticks)
ticks=$((after - before))
echo "idle cpu: $ticks ticks in 10 s ($(getconf CLK_TCK) ticks per second)"
