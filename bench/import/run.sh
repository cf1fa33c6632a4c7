#!/usr/bin/env bash
# Times the command-line indexer on generated inputs and prints medians, next to `wc -l` on the
# same results file and to a position index built by the usual command-line tools.
#
#   bench/import/run.sh [--rows N[,N...]] [--runs K] [--work DIR] [--no-pipeline]
#       Generates inputs of N rows (default 1000000,10000000; 2,000 traits, 500,000 SNPs, E = 2
#       extra statistics, M = 1 extra SNP column, 20,000 genes, results lines of each trait
#       scattered, trait ILMN_0000000 with N/10 lines, ILMN_0000001 with 5,000) under DIR
#       (default /tmp/quillmap-bench-import), then runs each measurement K times (default 3)
#       and prints the medians: wall time, cpu time, rows per second and peak resident memory
#       of the import; the wall time of `wc -l`; the wall time and peak memory of
#       sort + bgzip + tabix; and how many times faster the import is than that pipeline.
#   bench/import/run.sh --plink2 [--plink2-traits T] [--plink2-snps S] [--memory SIZE] [--runs K]
#                       [--work DIR]
#       Generates T (default 100) per-trait PLINK 2 --glm files of S (default 100000) SNPs each
#       and the same rows as the five files, then times, alternately in the same run, the
#       five-file import and `--format plink2` (both with --memory SIZE when given), and prints
#       the medians of wall time, cpu time and peak memory of each and their ratios (the target:
#       time and memory at most 1.5). Then checks that the dataset files of `--format plink2` equal,
#       byte for byte, those of a five-file import of the files it derived.
#   bench/import/run.sh --make-dataset DIR [--rows N]
#       Generates inputs of N rows (default 10000000) into DIR/inputs and indexes them into the
#       dataset folder DIR, for other benchmarks to browse. Reuses inputs already there.
#
# QUILLMAP_BENCH_BUILD names the Release build folder to use (default build-import-release).
set -euo pipefail

src=$(cd "$(dirname "$0")/../.." && pwd)
build=${QUILLMAP_BENCH_BUILD:-$src/build-import-release}
rows_list=1000000,10000000
runs=3
work=/tmp/quillmap-bench-import
make_dataset=
pipeline=1
plink2=
plink2_traits=100
plink2_snps=100000
memory=()

while [ $# -gt 0 ]; do
    case $1 in
    --rows) rows_list=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --make-dataset) make_dataset=$2; shift 2 ;;
    --no-pipeline) pipeline=; shift ;;
    --plink2) plink2=1; shift ;;
    --plink2-traits) plink2_traits=$2; shift 2 ;;
    --plink2-snps) plink2_snps=$2; shift 2 ;;
    --memory) memory=(--memory "$2"); shift 2 ;;
    -h|--help) sed -n '2,26p' "$0"; exit 0 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done

need_package() { # need_package COMMAND PACKAGE
    command -v "$1" >/dev/null && return
    echo "installing $2 for $1" >&2
    if [ "$(id -u)" = 0 ]; then apt-get install -y "$2" >/dev/null; else sudo apt-get install -y "$2" >/dev/null; fi
}
[ -x /usr/bin/time ] || need_package /usr/bin/time time

source "$src/bench/import/common.sh"
build_targets

index() { # index INPUTS OUT
    "$build/quillmap-index" --results "$1/results.txt" --snps "$1/snpinfo.txt" \
        --traits "$1/traitinfo.txt" --groups "$1/groups.txt" --genes "$1/genes.txt" \
        --out "$2" --no-register
}

