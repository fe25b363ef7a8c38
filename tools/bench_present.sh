#!/usr/bin/env bash
# Times presenting a 2560 x 1440 window at scale 1 and 2 on a private X server
# whose screen holds the whole window. Usage: tools/bench_present.sh [BUILD_DIR [FRAMES]]
set -euo pipefail
build_dir=${1:-build}
display=:$((200 + RANDOM % 100))
Xvfb "$display" -screen 0 2600x1500x24 -nolisten tcp >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
for _ in $(seq 50); do DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
DISPLAY=$display "$build_dir/bench/present_bench" "${2:-200}"
