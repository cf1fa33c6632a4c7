#!/usr/bin/env bash
# Times the position panel on a generated 10M-row dataset and prints medians.
#
#   bench/bypos/run.sh [--dataset DIR] [--runs K]
#       Uses the dataset folder DIR (default /tmp/quillmap-bench-bypos/dataset), making it first
#       with bench/import/run.sh --make-dataset when it holds no summary.txt. Each measurement is
#       repeated K times (default 11); the median is printed.
set -euo pipefail

src=$(cd "$(dirname "$0")/../.." && pwd)
build=${QUILLMAP_BENCH_BUILD:-$src/build-bypos-release}
dataset=/tmp/quillmap-bench-bypos/dataset
runs=11

while [ $# -gt 0 ]; do
    case $1 in
    --dataset) dataset=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    -h|--help) sed -n '2,7p' "$0"; exit 0 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done

if [ ! -f "$dataset/summary.txt" ]; then
    bash "$src/bench/import/run.sh" --make-dataset "$dataset"
fi

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUILLMAP_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target quillmap-bench-bypos -j"$jobs" >/dev/null

QT_QPA_PLATFORM=offscreen "$build/quillmap-bench-bypos" --dataset "$dataset" --runs "$runs"
