#!/usr/bin/env bash
# Ten million variants per trait: the command-line answers against grep on the raw file, and
# whole-trait reads, sorts and text in a Release build. Prints medians of K runs and ratios.
#
#   bench/bigtrait/run.sh [--snps N] [--runs K] [--work DIR] [--genome-order]
#       Generates (once, under DIR, default /tmp/quillmap-bench-bigtrait) 2 traits x N SNPs
#       (default 10,000,000): every SNP of an N-line SNP information file (one extra column)
#       once per trait, E = 2, and imports them. Then, alternating in K rounds (default 5):
#       `quillmap-query DIR trait ILMN_0000000 | wc -l` against
#       `grep -F 'ILMN_0000000<TAB>' results.txt | wc -l`, and `quillmap-query DIR lambda`
#       (answered from the folder's summaries after its first run, which is shown apart)
#       against the same grep; then quillmap-bench-bigtrait: the trait's read, each column's
#       sort both ways, its text, the summaries computed and read; dataset bytes per row
#       against the raw text's. --genome-order makes the inputs as association tools write them
#       (the SNP file in genome order, each trait's lines in its order; kept apart from the
#       default inputs, whose orders are unrelated, the worst case for every look-up).
#
# QUILLMAP_BENCH_BUILD names the Release build folder to use (default build-bigtrait-release).
set -euo pipefail

src=$(cd "$(dirname "$0")/../.." && pwd)
build=${QUILLMAP_BENCH_BUILD:-$src/build-bigtrait-release}
work=/tmp/quillmap-bench-bigtrait
snps=10000000
runs=5
order=

while [ $# -gt 0 ]; do
    case $1 in
    --snps) snps=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --genome-order) order=--genome-order; shift ;;
    -h|--help) sed -n '2,20p' "$0"; exit 0 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target quillmap-index quillmap-query quillmap-bench-gen quillmap-bench-bigtrait \
    -j"$jobs" >/dev/null

inputs=$work/inputs-$snps${order:+-genome}
dataset=$work/dataset-$snps${order:+-genome}
if [ ! -f "$inputs/.complete" ]; then
    rm -rf "$inputs"
    mkdir -p "$inputs"
    "$build/quillmap-bench-gen" --out "$inputs" --rows $((2 * snps)) --traits 2 --snps "$snps" --extra 2 \
        --snp-extra 1 --genes 20000 --grouped $order >/dev/null
    touch "$inputs/.complete"
fi
if [ ! -f "$dataset/summary.txt" ] || [ "$inputs/.complete" -nt "$dataset/summary.txt" ]; then
    rm -rf "$dataset"
    "$build/quillmap-index" --results "$inputs/results.txt" --snps "$inputs/snpinfo.txt" \
        --traits "$inputs/traitinfo.txt" --out "$dataset" --no-register >/dev/null
fi

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg); $jobs cores"
# Everything read once, so that every command starts from the page cache.
cat "$inputs/results.txt" "$dataset"/* >/dev/null 2>&1 || true

seconds() { # seconds COMMAND... -> wall seconds of the pipeline
    local start end
    start=$(date +%s.%N)
    bash -c "$*" >/dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}
median() { sort -g | awk '{ v[NR] = $1 } END { printf "%.3f", v[int((NR + 1) / 2)] }'; }

trait=ILMN_0000000
rm -f "$dataset/trait_summaries.dat"
first_lambda=$(seconds "'$build/quillmap-query' '$dataset' lambda")
q=() g=() l=()
for ((r = 0; r < runs; r++)); do
    q+=("$(seconds "'$build/quillmap-query' '$dataset' trait $trait | wc -l")")
    g+=("$(seconds "grep -F '$trait	' '$inputs/results.txt' | wc -l")")
    l+=("$(seconds "'$build/quillmap-query' '$dataset' lambda")")
done
qm=$(printf '%s\n' "${q[@]}" | median)
gm=$(printf '%s\n' "${g[@]}" | median)
lm=$(printf '%s\n' "${l[@]}" | median)
printf 'query trait | wc -l   %8s s   (x %.2f of grep; target 1.0)\n' "$qm" "$(echo "$qm / $gm" | bc -l)"
printf 'grep -F | wc -l       %8s s\n' "$gm"
printf 'query lambda          %8s s   (x %.2f of grep; target 0.5); first run %.3f s\n' "$lm" \
    "$(echo "$lm / $gm" | bc -l)" "$first_lambda"

"$build/quillmap-bench-bigtrait" "$dataset" "$trait" "$runs"

rows=$((2 * snps))
raw=$(cat "$inputs/results.txt" "$inputs/snpinfo.txt" "$inputs/traitinfo.txt" | wc -c)
data=$(du -sb --exclude='*.txt' "$dataset" | cut -f1)
printf 'dataset bytes per row %.1f (raw text %.1f)\n' "$(echo "$data / $rows" | bc -l)" "$(echo "$raw / $rows" | bc -l)"
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
