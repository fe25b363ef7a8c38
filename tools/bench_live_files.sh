#!/bin/sh
# Big and changing files on the real program under a private Xvfb: start to
# first frame for 1 MiB, 1 GiB, 4 GiB + 1000 bytes and a 64 GiB sparse file,
# resident memory at the end of the 4 GiB file, the bytes End shows there, and
# change-to-picture latency. Needs about 5 GiB free under /tmp for a while;
# the files are deleted afterwards.
#
# usage: tools/bench_live_files.sh [build directory]
set -eu
build=${1:-build}
BITLORN_BINARY="$PWD/$build/bitlorn" BITLORN_SOURCE_DIR="$PWD" \
    "$build/tests/x11_tests" --gtest_also_run_disabled_tests --gtest_filter='LiveFileBench.*'
