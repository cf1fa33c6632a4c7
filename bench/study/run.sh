#!/usr/bin/env bash
# A real-shaped 100-trait PLINK 2 study: the By SNP table and gene search, the Traits and Top loci
# tabs' defaults, quillmap-query lambda and top-loci, and the dataset's bytes against the raw
# .glm.linear text. Prints medians of K runs and their ratios to the targets.
#
#   bench/study/run.sh [--runs K] [--work DIR] [--variants N] [--samples N] [--traits N] [--no-figures]
#       Generates (once, under DIR, default /tmp/quillmap-bench-study) the study with
#       make_plink2_study.sh and imports it with --format plink2 --genes --groups. Then checks
#       `quillmap-query DIR snp rs1267250` against the PLINK 2 files (check_snp.py) and runs
#       quillmap-bench-study (medians of K, default 7). Where the 2-trait x 10M dataset of
#       bench/bigtrait exists (/tmp/quillmap-bench-bigtrait/dataset-10000000), its By SNP table
#       and gene search too; it is only read. Last, check_figures.py: the region figure in
#       ImageMagick, no raster image in a By Trait PDF, the y labels of Bilirubin_extreme.
#
# QUILLMAP_BENCH_BUILD names the Release build folder to use (default build).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=${QUILLMAP_BENCH_BUILD:-$src/build}
work=/tmp/quillmap-bench-study
runs=7
figures=1
gen=()
while [ $# -gt 0 ]; do
    case $1 in
    --runs) runs=$2; shift 2 ;;
    --no-figures) figures=0; shift ;;
    --work) work=$2; shift 2 ;;
    --variants|--samples|--traits) gen+=("$1" "$2"); shift 2 ;;
    -h|--help) sed -n '2,17p' "$0"; exit 0 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done

cmake --build "$build" --target quillmap-index quillmap-query quillmap-bench-study -j2 >/dev/null
study=$work/study
dataset=$work/dataset
if [ ! -f "$study/.complete" ]; then
    rm -rf "$study"
    "$here/make_plink2_study.sh" "$study" "${gen[@]}"
    touch "$study/.complete"
fi
if [ ! -f "$dataset/summary.txt" ] || [ "$study/.complete" -nt "$dataset/summary.txt" ]; then
    rm -rf "$dataset"
    "$build/quillmap-index" --format plink2 --build hg19 --genes "$study/genes.txt" \
        --groups "$study/groups.txt" --no-register --out "$dataset" "$study"/glm/*.glm.linear >/dev/null
fi

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) cores"
cat "$dataset"/* >/dev/null
"$here/check_snp.py" "$build/quillmap-query" "$dataset" "$study/glm" rs1267250 || true

"$build/quillmap-bench-study" "$dataset" "$runs" rs1267250 APOC1
big=/tmp/quillmap-bench-bigtrait/dataset-10000000
if [ -f "$big/summary.txt" ]; then
    echo "2 traits x 10M ($big):"
    "$build/quillmap-bench-study" "$big" "$runs" "" "" --no-tabs
fi

seconds() { # wall seconds of COMMAND..., output discarded
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}
median() { sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
# In the same rounds: the program started without a dataset (--help), the fixed cost of any
# answer, as the baseline.
for command in lambda top-loci; do
    "$build/quillmap-query" "$dataset" "$command" >/dev/null # summaries built once
done
: >"$work/times"
for _ in $(seq "$runs"); do
    printf 'help %s\n' "$(seconds "$build/quillmap-query" --help)" >>"$work/times"
    for command in lambda top-loci; do
        printf '%s %s\n' "$command" "$(seconds "$build/quillmap-query" "$dataset" "$command")" >>"$work/times"
    done
done
base=$(awk '$1 == "help" {print $2}' "$work/times" | median)
printf 'quillmap-query --help (baseline)\t%.3f s\n' "$base"
for command in lambda top-loci; do
    m=$(awk -v c="$command" '$1 == c {print $2}' "$work/times" | median)
    printf 'quillmap-query %s\t%.3f s\t%.2fx the 0.05 s target\t%.2fx the baseline\n' "$command" "$m" \
        "$(echo "$m / 0.05" | bc -l)" "$(echo "$m / $base" | bc -l)"
done

raw=$(cat "$study"/glm/*.glm.linear | wc -c)
disk=$(du -sb "$dataset" | cut -f1)
printf 'dataset bytes\t%d\traw .glm.linear bytes\t%d\tratio %.2f\n' "$disk" "$raw" "$(echo "$disk / $raw" | bc -l)"

# Last, as ImageMagick takes a while: the figures' checks on the study.
[ "$figures" = 1 ] && { "$here/check_figures.py" "$build/quillmap-query" "$dataset" "$work/figures" || true; }
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
