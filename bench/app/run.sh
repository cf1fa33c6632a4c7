#!/usr/bin/env bash
# Times the main window on a dataset of many SNPs and prints medians next to the target.
#
#   bench/app/run.sh [--dataset DIR] [--snps N] [--runs K] [--work DIR]
#       DIR (default WORK/snps-N, WORK defaulting to /tmp/quillmap-bench-bytrait, shared with
#       bench/bytrait/run.sh) is a dataset whose SNP information file has N lines (default
#       10000000), 500 traits and N records, made by quillmap-bench-loaddataset when it holds
#       no summary.txt. Its SNP index cache is built once first (the first open has its own
#       figure in bench/bytrait/run.sh). Then K times (default 5), each a new process, offscreen:
#       the wall time from the start of the process to the main window shown and painted with
#       both panels and the study tabs, the construction of the window alone, the process's
#       cpu time (user + system) and its peak resident memory.
#
# QUILLMAP_BENCH_BUILD names the Release build folder to use (default build-app-release).
set -euo pipefail

src=$(cd "$(dirname "$0")/../.." && pwd)
build=${QUILLMAP_BENCH_BUILD:-$src/build-app-release}
work=/tmp/quillmap-bench-bytrait
dataset=
snps=10000000
runs=5

while [ $# -gt 0 ]; do
    case $1 in
    --dataset) dataset=$2; shift 2 ;;
    --snps) snps=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done
dataset=${dataset:-$work/snps-$snps}

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target quillmap-bench-window quillmap-bench-loaddataset -j"$jobs" >/dev/null

if [ ! -f "$dataset/summary.txt" ]; then
    "$build/quillmap-bench-loaddataset" "$dataset" "$snps" 1
fi
# The first open builds the SNP index cache; every timed run opens with it.
[ -f "$dataset/SNPinfo.idx" ] || QT_QPA_PLATFORM=offscreen "$build/quillmap-bench-window" "$dataset" > /dev/null

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg); $jobs cores (shared: figures are noisy)"
out=$(mktemp)
trap 'rm -f "$out" "$out.t"' EXIT
for ((i = 1; i <= runs; i++)); do
    QT_QPA_PLATFORM=offscreen /usr/bin/time -f '%U %S' -o "$out.t" "$build/quillmap-bench-window" "$dataset" > "$out.r"
    line="run $i: $(awk '{ printf "%s %s ", $1, $2 }' "$out.r")cpu $(awk '{ printf "%.2f", $1 + $2 }' "$out.t")"
    echo "$line" | tee -a "$out"
done
rm -f "$out.r"
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"

median() { sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
field() { awk -v k="$1" '{ for (i = 1; i < NF; ++i) if ($i == k) print $(i + 1) }' "$out" | median; }
shown=$(field window-shown)
printf '\n%-36s %9s %9s %7s  %s\n' measure median target ratio result
awk -v v="$shown" 'BEGIN { printf "%-36s %7.3f s %7.3f s %7.2f  %s\n", "window shown, from process start", v, 1.5, 1.5 / v, (v <= 1.5 ? "met" : "MISSED") }'
printf '%-36s %7.3f s\n' "  of it, the window's construction" "$(field window-built)"
printf '%-36s %7.2f s\n' "  cpu time of the process" "$(field cpu)"
printf '%-36s %7d MB\n' "  peak resident memory" "$(field peak-rss-mb)"
