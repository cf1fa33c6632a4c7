#!/usr/bin/env bash
# Times the By Trait tab in a Release build and prints medians next to their targets.
#
#   bench/bytrait/run.sh [--dataset DIR] [--snps N] [--runs K] [--work DIR]
#       DIR (default /tmp/quillmap-bench-bytrait/dataset) is a dataset folder made by
#       bench/import/run.sh --make-dataset when it holds no summary.txt: 10M result rows,
#       2,000 traits, 500,000 SNPs, trait ILMN_0000000 with 1,000,000 rows and ILMN_0000001
#       with 5,000. Timed K times each (default 5), offscreen: opening the dataset (the panel's
#       construction, which loads the dataset tables), displaying the 5,000-row and the
#       1,000,000-row trait (records, transform, thresholds, table, information and the whole
#       plot at 1000 x 800), sorts of the 1M-row table by its first statistic, SNP name and
#       first extra SNP column, the progressive repaint after a resize. Then the loading of a dataset whose SNP
#       information file has N lines (default 10000000; generated once under the work folder,
#       default /tmp/quillmap-bench-bytrait), with its peak resident memory: once without its
#       SNP index cache (the first open, which builds it), then K times with it, then
#       `quillmap-query DIR region 1 0` on it K times.
#
# QUILLMAP_BENCH_BUILD names the Release build folder to use (default build-bytrait-release).
# QUILLMAP_BENCH_BASELINE names the Release build folder of another commit whose
# quillmap-bench-loaddataset is timed on the same folder in the same run, and whose
# quillmap-bench-display runs in the same rounds, alternating with this build's (K rounds of a
# process of each, 3 runs a process), for ratios.
set -euo pipefail

src=$(cd "$(dirname "$0")/../.." && pwd)
build=${QUILLMAP_BENCH_BUILD:-$src/build-bytrait-release}
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
    -h|--help) sed -n '2,23p' "$0"; exit 0 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done
dataset=${dataset:-$work/dataset}

if [ ! -f "$dataset/summary.txt" ]; then
    QUILLMAP_BENCH_BUILD=${QUILLMAP_BENCH_BUILD:-$src/build-import-release} \
        bash "$src/bench/import/run.sh" --make-dataset "$dataset" --rows 10000000
fi

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target quillmap-bench-loaddataset quillmap-bench-display quillmap-query -j"$jobs" >/dev/null

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg); $jobs cores"
out=$(mktemp)
trap 'rm -f "$out" "$out.d"' EXIT

if [ -z "${QUILLMAP_BENCH_BASELINE:-}" ]; then
    QT_QPA_PLATFORM=offscreen "$build/quillmap-bench-display" "$dataset" "$runs" > "$out"
    grep '^run ' "$out"
else
    # K rounds, each a process of this build and one of the baseline, 3 runs apiece; the
    # figure of a build is the median over the rounds of its processes' medians.
    for ((i = 1; i <= runs; i++)); do
        QT_QPA_PLATFORM=offscreen "$build/quillmap-bench-display" "$dataset" 3 | sed 's/^/this /' >> "$out.d"
        QT_QPA_PLATFORM=offscreen "$QUILLMAP_BENCH_BASELINE/quillmap-bench-display" "$dataset" 3 | sed 's/^/baseline /' >> "$out.d"
        echo "round $i: $(awk -v i="$i" '$2 == "median" { n[$1 $3]++ } $2 == "median" && n[$1 $3] == i && $3 ~ /^(open|display-big)$/ { printf "%s %s %.3f s; ", $1, $3, $4 }' "$out.d")"
    done
    awk '$2 == "median" { k = $1 " " $3; v[k, ++n[k]] = $4; d[k] = $5 " " $6 " " $7 " " $8 " " $9 " " $10 " " $11 " " $12 }
        END {
            for (k in n) {
                m = n[k]
                for (a = 1; a <= m; a++) for (b = a + 1; b <= m; b++) if (v[k, b] < v[k, a]) { t = v[k, a]; v[k, a] = v[k, b]; v[k, b] = t }
                split(k, part, " ")
                print (part[1] == "this" ? "median" : "baseline"), part[2], v[k, int((m + 1) / 2)], d[k]
            }
        }' "$out.d" >> "$out"
    rm -f "$out.d"
fi

big_snps=$work/snps-$snps
if [ ! -f "$big_snps/summary.txt" ]; then
    "$build/quillmap-bench-loaddataset" "$big_snps" "$snps" 1
