#!/usr/bin/env bash
# The import's throughput at two sizes, in the same run, with the default memory limit.
#
#   bench/import/scale.sh [--small N] [--large N] [--runs K] [--work DIR]
#       Generates (once) the inputs of bench/import/run.sh with N rows under DIR (default
#       /tmp/quillmap-bench-import) for both sizes (defaults 10000000 and 100000000; the large
#       one is 4.5 GB of text and takes a while to generate), then imports them K times (default
#       3), interleaved, with the default memory limit, so the large import spills to sorted runs.
#       Prints each run, the medians of wall time, cpu time, peak resident memory and rows per
#       second, and the large import's rows per second as a share of the small one's.
#
# QUILLMAP_BENCH_BUILD names the Release build folder to use (default build-import-release).
set -euo pipefail

src=$(cd "$(dirname "$0")/../.." && pwd)
build=${QUILLMAP_BENCH_BUILD:-$src/build-import-release}
small=10000000
large=100000000
runs=3
work=/tmp/quillmap-bench-import

while [ $# -gt 0 ]; do
    case $1 in
    --small) small=$2; shift 2 ;;
    --large) large=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done

source "$src/bench/import/common.sh"
build_targets

for rows in "$small" "$large"; do
    generate "$work/inputs-$rows" "$rows" >/dev/null
done

index() { # index ROWS: wall s, cpu s, peak MB
    local out=$work/scale-$1
    timed_index "$build/quillmap-index" "$work/inputs-$1" "$out"
    if find "$out" -name '.quillmap-run-*' | grep -q .; then echo "runs left in $out" >&2; fi
    rm -rf "$out"
}

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg); $jobs cores"
res=$(mktemp)
trap 'rm -f "$res"' EXIT
for ((i = 1; i <= runs; i++)); do
    for rows in "$small" "$large"; do
        echo "$rows $(index "$rows")" | tee -a "$res"
    done
done
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"

median() { sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
printf '\n%-10s %8s %8s %8s %12s\n' rows "wall s" "cpu s" "peak MB" "rows/s"
for rows in "$small" "$large"; do
    w=$(awk -v k="$rows" '$1 == k {print $2}' "$res" | median)
    printf '%-10s %8s %8s %8s %12.0f\n' "$rows" "$w" "$(awk -v k="$rows" '$1 == k {print $3}' "$res" | median)" \
        "$(awk -v k="$rows" '$1 == k {print $4}' "$res" | median)" "$(echo "$rows / $w" | bc -l)"
done
ws=$(awk -v k="$small" '$1 == k {print $2}' "$res" | median)
wl=$(awk -v k="$large" '$1 == k {print $2}' "$res" | median)
echo "large rows/s as a share of small: $(echo "($large / $wl) / ($small / $ws) * 100" | bc -l | cut -c1-5) % (target at least 80)"
