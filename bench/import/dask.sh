#!/usr/bin/env bash
# quillmap-dask on a local cluster against quillmap-index, in the same run.
#
#   bench/import/dask.sh [--rows N] [--workers W] [--chunk SIZE] [--runs K] [--work DIR]
#       Generates (once) the inputs of bench/import/run.sh with N rows (default 10000000) under
#       DIR (default /tmp/quillmap-bench-import), then builds the dataset K times (default 3)
#       each way, interleaved: quillmap-index, and quillmap-dask --scheduler local:W (default 2)
#       --chunk SIZE (default 128M). Prints each run with the load average after it, the
#       medians of wall and cpu time (quillmap-dask's: the driver and what it waited for, not
#       the workers), the ratio of the two wall times, the median wall time and the steps'
#       processor time of each phase of quillmap-dask (--times), and whether every dataset
#       file is the same byte for byte.
#
# QUILLMAP_BENCH_BUILD names the Release build folder to use (default build-import-release).
set -euo pipefail

src=$(cd "$(dirname "$0")/../.." && pwd)
build=${QUILLMAP_BENCH_BUILD:-$src/build-import-release}
rows=10000000
workers=2
chunk=128M
runs=3
work=/tmp/quillmap-bench-import

while [ $# -gt 0 ]; do
    case $1 in
    --rows) rows=$2; shift 2 ;;
    --workers) workers=$2; shift 2 ;;
    --chunk) chunk=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done
/usr/bin/python3 -c 'import distributed' 2>/dev/null || { echo "needs python3-distributed" >&2; exit 2; }

source "$src/bench/import/common.sh"
build_targets quillmap_dask_script

inputs=$work/inputs-$rows
generate "$inputs" "$rows" >/dev/null
cat "$inputs"/results.txt "$inputs"/snpinfo.txt > /dev/null

files=(--results "$inputs/results.txt" --snps "$inputs/snpinfo.txt" --traits "$inputs/traitinfo.txt" --no-register)
res=$(mktemp)
phases=$(mktemp)
trap 'rm -f "$res" "$phases"' EXIT
timed() { # timed KIND OUT COMMAND...: "KIND wall cpu" (children included)
    local kind=$1 out=$2
    shift 2
    rm -rf "$out"
    /usr/bin/time -f '%e %U %S' -o "$out.time" "$@" --out "$out" 2> "$out.err" > /dev/null
    grep '^quillmap-dask-time ' "$out.err" >> "$phases" || true
    echo "$kind $(awk '{ printf "%.2f %.2f\n", $1, $2 + $3 }' "$out.time") load $(cut -d' ' -f1 /proc/loadavg)" | tee -a "$res"
}

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg); $jobs cores"
for ((i = 1; i <= runs; i++)); do
    timed index "$work/single" "$build/quillmap-index" "${files[@]}"
    timed dask "$work/dask" "$build/quillmap-dask" --scheduler "local:$workers" --chunk "$chunk" --times "${files[@]}"
done
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"

same=yes
for f in summary.txt IDlist.dat SNPlist.dat table1.dat ID_Line.dat table2.dat Pos_Line.dat; do
    cmp -s "$work/single/$f" "$work/dask/$f" || same="NO ($f differs)"
done
[ "$(ls -A "$work/single" | sort)" = "$(ls -A "$work/dask" | sort)" ] || same="NO (other files)"

median() { sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
printf '\n%-8s %8s %8s\n' build "wall s" "cpu s"
for kind in index dask; do
    printf '%-8s %8s %8s\n' "$kind" "$(awk -v k=$kind '$1 == k {print $2}' "$res" | median)" \
        "$(awk -v k=$kind '$1 == k {print $3}' "$res" | median)"
done
s=$(awk '$1 == "index" {print $2}' "$res" | median)
d=$(awk '$1 == "dask" {print $2}' "$res" | median)
echo "dask / index wall: $(echo "$d / $s" | bc -l | cut -c1-5) (target at most 2)"
echo "phases of quillmap-dask (medians; cpu-s: the steps' processor time):"
printf '  %-9s %7s %7s\n' phase "wall s" "cpu s"
for phase in $(awk '{print $2}' "$phases" | awk '!seen[$0]++'); do
    printf '  %-9s %7s %7s\n' "$phase" "$(awk -v p=$phase '$2 == p {print $3}' "$phases" | median)" \
        "$(awk -v p=$phase '$2 == p && $NF == "cpu-s)" {print $(NF-1)}' "$phases" | median | sed 's/^0$/-/')"
done
rows_per_s=$(echo "$rows / $(awk '$2 == "parse" {print $3}' "$phases" | median) / $workers" | bc -l | cut -d. -f1)
echo "parse: $rows_per_s rows/s per worker"
echo "dataset files identical: $same"
