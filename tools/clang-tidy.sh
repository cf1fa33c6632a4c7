#!/usr/bin/env bash
# Runs clang-tidy (the checks of .clang-tidy: bugprone, performance) over the sources of src/ and
# tools/, with the compile commands of a build in build-tidy. Prints the findings; exits 1 when
# there are any. Extra arguments go to clang-tidy (e.g. --fix).
#   bash tools/clang-tidy.sh [FILE...]
set -uo pipefail
cd "$(dirname "$0")/.."

command -v clang-tidy >/dev/null || { echo "clang-tidy is not installed (apt-get install clang-tidy)" >&2; exit 2; }
build=build-tidy
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    -DQUILLMAP_BUILD_TESTS=OFF -DQUILLMAP_BUILD_BENCH=OFF >/dev/null || exit 2
# The generated form and moc headers must exist before the sources can be parsed.
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)" >/dev/null || exit 2

files=()
args=()
for a in "$@"; do
    case $a in -*) args+=("$a") ;; *) files+=("$a") ;; esac
done
[ ${#files[@]} -gt 0 ] || mapfile -t files < <(git ls-files 'src/*.cpp' 'tools/*.cpp')
out=$(clang-tidy -p "$build" --quiet "${args[@]}" "${files[@]}" 2>/dev/null)
echo "$out" | grep -E '(warning|error):' || { echo "clang-tidy: no findings in ${#files[@]} files"; exit 0; }
exit 1
