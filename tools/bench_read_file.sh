#!/bin/sh
# Compares reading a 1 GiB file whole through os_read_entire_file with dd.
# Usage: tools/bench_read_file.sh [FILE_OR_DIRECTORY] [BENCH_BINARY]
set -eu

target=${1:-/tmp}
if [ -d "$target" ]; then file="$target/bitlorn-bench-1g.bin"; else file="$target"; fi
here=$(cd "$(dirname "$0")/.." && pwd)
bench=${2:-}
if [ -z "$bench" ]; then
    for candidate in "$here"/build*/bench/read_file_bench; do
        if [ -x "$candidate" ]; then bench=$candidate; break; fi
    done
fi
if [ -z "$bench" ] || [ ! -x "$bench" ]; then
    echo "read_file_bench not found; build the read_file_bench target or pass its path" >&2
    exit 1
fi

size=1073741824
if [ ! -f "$file" ] || [ "$(stat -c %s "$file")" -ne "$size" ]; then
    echo "creating $file"
    head -c "$size" /dev/urandom > "$file"
fi

# Warm the page cache so both measure memory, not the disk.
cat "$file" > /dev/null

best_dd=""
for run in 1 2 3 4 5; do
    start=$(date +%s.%N)
    dd if="$file" of=/dev/null bs=1G count=1 status=none
    end=$(date +%s.%N)
    took=$(echo "$end - $start" | bc -l)
    if [ -z "$best_dd" ] || [ "$(echo "$took < $best_dd" | bc -l)" -eq 1 ]; then best_dd=$took; fi
done

report=$("$bench" "$file" 5)
echo "bench: $report"
best_bench=$(echo "$report" | sed -n 's/.* best \([0-9.]*\) s median.*/\1/p')

printf 'dd best of 5:    %.4f s\n' "$best_dd"
printf 'bench best of 5: %.4f s\n' "$best_bench"
printf 'ratio bench/dd:  %.3f\n' "$(echo "$best_bench / $best_dd" | bc -l)"
