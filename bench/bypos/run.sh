#!/usr/bin/env bash
# Times the position panel on a generated 10M-row dataset and prints medians.
#
#   bench/bypos/run.sh [--dataset DIR] [--runs K]
#       Uses the dataset folder DIR (default /tmp/quillmap-bench-bypos/dataset), making it first
#       with bench/import/run.sh --make-dataset when it holds no summary.txt. Each measurement is
#       repeated K times (default 11); the median is printed.
#
# QUILLMAP_BENCH_BASELINE names the Release build folder of another commit: then R rounds
# (--rounds R, default 3) each run this build's program and the baseline's, alternating, and
# the median over the rounds of each figure is printed beside the baseline's and their ratio.
set -euo pipefail

src=$(cd "$(dirname "$0")/../.." && pwd)
build=${QUILLMAP_BENCH_BUILD:-$src/build-bypos-release}
dataset=/tmp/quillmap-bench-bypos/dataset
runs=11
rounds=3

while [ $# -gt 0 ]; do
    case $1 in
    --dataset) dataset=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done

if [ ! -f "$dataset/summary.txt" ]; then
    bash "$src/bench/import/run.sh" --make-dataset "$dataset"
fi

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUILLMAP_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target quillmap-bench-bypos -j"$jobs" >/dev/null

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg); $jobs cores (shared: figures are noisy)"
if [ -z "${QUILLMAP_BENCH_BASELINE:-}" ]; then
    QT_QPA_PLATFORM=offscreen "$build/quillmap-bench-bypos" --dataset "$dataset" --runs "$runs"
else
    out=$(mktemp)
    trap 'rm -f "$out"' EXIT
    for ((i = 1; i <= rounds; i++)); do
        echo "round $i"
        QT_QPA_PLATFORM=offscreen "$build/quillmap-bench-bypos" --dataset "$dataset" --runs "$runs" 2>/dev/null | sed 's/^/this|/' >> "$out"
        QT_QPA_PLATFORM=offscreen "$QUILLMAP_BENCH_BASELINE/quillmap-bench-bypos" --dataset "$dataset" --runs "$runs" 2>/dev/null | sed 's/^/base|/' >> "$out"
        grep -E '^(this|base)\|search, panel' "$out" | tail -2 | tr '\n' ' '; echo
    done
    # Lines "NAME   FIGURE ms   (target T)": the median of each over the rounds, both builds.
    printf '\n%-62s %9s %9s %9s\n' "measure (median of $rounds rounds)" "this ms" "base ms" "this/base"
    awk -F'|' 'match($2, / +[0-9.]+ ms   \(target/) {
            name = substr($2, 1, RSTART - 1)
            split(substr($2, RSTART), f, " ")
            if (!(name in seen)) { seen[name] = 1; order[++count] = name }
            v[$1, name, ++n[$1, name]] = f[1]
        }
        function med(who, name,   m, a, b, t) {
            m = n[who, name]
            for (a = 1; a <= m; a++) for (b = a + 1; b <= m; b++) if (v[who, name, b] < v[who, name, a]) { t = v[who, name, a]; v[who, name, a] = v[who, name, b]; v[who, name, b] = t }
            return m ? v[who, name, int((m + 1) / 2)] : 0
        }
        END {
            for (i = 1; i <= count; i++) {
                name = order[i]; a = med("this", name); b = med("base", name)
                printf "%-62s %9.2f %9.2f %9.2f\n", name, a, b, (b > 0 ? a / b : 0)
            }
        }' "$out"
fi
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
