#!/usr/bin/env bash
# The locus view in a Release build: medians of K runs beside their targets.
#
#   bench/locus/run.sh [--dataset DIR] [--runs K]
#       r2 of one variant with 5,000 variants over 10,000 samples (target 0.100 s); with a
#       dataset folder (default the 10M-variant one of bench/bigtrait/run.sh when it exists):
#       opening a 1 Mb window on a SNP, read and painted (target 0.200 s), and one pan and one
#       zoom step, read and painted again (target 0.030 s).
#
# QUILLMAP_BENCH_BUILD names the Release build folder to use (default build-locus-release).
set -euo pipefail

src=$(cd "$(dirname "$0")/../.." && pwd)
build=${QUILLMAP_BENCH_BUILD:-$src/build-locus-release}
dataset=/tmp/quillmap-bench-bigtrait/dataset-10000000
runs=5

while [ $# -gt 0 ]; do
    case $1 in
    --dataset) dataset=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done

cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target quillmap-bench-locus -j"$(nproc 2>/dev/null || echo 2)" >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
args=("$work" "$runs")
[ -f "$dataset/summary.txt" ] && args+=("$dataset")

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
"$build/quillmap-bench-locus" "${args[@]}" | awk '
    BEGIN { target["r2-5000x10000"] = 0.100; target["open-1Mb"] = 0.200
            target["pan-step"] = 0.030; target["zoom-step"] = 0.030 }
    { printf "%-16s %8.4f s   target %.3f s   %s\n", $2, $3, target[$2], ($3 <= target[$2] ? "met" : "MISSED") }'
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
