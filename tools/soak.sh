#!/bin/sh
# Soak: the real program, built with AddressSanitizer, driven with random input
# (bench/soak_driver) on a private Xvfb for MINUTES minutes while the shown file
# is rewritten underneath. Prints the program's resident memory each minute and
# checks the goals: no sanitizer report, no crash, a clean exit when the window
# is closed, and less than 1 MiB of growth over the last 15 minutes (or the last
# three quarters of a shorter run). Beside the memory it prints the driver's
# actions so far; a driver that ends early or stops acting fails the run at once.
#
# usage: tools/soak.sh [MINUTES [SANITIZED_BINARY [DRIVER]]]
#   defaults: 20, build-sanitize/bitlorn, build/bench/soak_driver
# Needs the sanitizer build (see .ci/run) and the benchmark build.
set -eu

minutes=${1:-20}
binary=${2:-build-sanitize/bitlorn}
driver=${3:-build/bench/soak_driver}
for program in "$binary" "$driver"; do
    if [ ! -x "$program" ]; then
        echo "no executable at $program" >&2
        exit 2
    fi
done

work=$(mktemp -d)
display_number=$(( 500 + $$ % 400 ))
Xvfb ":$display_number" -screen 0 1920x1080x24 -nolisten tcp -nolisten local >/dev/null 2>&1 &
xvfb_pid=$!
program_pid=
driver_pid=
cleanup() {
    [ -n "$driver_pid" ] && kill "$driver_pid" 2>/dev/null || true
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
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

head -c 200000 /dev/urandom > "$work/shown.bin"
# A small quarantine: freed blocks held back to catch late uses would otherwise
# grow the resident size for the first hour and hide a real leak's growth.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:quarantine_size_mb=4 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$binary" "$work/shown.bin" >/dev/null 2>"$work/stderr.txt" &
program_pid=$!
# The driver runs a little past the last reading, so that it sees the program alive.
"$driver" $((minutes * 60 + 15)) "$work/shown.bin" "$$" >"$work/driver.txt" 2>&1 &
driver_pid=$!

rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$program_pid/status" 2>/dev/null || echo 0; }
# The driver prints its running count every second: "N actions, E X errors".
actions() { tail -n 1 "$work/driver.txt" 2>/dev/null | awk '{ print $1 + 0 }'; }
stop_early() {
    echo "FAIL: $1"
    echo "driver: $(tail -n 3 "$work/driver.txt")"
    head -40 "$work/stderr.txt"
    exit 1
}
echo "minute rss_kib actions"
minute=0
last_actions=0
while [ "$minute" -lt "$minutes" ]; do
    sleep 60
    minute=$((minute + 1))
    kib=$(rss)
    done_actions=$(actions)
    echo "$minute $kib $done_actions"
    eval "rss_$minute=$kib"
    kill -0 "$program_pid" 2>/dev/null || stop_early "the program ended during the soak"
    kill -0 "$driver_pid" 2>/dev/null || stop_early "the driver ended early"
    [ "$done_actions" -gt "$last_actions" ] || stop_early "the driver did nothing for a minute"
    last_actions=$done_actions
done

wait "$driver_pid" || stop_early "the driver failed"
driver_pid=
# The driver closed the window; a program that does not end within a minute hangs.
tries=0
while kill -0 "$program_pid" 2>/dev/null && [ "$tries" -lt 600 ]; do
    tries=$((tries + 1))
    sleep 0.1
done
kill -0 "$program_pid" 2>/dev/null && stop_early "the program did not end when its window was closed"
status=0
wait "$program_pid" || status=$?
program_pid=
echo "driver: $(tail -n 1 "$work/driver.txt")"
echo "program exit status: $status"

failed=0
if grep -E "Sanitizer|runtime error" "$work/stderr.txt" >/dev/null; then
    echo "FAIL: sanitizer report:"
    head -40 "$work/stderr.txt"
    failed=1
fi
[ "$status" -eq 0 ] || { echo "FAIL: the program did not exit cleanly"; failed=1; }
# Growth over the last 15 minutes of a 20-minute run, or the last three quarters.
first=$((minutes / 4))
[ "$first" -ge 1 ] || first=1
eval "from=\$rss_$first"
eval "to=\$rss_$minutes"
growth=$((to - from))
echo "growth from minute $first to minute $minutes: $growth KiB (goal < 1024)"
[ "$growth" -lt 1024 ] || { echo "FAIL: resident memory grew"; failed=1; }
[ "$failed" -eq 0 ] && echo "PASS"
exit "$failed"
