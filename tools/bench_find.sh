#!/bin/sh
# Compares Find over a 4 GiB file in the page cache with `grep -c -F -a` for
# the same bytes, which occur nowhere in the file, then removes the file.
# Needs about 4.3 GB free in the directory and as much free memory.
# Usage: tools/bench_find.sh [DIRECTORY] [BENCH_BINARY]
set -eu

directory=${1:-/tmp}
file="$directory/bitlorn-find-bench-4g.bin"
here=$(cd "$(dirname "$0")/.." && pwd)
bench=${2:-}
if [ -z "$bench" ]; then
    for candidate in "$here"/build*/bench/find_bench; do
        if [ -x "$candidate" ]; then bench=$candidate; break; fi
    done
fi
if [ -z "$bench" ] || [ ! -x "$bench" ]; then
    echo "find_bench not found; build the find_bench target (cmake -DBITLORN_BENCH=ON) or pass its path" >&2
    exit 1
fi

size=4294967296
needed_kib=$((size / 1024 + 65536))
free_kib=$(df -Pk "$directory" | awk 'NR == 2 { print $4 }')
if [ "$free_kib" -lt "$needed_kib" ]; then
    echo "not enough room in $directory: $free_kib KiB free, $needed_kib KiB needed" >&2
    exit 1
fi
trap 'rm -f "$file"' EXIT INT TERM

# Random bytes: every byte value turns up everywhere, as in compressed or
# encrypted data, so neither side skips far on a rare first byte.
echo "creating $file"
head -c "$size" /dev/urandom > "$file"
cat "$file" > /dev/null

text='Bitlorn#absent'
hex=$(printf '%s' "$text" | od -An -tx1 | tr -s ' \n' '  ')

best_grep=""
for run in 1 2 3; do
    start=$(date +%s.%N)
    grep -c -F -a "$text" "$file" > /dev/null || true
    end=$(date +%s.%N)
    took=$(echo "$end - $start" | bc -l)
    if [ -z "$best_grep" ] || [ "$(echo "$took < $best_grep" | bc -l)" -eq 1 ]; then best_grep=$took; fi
done

echo "pattern \"$text\" ($hex)"
"$bench" "$file" "\"$text\"" 3
printf 'grep -c -F -a:   best %.4f s  %.2f GiB/s\n' "$best_grep" "$(echo "4 / $best_grep" | bc -l)"
echo "with wildcards: 42 69 ?? 6C 6F ?? 6E 23"
"$bench" "$file" "42 69 ?? 6C 6F ?? 6E 23" 3
