#!/usr/bin/env bash
# Validates the desktop entry and the AppStream metainfo with the desktop's own
# checkers. Exit 77 (a skip) when a checker is missing, except under CI=true,
# where a missing checker is a failure.
set -uo pipefail
source_dir=${1:-$(dirname "$0")/..}
# The metainfo is configured into the build directory, with the version.
build_dir=${2:-$source_dir/build}
for tool in desktop-file-validate appstreamcli; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is not installed"
    [ "${CI:-}" = true ] && exit 1
    exit 77
  fi
done
desktop-file-validate "$source_dir"/desktop/*.desktop || exit 1
appstreamcli validate --no-net "$build_dir"/desktop/*.metainfo.xml || exit 1
