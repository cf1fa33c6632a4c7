#!/usr/bin/env bash
# The import with a memory limit against the same import without one, in the same run.
#
#   bench/import/memory.sh [--rows N] [--memory SIZE] [--runs K] [--work DIR]
#       Generates (once) the inputs of bench/import/run.sh with N rows (default 10000000) under
#       DIR (default /tmp/quillmap-bench-import), then imports them K times (default 3) each way,
#       interleaved: without a limit and with --memory SIZE (default 100M). Prints each run and
#       the medians of wall time, cpu time and peak resident memory, the ratio of the two wall
#       times, and whether every dataset file of the limited import equals the unlimited one
#       byte for byte. With QUILLMAP_BENCH_BASELINE=DIR (the Release build folder of another
#       commit) that build's import without a limit runs in the same rounds, for a ratio, and its
#       dataset is compared with the unlimited one byte for byte.
#
# QUILLMAP_BENCH_BUILD names the Release build folder to use (default build-import-release).
set -euo pipefail

src=$(cd "$(dirname "$0")/../.." && pwd)
build=${QUILLMAP_BENCH_BUILD:-$src/build-import-release}
rows=10000000
memory=100M
runs=3
work=/tmp/quillmap-bench-import

while [ $# -gt 0 ]; do
    case $1 in
    --rows) rows=$2; shift 2 ;;
    --memory) memory=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done

source "$src/bench/import/common.sh"
build_targets

inputs=$work/inputs-$rows
generate "$inputs" "$rows" >/dev/null
cat "$inputs"/results.txt "$inputs"/snpinfo.txt > /dev/null

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg); $jobs cores"
res=$(mktemp)
trap 'rm -f "$res"' EXIT
for ((i = 1; i <= runs; i++)); do
    echo "unlimited $(timed_index "$build/quillmap-index" "$inputs" "$work/held")" | tee -a "$res"
    echo "limited $(timed_index "$build/quillmap-index" "$inputs" "$work/spilled" --memory "$memory")" | tee -a "$res"
    if [ -n "${QUILLMAP_BENCH_BASELINE:-}" ]; then
        echo "baseline $(timed_index "$QUILLMAP_BENCH_BASELINE/quillmap-index" "$inputs" "$work/baseline")" | tee -a "$res"
    fi
done
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"

same=yes
for f in IDlist.dat SNPlist.dat table1.dat ID_Line.dat table2.dat Pos_Line.dat; do
    cmp -s "$work/held/$f" "$work/spilled/$f" || same="NO ($f differs)"
done
leftover=$(find "$work/spilled" -name '.quillmap-run-*' | wc -l)
baseline_same=
if [ -n "${QUILLMAP_BENCH_BASELINE:-}" ]; then
    baseline_same=yes
    for f in IDlist.dat SNPlist.dat table1.dat ID_Line.dat table2.dat Pos_Line.dat; do
        cmp -s "$work/held/$f" "$work/baseline/$f" || baseline_same="NO ($f differs)"
    done
fi

median() { sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
printf '\n%-10s %8s %8s %8s\n' import "wall s" "cpu s" "peak MB"
for kind in unlimited limited baseline; do
    grep -q "^$kind " "$res" || continue
    printf '%-10s %8s %8s %8s\n' "$kind" "$(awk -v k=$kind '$1 == k {print $2}' "$res" | median)" \
        "$(awk -v k=$kind '$1 == k {print $3}' "$res" | median)" "$(awk -v k=$kind '$1 == k {print $4}' "$res" | median)"
done
u=$(awk '$1 == "unlimited" {print $2}' "$res" | median)
l=$(awk '$1 == "limited" {print $2}' "$res" | median)
echo "limited / unlimited wall: $(echo "$l / $u" | bc -l | cut -c1-5) (target at most 1.6)"
if grep -q '^baseline ' "$res"; then
    b=$(awk '$1 == "baseline" {print $2}' "$res" | median)
    echo "baseline / unlimited wall: $(echo "$b / $u" | bc -l | cut -c1-5)"
    bc_=$(awk '$1 == "baseline" {print $3}' "$res" | median)
    uc=$(awk '$1 == "unlimited" {print $3}' "$res" | median)
    echo "baseline / unlimited cpu: $(echo "$bc_ / $uc" | bc -l | cut -c1-5)"
fi
echo "dataset files identical: $same; runs left in the folder: $leftover"
[ -z "$baseline_same" ] || echo "unlimited and baseline dataset files identical: $baseline_same"
