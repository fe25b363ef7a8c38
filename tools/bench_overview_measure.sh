#!/bin/sh
# Times the overview and the measure of a 4 GiB file in the page cache: the
# overview at 1920 x 1080 and 1280 x 720, the measure of the whole file beside
# `openssl dgst -sha256` of the same bytes; then the overview of a 64 GiB
# sparse file (1 MiB of data at 40 GiB). Removes the files at the end; needs
# about 4.3 GB free in the directory and as much free memory. SIZE_MIB
# chooses another size for the first file.
# Usage: tools/bench_overview_measure.sh [DIRECTORY] [BENCH_DIRECTORY]
set -eu

directory=${1:-/tmp}
file="$directory/bitlorn-overview-bench-4g.bin"
here=$(cd "$(dirname "$0")/.." && pwd)
benches=${2:-}
if [ -z "$benches" ]; then
    for candidate in "$here"/build*/bench; do
        if [ -x "$candidate/overview_bench" ]; then benches=$candidate; break; fi
    done
fi
if [ -z "$benches" ] || [ ! -x "$benches/overview_bench" ]; then
    echo "overview_bench not found; build it (cmake -DBITLORN_BENCH=ON) or pass its directory" >&2
    exit 1
fi

size=$(( ${SIZE_MIB:-4096} * 1048576 ))
sparse="$directory/bitlorn-overview-bench-sparse.bin"
needed_kib=$((size / 1024 + 65536))
free_kib=$(df -Pk "$directory" | awk 'NR == 2 { print $4 }')
if [ "$free_kib" -lt "$needed_kib" ]; then
    echo "not enough room in $directory: $free_kib KiB free, $needed_kib KiB needed" >&2
    exit 1
fi
trap 'rm -f "$file" "$sparse"' EXIT INT TERM

# A quarter each of zeros, text, random bytes and 0xFF, so that every row
# counts bytes the same whichever kind it ends up as.
echo "creating $file"
quarter=$((size / 4))
{
    head -c "$quarter" /dev/zero
    yes 'Some text for the overview, line after line.' | head -c "$quarter"
    head -c "$quarter" /dev/urandom
    head -c "$quarter" /dev/zero | tr '\000' '\377'
} > "$file"
cat "$file" > /dev/null

"$benches/overview_bench" "$file" 1920 1080 3
"$benches/overview_bench" "$file" 1280 720 3

start=$(date +%s.%N)
openssl dgst -sha256 "$file" > /dev/null
end=$(date +%s.%N)
"$benches/overview_bench" "$file" 1280 720 1 measure
printf 'openssl dgst -sha256: %.3f s\n' "$(echo "$end - $start" | bc -l)"
rm -f "$file"

truncate -s 64G "$sparse"
head -c 1048576 /dev/urandom | dd of="$sparse" bs=1M seek=40960 conv=notrunc status=none
"$benches/overview_bench" "$sparse" 1920 1080 3
echo "load: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
