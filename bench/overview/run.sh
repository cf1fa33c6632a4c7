#!/usr/bin/env bash
# Times the study-wide computations in a Release build and prints medians beside their targets.
#
#   bench/overview/run.sh [--dataset DIR] [--runs K]
#       DIR (default /tmp/quillmap-bench-bytrait/dataset, shared with bench/bytrait/run.sh) is
#       made by bench/import/run.sh --make-dataset when it holds no summary.txt: 10M result
#       rows, 2,000 traits, the largest with 1,000,000 rows. Each figure is the median of K runs
#       (default 5): QQ data with lambda_GC of 1M p-values in memory and of the 1M-row trait
#       read from the dataset, every trait's lambda_GC, the top loci of all traits, a nearest-
#       point look-up among 1M plot points, and `quillmap-query DIR region 1 0` (wall time).
#
# QUILLMAP_BENCH_BUILD names the Release build folder to use (default build-overview-release).
set -euo pipefail

src=$(cd "$(dirname "$0")/../.." && pwd)
build=${QUILLMAP_BENCH_BUILD:-$src/build-overview-release}
dataset=/tmp/quillmap-bench-bytrait/dataset
runs=5

while [ $# -gt 0 ]; do
    case $1 in
    --dataset) dataset=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    -h|--help) sed -n '2,15p' "$0"; exit 0 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done

if [ ! -f "$dataset/summary.txt" ]; then
    QUILLMAP_BENCH_BUILD=${QUILLMAP_BENCH_BUILD:-$src/build-import-release} \
        bash "$src/bench/import/run.sh" --make-dataset "$dataset" --rows 10000000
fi

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target quillmap-bench-overview quillmap-query -j"$jobs" >/dev/null

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg); $jobs cores (shared: figures are noisy)"
out=$(mktemp)
trap 'rm -f "$out" "$out.q" "$out.r"' EXIT
"$build/quillmap-bench-overview" "$dataset" "$runs" | tee "$out"
for _ in $(seq "$runs"); do
    /usr/bin/time -f '%e %U %S' -o "$out.q" "$build/quillmap-query" "$dataset" region 1 0 > /dev/null
    cat "$out.q"
done > "$out.r"
sort -n "$out.r" | awk '{ w[NR] = $1 } END { print "median query-region " w[int((NR + 1) / 2)] }' >> "$out"
awk '{ print $2 + $3 }' "$out.r" | sort -n | awk '{ c[NR] = $1 } END { print "cpu query-region " c[int((NR + 1) / 2)] }' >> "$out"
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"

# Wall medians beside the CPU medians (user + system) of the same runs: with other work on
# the cores the wall time waits, the CPU time does not.
printf '\n%-34s %12s %12s %12s %8s  %s\n' measure median "cpu median" target ratio result
awk '
    $1 == "cpu" { cpu[$2] = $3; next }
    { lines[++n] = $0 }
    END {
        for (i = 1; i <= n; ++i) {
            split(lines[i], f, " ")
            if (f[2] in cpu) lines[i] = lines[i] " cpu=" cpu[f[2]]
            print lines[i]
        }
    }
' "$out" > "$out.q"
awk '
    function cpuOf(   k) { for (k = 1; k <= NF; ++k) if ($k ~ /^cpu=/) return substr($k, 5); return 0 }
    function row(name, value, target, unit,   c) {
        c = cpuOf() * (unit == "ms" ? 1000 : 1)
        printf "%-34s %10.3f %s %10.3f %s %10.3f %s %8.2f  %s\n", name, value, unit, c, unit, target, unit, \
            (value > 0 ? target / value : 0), (value <= target ? "met" : "MISSED")
    }
    $2 == "qq-synthetic" { row("QQ + lambda, 1M p-values", $3 * 1000, 150, "ms") }
    $2 == "qq-trait"     { row("QQ + lambda, " $4 "-row trait read", $3 * 1000, 150, "ms") }
    $2 == "lambda-all"   { printf "%-34s %10.3f s  (no target)\n", "lambda of all " $4 " traits", $3 }
    $2 == "top-loci"     { row("top loci, " $4 " rows", $3, 2, "s") }
    $2 == "index-build"  { printf "%-34s %10.3f ms (no target)\n", "point index build, 1M", $3 * 1000 }
    $2 == "lookup"       { row("tooltip look-up among 1M points", $3 * 1000, 1, "ms") }
    $2 == "query-region" { row("quillmap-query region 1 0", $3, 0.2, "s") }
' "$out.q"
