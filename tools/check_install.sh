#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks the layout a user gets:
# the executable beside its font and types, a relative link to it in bin/,
# the desktop files and icons, and that the link runs.
set -euo pipefail
build_dir=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build_dir" --prefix "$prefix" >/dev/null
for file in lib/bitlorn/bitlorn lib/bitlorn/types.c lib/bitlorn/mono.png share/man/man1/bitlorn.1.gz \
            share/doc/bitlorn/copyright share/doc/bitlorn/changelog.gz \
            share/applications/org.bitlorn.Bitlorn.desktop share/metainfo/org.bitlorn.Bitlorn.metainfo.xml \
            share/icons/hicolor/48x48/apps/bitlorn.png share/icons/hicolor/128x128/apps/bitlorn.png \
            share/icons/hicolor/256x256/apps/bitlorn.png; do
  [ -f "$prefix/$file" ] || { echo "missing: $file"; exit 1; }
done
[ "$(readlink "$prefix/bin/bitlorn")" = ../lib/bitlorn/bitlorn ] || { echo "bin/bitlorn is not the relative link"; exit 1; }
[ "$("$prefix/bin/bitlorn" --version)" = "Bitlorn 0.9" ] || { echo "the installed program does not run"; exit 1; }
# A PNG's width and height are the big-endian words at bytes 16 and 20.
size=$(od -An -tx1 -j16 -N8 "$prefix/share/icons/hicolor/256x256/apps/bitlorn.png" | tr -d ' \n')
[ "$size" = 0000010000000100 ] || { echo "the 256 px icon is $size"; exit 1; }
echo "installed layout is complete"
