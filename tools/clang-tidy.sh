#!/usr/bin/env bash
# Runs clang-tidy (the checks of .clang-tidy: bugprone, performance) over the sources of src/,
# tools/ and tests/ in parallel, with the compile commands of a build in build-tidy. Prints each
# finding once; exits 1 when there are any, 2 when the run itself failed. Extra arguments go to
# run-clang-tidy (e.g. -fix); file arguments narrow the run to those sources.
#   bash tools/clang-tidy.sh [-fix] [FILE...]
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

runner=
for candidate in run-clang-tidy-14 run-clang-tidy; do
    command -v "$candidate" >/dev/null && { runner=$candidate; break; }
done
[ -n "$runner" ] || { echo "run-clang-tidy is not installed (apt-get install clang-tidy)" >&2; exit 2; }
jobs=$(nproc 2>/dev/null || echo 2)

build=build-tidy
# Only the generated form and moc headers are needed to parse the sources, so the build runs
# the code generators and compiles nothing.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    -DCMAKE_AUTOGEN_ORIGIN_DEPENDS=OFF -DQUILLMAP_BUILD_TESTS=ON -DQUILLMAP_BUILD_BENCH=OFF \
    >/dev/null || exit 2
mapfile -t generators < <(cmake --build "$build" --target help | sed -n 's/^\.\.\. \(.*_autogen\)$/\1/p')
cmake --build "$build" -j"$jobs" --target "${generators[@]}" >/dev/null || exit 2

files=()
args=()
for a in "$@"; do
    case $a in -*) args+=("$a") ;; *) files+=("$a") ;; esac
done
[ ${#files[@]} -gt 0 ] || mapfile -t files < <(git ls-files 'src/*.cpp' 'tools/*.cpp' 'tests/*.cpp')
# run-clang-tidy takes regular expressions over absolute paths; the generated sources of the
# build tree are never among them.
patterns=()
for f in "${files[@]}"; do
    case $f in /*) ;; *) f=$root/$f ;; esac
    patterns+=("^$(printf '%s' "$f" | sed 's/[].[^$*+?(){}|\\]/\\&/g')\$")
done
out=$("$runner" -p "$build" -j "$jobs" -quiet "${args[@]}" "${patterns[@]}" 2>/dev/null)
status=$?
# A header's finding is reported once per source that includes it.
findings=$(printf '%s\n' "$out" | sed 's/\x1b\[[0-9;]*m//g' | grep -E '^[^ ].*: (warning|error): ' | sort -u)
if [ -n "$findings" ]; then
    printf '%s\n' "$findings"
    echo "clang-tidy: $(printf '%s\n' "$findings" | wc -l) findings in ${#files[@]} files" >&2
    exit 1
fi
[ $status -eq 0 ] || { printf '%s\n' "$out" | tail -n 20 >&2; echo "clang-tidy: run failed" >&2; exit 2; }
echo "clang-tidy: no findings in ${#files[@]} files"