fi
rm -f "$big_snps/SNPinfo.idx"
"$build/quillmap-bench-loaddataset" "$big_snps" "$snps" 1 | sed -n 's/^median load \([0-9.][0-9.]*\) .*/median first-open-big-snp \1/p; s/^peak-rss-mb /peak-rss-mb-first-open /p' >> "$out"
"$build/quillmap-bench-loaddataset" "$big_snps" "$snps" "$runs" | sed -n 's/^median load \([0-9.][0-9.]*\) .*/median open-big-snp \1/p; s/^peak-rss-mb /peak-rss-mb-big-snp /p' >> "$out"
if [ -n "${QUILLMAP_BENCH_BASELINE:-}" ]; then
    "$QUILLMAP_BENCH_BASELINE/quillmap-bench-loaddataset" "$big_snps" "$snps" 3 | sed -n 's/^median load \([0-9.][0-9.]*\) .*/median baseline-open-big-snp \1/p; s/^peak-rss-mb /peak-rss-mb-baseline /p' >> "$out"
fi
# Wall seconds and peak resident KB of each query; the median wall and the largest peak.
for _ in $(seq "$runs"); do
    /usr/bin/time -f '%e %M' -o "$out.q" "$build/quillmap-query" "$big_snps" region 1 0 > /dev/null
    cat "$out.q"
done | sort -n | awk '{ w[NR] = $1; if ($2 > m) m = $2 } END { print "median query-region " w[int((NR + 1) / 2)]; print "peak-rss-mb-query " int(m / 1024) }' >> "$out"
rm -f "$out.q"
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"

# measure, median, target, how far under (ratio target / median > 1 means met)
printf '\n%-28s %10s %10s %8s  %s\n' measure median target ratio result
awk -v snps="$snps" '
    function row(name, value, target, unit) {
        ratio = value > 0 ? target / value : 0
        printf "%-28s %8.3f %s %8.3f %s %8.2f  %s\n", name, value, unit, target, unit, ratio, \
            (value <= target ? "met" : "MISSED")
    }
    $1 == "median" && $2 == "open"          { row("open dataset", $3, 0.5, "s") }
    $1 == "median" && $2 == "display-small" { row("display " $4 "-row trait", $3 * 1000, 20, "ms") }
    $1 == "median" && $2 == "display-big"   { row("display " $4 "-row trait", $3 * 1000, 300, "ms") }
    $1 == "median" && $2 == "display-big-cpu" { printf "%-28s %8.3f ms (processor time)\n", "  its cpu time", $3 * 1000 }
    $1 == "median" && $2 == "sort-big"      { row("sort " $4 " rows", $3 * 1000, 300, "ms") }
    $1 == "median" && $2 == "sort-name-big" { printf "%-28s %8.3f ms (no target)\n", "sort " $4 " rows by SNP name", $3 * 1000 }
    $1 == "median" && $2 == "sort-field-big" { printf "%-28s %8.3f ms (no target)\n", "  by an extra SNP column", $3 * 1000 }
    $1 == "median" && $2 == "repaint-big"   { printf "%-28s %8.3f s  (no target)\n", "progressive repaint", $3 }
    $1 == "median" && $2 == "first-open-big-snp" { printf "%-28s %8.3f s  (no target)\n", "first open, " snps " SNPs", $3 }
    $1 == "peak-rss-mb-first-open"          { printf "%-28s %8d MB (no target)\n", "  its peak resident memory", $2 }
    $1 == "median" && $2 == "open-big-snp"  { row("open, " snps " SNP lines", $3, 1, "s") }
    $1 == "peak-rss-mb-big-snp"             { row("  its peak resident memory", $2, 600, "MB") }
    $1 == "median" && $2 == "baseline-open-big-snp" { base = $3 }
    $1 == "peak-rss-mb-baseline"            { printf "%-28s %8.3f s, %d MB\n", "  baseline build", base, $2 }
    $1 == "median" && $2 == "query-region"  { row("query region 1 0", $3, 1, "s") }
    $1 == "peak-rss-mb-query"               { row("  its peak resident memory", $2, 600, "MB") }
' "$out"
if grep -q '^baseline ' "$out"; then
    printf '\n%-28s %10s %10s %8s  (same rounds, alternating)\n' measure this baseline "this/base"
    awk '$1 == "median" { m[$2] = $3 } $1 == "baseline" { b[$2] = $3 }
        END {
            n = split("open display-small display-big display-big-cpu sort-big sort-name-big sort-field-big repaint-big", names, " ")
            for (i = 1; i <= n; i++) {
                k = names[i]
                if (k in b && b[k] > 0) printf "%-28s %8.1f ms %7.1f ms %8.2f\n", k, m[k] * 1000, b[k] * 1000, m[k] / b[k]
            }
        }' "$out"
fi