if [ -n "$make_dataset" ]; then
    rows=${rows_list##*,}
    [ "$rows_list" = 1000000,10000000 ] && rows=10000000
    mkdir -p "$make_dataset"
    generate "$make_dataset/inputs" "$rows"
    index "$make_dataset/inputs" "$make_dataset"
    echo "dataset of $rows rows in $make_dataset (inputs in $make_dataset/inputs)"
    exit 0
fi

median() { sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
now() { date +%s.%N; }
since() { echo "$(now) - $1" | bc -l; }
peak_of() { awk -F': ' '/Maximum resident set size/ {print $2/1024}' "$1"; }
cpu_of() { awk -F': ' '/User time|System time/ {s+=$2} END {print s}' "$1"; }

if [ -n "$plink2" ]; then
    inputs=$work/plink2-t$plink2_traits-s$plink2_snps
    if [ ! -f "$inputs/.complete" ]; then
        rm -rf "$inputs" && mkdir -p "$inputs"
        "$build/quillmap-bench-gen" --out "$inputs" --plink2 --traits "$plink2_traits" --snps "$plink2_snps" --rows 1
        touch "$inputs/.complete"
    fi
    cat "$inputs"/*.txt "$inputs"/plink2/* > /dev/null
    echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg); $jobs cores"
    five_t=() five_p=() five_c=() tool_t=() tool_p=() tool_c=()
    for ((i = 0; i < runs; i++)); do
        rm -rf "$work/five" "$work/tool" && sync
        start=$(now)
        /usr/bin/time -v -o "$work/time.txt" "$build/quillmap-index" --results "$inputs/results.txt" \
            --snps "$inputs/snpinfo.txt" --traits "$inputs/traitinfo.txt" --out "$work/five" --no-register \
            ${memory[@]+"${memory[@]}"}
        five_t+=("$(since "$start")") five_p+=("$(peak_of "$work/time.txt")") five_c+=("$(cpu_of "$work/time.txt")")
        sync
        start=$(now)
        /usr/bin/time -v -o "$work/time.txt" "$build/quillmap-index" --format plink2 --build hg38 \
            --out "$work/tool" --no-register ${memory[@]+"${memory[@]}"} "$inputs"/plink2/*.glm.linear 2>/dev/null
        tool_t+=("$(since "$start")") tool_p+=("$(peak_of "$work/time.txt")") tool_c+=("$(cpu_of "$work/time.txt")")
    done
    ft=$(printf '%s\n' "${five_t[@]}" | median) fp=$(printf '%s\n' "${five_p[@]}" | median)
    tt=$(printf '%s\n' "${tool_t[@]}" | median) tp=$(printf '%s\n' "${tool_p[@]}" | median)
    fc=$(printf '%s\n' "${five_c[@]}" | median) tc=$(printf '%s\n' "${tool_c[@]}" | median)
    rows=$((plink2_traits * plink2_snps))
    # cpu: user + system seconds; the plink2 route reads its files on a second thread.
    printf '%-10s %4s %9s %8s %8s %9s %8s %9s %8s %8s %8s\n' rows runs "five s" "five cpu" "five MB" \
        "plink2 s" "plink2 cpu" "plink2 MB" "x time" "x cpu" "x memory"
    printf '%-10s %4s %9.2f %8.2f %8.0f %9.2f %10.2f %9.0f %8.2f %8.2f %8.2f\n' "$rows" "$runs" "$ft" "$fc" "$fp" \
        "$tt" "$tc" "$tp" "$(echo "$tt / $ft" | bc -l)" "$(echo "$tc / $fc" | bc -l)" "$(echo "$tp / $fp" | bc -l)"
    echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
    rm -rf "$work/tool-five"
    "$build/quillmap-index" --results "$work/tool/quillmap-results.txt" --snps "$work/tool/quillmap-snpinfo.txt" \
        --traits "$work/tool/quillmap-traitinfo.txt" --out "$work/tool-five" --no-register 2>/dev/null
    same=yes
    for f in summary.txt IDlist.dat SNPlist.dat table1.dat ID_Line.dat table2.dat Pos_Line.dat; do
        cmp -s "$work/tool/$f" "$work/tool-five/$f" || same="NO ($f differs)"
    done
    echo "dataset files identical to the five-file import of the derived files: $same"
    exit 0
fi

if [ -n "$pipeline" ]; then
    need_package bgzip tabix
    need_package tabix tabix
fi

median() { sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
now() { date +%s.%N; }
since() { echo "$(now) - $1" | bc -l; }
peak_of() { awk -F': ' '/Maximum resident set size/ {print $2/1024}' "$1"; }
cpu_of() { awk -F': ' '/User time|System time/ {s+=$2} END {print s}' "$1"; }

# The pipeline a bioinformatician would run to index the same results by position. The
# generator writes results-pos.txt: every results line prefixed with its SNP's chromosome and
# position in base pairs, so the join with the SNP file (an awk pass) is not timed, which
# favours the pipeline. Timed: a C-locale sort by chromosome then position (both cores), bgzip
# (both cores) and tabix -s 1 -b 2 -e 2. The header line starts with '#', sorts first and is
# kept as tabix's meta line.
run_pipeline() { # run_pipeline INPUT OUTDIR
    LC_ALL=C sort -t "$(printf '\t')" -k1,1 -k2,2n --parallel=2 -T "$2" "$1" \
        | bgzip -@ 2 -c > "$2/results-pos.txt.gz"
    tabix -f -s 1 -b 2 -e 2 "$2/results-pos.txt.gz"
}
export -f run_pipeline

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg); $jobs cores"
# Wall times are taken around each command (date +%s.%N); peak memory and cpu time come from
# /usr/bin/time -v (for the pipeline: its largest process). Wall time of the import includes the fsync of every dataset file (written through a temporary
# file and a rename); cpu is user + system time. Every input is read once before timing, so all
# tools start with the results file in the page cache.
printf '%-9s %4s %8s %7s %10s %8s %8s %9s %8s %8s\n' rows runs "wall s" "cpu s" "rows/s" "peak MB" \
    "wc -l s" "pipe s" "pipe MB" "x pipe"
IFS=, read -ra all_rows <<< "$rows_list"
for rows in "${all_rows[@]}"; do
    inputs=$work/inputs-$rows
    generate "$inputs" "$rows" >/dev/null
    cat "$inputs"/*.txt > /dev/null
    rm -rf "$work/pipeline-$rows"
    times=() cpus=() peaks=() wcs=() pipes=() pipe_peaks=()
    for ((i = 0; i < runs; i++)); do
        out=$work/dataset-$rows
        rm -rf "$out"
        sync
        start=$(now)
        /usr/bin/time -v -o "$work/time.txt" "$build/quillmap-index" \
            --results "$inputs/results.txt" --snps "$inputs/snpinfo.txt" \
            --traits "$inputs/traitinfo.txt" --groups "$inputs/groups.txt" \
            --genes "$inputs/genes.txt" --out "$out" --no-register 2>/dev/null
        times+=("$(since "$start")") cpus+=("$(cpu_of "$work/time.txt")")
        peaks+=("$(peak_of "$work/time.txt")")

        start=$(now)
        wc -l "$inputs/results.txt" >/dev/null
        wcs+=("$(since "$start")")

        if [ -n "$pipeline" ]; then
            rm -rf "$work/pipeline-$rows" && mkdir -p "$work/pipeline-$rows"
            sync
            start=$(now)
            /usr/bin/time -v -o "$work/time.txt" bash -c 'run_pipeline "$0" "$1"' \
                "$inputs/results-pos.txt" "$work/pipeline-$rows"
            pipes+=("$(since "$start")") pipe_peaks+=("$(peak_of "$work/time.txt")")
        else
            pipes+=(0) pipe_peaks+=(0)
        fi
    done
    t=$(printf '%s\n' "${times[@]}" | median)
    c=$(printf '%s\n' "${cpus[@]}" | median)
    p=$(printf '%s\n' "${peaks[@]}" | median)
    w=$(printf '%s\n' "${wcs[@]}" | median)
    pt=$(printf '%s\n' "${pipes[@]}" | median)
    pp=$(printf '%s\n' "${pipe_peaks[@]}" | median)
    printf '%-9s %4s %8.2f %7.2f %10.0f %8.0f %8.2f %9.2f %8.0f %8.1f\n' "$rows" "$runs" "$t" "$c" \
        "$(echo "$rows / $t" | bc -l)" "$p" "$w" "$pt" "$pp" "$(echo "$pt / $t" | bc -l)"
done
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
