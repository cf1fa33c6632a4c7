#!/usr/bin/env bash
# Times the command-line indexer on generated inputs and prints medians.
#
#   bench/import/run.sh [--rows N[,N...]] [--runs K] [--work DIR]
#       Generates inputs of N rows (default 1000000,10000000; 500 traits, 2 extra statistics,
#       20,000 genes) under DIR (default /tmp/quillmap-bench-import), indexes each K times
#       (default 3) and prints the median wall time, rows per second and peak memory.
#   bench/import/run.sh --make-dataset DIR [--rows N]
#       Generates inputs of N rows (default 10000000) into DIR/inputs and indexes them into the
#       dataset folder DIR, for other benchmarks to browse. Reuses inputs already there.
set -euo pipefail

src=$(cd "$(dirname "$0")/../.." && pwd)
build=${QUILLMAP_BENCH_BUILD:-$src/build-import-release}
rows_list=1000000,10000000
runs=3
work=/tmp/quillmap-bench-import
make_dataset=

while [ $# -gt 0 ]; do
    case $1 in
    --rows) rows_list=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --make-dataset) make_dataset=$2; shift 2 ;;
    -h|--help) sed -n '2,12p' "$0"; exit 0 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUILLMAP_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target quillmap-index quillmap-bench-gen -j"$jobs" >/dev/null

generate() { # generate DIR ROWS
    local dir=$1 rows=$2
    if [ -f "$dir/.complete-$rows" ]; then return; fi
    mkdir -p "$dir"
    rm -f "$dir"/.complete-*
    "$build/quillmap-bench-gen" --out "$dir" --rows "$rows" --traits 500 --extra 2 --genes 20000
    touch "$dir/.complete-$rows"
}

index() { # index INPUTS OUT
    "$build/quillmap-index" --results "$1/results.txt" --snps "$1/snpinfo.txt" \
        --traits "$1/traitinfo.txt" --groups "$1/groups.txt" --genes "$1/genes.txt" --out "$2"
}

if [ -n "$make_dataset" ]; then
    rows=${rows_list##*,}
    [ "$rows_list" = 1000000,10000000 ] && rows=10000000
    mkdir -p "$make_dataset"
    generate "$make_dataset/inputs" "$rows"
    index "$make_dataset/inputs" "$make_dataset"
    echo "dataset of $rows rows in $make_dataset (inputs in $make_dataset/inputs)"
    exit 0
fi

median() { sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

# Wall time includes the fsync of every dataset file (written through a temporary file and a
# rename); cpu is user + system time.
printf '%-10s %5s %10s %10s %12s %10s %10s\n' rows runs "wall s" "cpu s" "rows/s" "peak MB" "input MB"
IFS=, read -ra all_rows <<< "$rows_list"
for rows in "${all_rows[@]}"; do
    inputs=$work/inputs-$rows
    generate "$inputs" "$rows" >/dev/null
    times=() cpus=() peaks=()
    for ((i = 0; i < runs; i++)); do
        out=$work/dataset-$rows
        rm -rf "$out"
        sync
        /usr/bin/time -v -o "$work/time.txt" "$build/quillmap-index" \
            --results "$inputs/results.txt" --snps "$inputs/snpinfo.txt" \
            --traits "$inputs/traitinfo.txt" --groups "$inputs/groups.txt" \
            --genes "$inputs/genes.txt" --out "$out" 2>/dev/null
        wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {n=split($2,p,":"); s=0; for(k=1;k<=n;k++) s=s*60+p[k]; print s}' "$work/time.txt")
        peak=$(awk -F': ' '/Maximum resident set size/ {print $2/1024}' "$work/time.txt")
        cpu=$(awk -F': ' '/User time|System time/ {s+=$2} END {print s}' "$work/time.txt")
        times+=("$wall") cpus+=("$cpu") peaks+=("$peak")
    done
    t=$(printf '%s\n' "${times[@]}" | median)
    c=$(printf '%s\n' "${cpus[@]}" | median)
    p=$(printf '%s\n' "${peaks[@]}" | median)
    size=$(du -m "$inputs/results.txt" | cut -f1)
    printf '%-10s %5s %10.2f %10.2f %12.0f %10.0f %10s\n' "$rows" "$runs" "$t" "$c" \
        "$(echo "$rows / $t" | bc -l)" "$p" "$size"
done
