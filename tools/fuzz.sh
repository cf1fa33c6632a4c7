#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz (clang, ASan, UBSan) and runs each for SECONDS
# (default 15), starting from the committed seeds in tests/fuzz/corpus. Prints the executions and
# the findings of each target; exits 1 when any target crashed or broke an invariant.
#   bash tools/fuzz.sh            # about a minute in all, for CI
#   bash tools/fuzz.sh 600        # ten minutes per target, for a longer local run
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-15}
targets=(fuzz_importline fuzz_import fuzz_loader fuzz_genetrack fuzz_toolformat)
build=build-fuzz

command -v clang++ >/dev/null && ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 \
    || bash tools/setup.sh fuzz-deps || exit 2
bash tools/setup.sh deps || exit 2

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
    -DQUILLMAP_FUZZ=ON -DQUILLMAP_SANITIZE=ON -DQUILLMAP_BUILD_TESTS=ON -DQUILLMAP_BUILD_BENCH=OFF \
    >/dev/null || exit 2
cmake --build "$build" --target quillmap_fuzzers -j"$(nproc 2>/dev/null || echo 2)" >/dev/null || {
    cmake --build "$build" --target quillmap_fuzzers -j1; exit 2; }

dict_of() {
    case $1 in
    fuzz_importline|fuzz_import) echo tests/fuzz/import.dict ;;
    fuzz_loader) echo tests/fuzz/dataset.dict ;;
    fuzz_toolformat) echo tests/fuzz/toolformat.dict ;;
    *) echo "" ;;
    esac
}

status=0
total=0
for t in "${targets[@]}"; do
    corpus=$build/corpus/$t
    findings=$build/findings/$t
    mkdir -p "$corpus" "$findings"
    cp -n tests/fuzz/corpus/$t/* "$corpus"/ 2>/dev/null
    dict=$(dict_of "$t")
    log=$build/findings/$t.log
    ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
    nice -n 10 "$build/fuzz/$t" -max_total_time="$seconds" -max_len=4096 -timeout=20 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" \
        ${dict:+-dict=$dict} "$corpus" >"$log" 2>&1
    rc=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    total=$((total + ${runs:-0}))
    if [ $rc -ne 0 ]; then
        status=1
        echo "$t: ${runs:-?} executions, FAILED (exit $rc); input saved in $findings/, log $log"
        grep -m3 -E 'ERROR|runtime error|invariant broken' "$log" | sed 's/^/    /'
    else
        echo "$t: ${runs:-?} executions, no findings (corpus $(ls "$corpus" | wc -l) inputs)"
    fi
done
echo "fuzzing: $total executions in all"
exit $status
