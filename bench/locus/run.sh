#!/usr/bin/env bash
# The locus view in a Release build: medians of K runs beside their targets.
#
#   bench/locus/run.sh [--dataset DIR] [--runs K]
#       r2 of one variant with 5,000 variants over 10,000 samples (target 0.100 s); with a
#       dataset folder (default the 10M-variant one of bench/bigtrait/run.sh when it exists):
#       opening a 1 Mb window on a SNP, read and painted (target 0.200 s), and one pan and one
#       zoom step, read and painted again (target 0.030 s). Where plink1.9 and plink2 are
#       installed, also the example genotype study's r2 against `plink1.9 --r2 --ld-snp` over
#       every variant of a 2 Mb window, on results from `plink2 --glm` (target: within 1e-3).
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
cmake --build "$build" --target quillmap-bench-locus quillmap-index quillmap-query -j"$(nproc 2>/dev/null || echo 2)" >/dev/null
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

if command -v plink1.9 >/dev/null && command -v plink2 >/dev/null; then
    python3 "$src/examples/make_locus_example.py" "$work" >/dev/null
    (cd "$work" && plink2 --bfile locus --glm allow-no-covars --out glm >/dev/null &&
        plink1.9 --bfile locus --allow-no-sex --r2 --ld-snp rs19000877 --ld-window-kb 2000 --ld-window 99999 \
            --ld-window-r2 0 --out ld >/dev/null)
    "$build/quillmap-index" --format plink2 --build hg19 --no-register --ld "$work/locus" \
        --out "$work/dataset" "$work/glm.PHENO1.glm.linear" 2>/dev/null
    "$build/quillmap-query" "$work/dataset" locus rs19000877 --window 2000000 > "$work/ours.tsv"
    awk 'NR == FNR { if (FNR > 1) plink[$6] = $7; next }
         FNR == 1 { for (i = 1; i <= NF; ++i) { if ($i == "SNP") s = i; if ($i == "r2") r = i }; next }
         { n++; if (!($s in plink) || $r == "NA") { missing++; next }
           d = $r - plink[$s]; if (d < 0) d = -d; if (d > most) most = d }
         END { printf "r2 against plink1.9: %d variants, %d not compared, largest difference %g (%s)\n",
                      n, missing, most, (most <= 1e-3 && missing == 0 ? "met" : "MISSED") }' \
        "$work/ld.ld" FS='\t' "$work/ours.tsv"
fi
