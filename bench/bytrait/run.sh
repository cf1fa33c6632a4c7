#!/usr/bin/env bash
# Times the loading of the dataset tables (what the By Trait tab does at start) and prints medians.
#
#   bench/bytrait/run.sh [--snps N[,N...]] [--runs K] [--work DIR]
#       Generates dataset folders of N SNPs (default 1000000,10000000) under DIR (default
#       /tmp/quillmap-bench-bytrait), loads each K times (default 3) in a Release build; then
#       times the panel's construction, the display of one trait with N rows and a sort by
#       position (offscreen).
set -euo pipefail

src=$(cd "$(dirname "$0")/../.." && pwd)
build=${QUILLMAP_BENCH_BUILD:-$src/build-bytrait-release}
snps_list=1000000,10000000
runs=3
work=/tmp/quillmap-bench-bytrait

while [ $# -gt 0 ]; do
    case $1 in
    --snps) snps_list=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    -h|--help) sed -n '2,7p' "$0"; exit 0 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done

cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUILLMAP_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target quillmap-bench-loaddataset quillmap-bench-display -j2 >/dev/null
IFS=, read -ra sizes <<< "$snps_list"
for n in "${sizes[@]}"; do
    "$build/quillmap-bench-loaddataset" "$work/snps-$n" "$n" "$runs" | tail -1
done
for n in "${sizes[@]}"; do
    QT_QPA_PLATFORM=offscreen "$build/quillmap-bench-display" "$work/rows-$n" "$n" "$runs" | tail -1
done
