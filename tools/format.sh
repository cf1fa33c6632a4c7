#!/usr/bin/env bash
# Formats the C++ sources of src/, tests/, tools/ and bench/ with the committed .clang-format, or
# with --check lists the files that differ from it and exits 1 (CI runs the check). Extra
# arguments are files to take instead of the whole tree. clang-format 14 is the reference: other
# versions break some lines differently, so the check refuses to judge with one.
#   bash tools/format.sh [--check] [FILE...]
set -uo pipefail
cd "$(dirname "$0")/.."

check=0
files=()
for a in "$@"; do
    case $a in
        --check) check=1 ;;
        -*) echo "usage: tools/format.sh [--check] [FILE...]" >&2; exit 2 ;;
        *) files+=("$a") ;;
    esac
done

formatter=
for candidate in clang-format-14 clang-format; do
    if command -v "$candidate" >/dev/null && "$candidate" --version | grep -q 'version 14\.'; then
        formatter=$candidate
        break
    fi
done
[ -n "$formatter" ] || { echo "clang-format 14 is not installed (apt-get install clang-format-14)" >&2; exit 2; }

[ ${#files[@]} -gt 0 ] || mapfile -t files < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' \
    'tools/*.cpp' 'tools/*.h' 'bench/*.cpp' 'bench/*.h')
[ ${#files[@]} -gt 0 ] || { echo "no sources found" >&2; exit 2; }

if [ $check -eq 0 ]; then
    exec "$formatter" -i --style=file "${files[@]}"
fi

# One run over all files; each file that differs is named in its warnings.
out=$("$formatter" --style=file --dry-run "${files[@]}" 2>&1) || { echo "$out" >&2; exit 2; }
mapfile -t differ < <(sed -n 's/^\(.*\):[0-9]*:[0-9]*: warning: code should be clang-formatted.*/\1/p' <<<"$out" | sort -u)
if [ ${#differ[@]} -gt 0 ]; then
    printf '%s\n' "${differ[@]}"
    echo "format: ${#differ[@]} of ${#files[@]} files differ from .clang-format (run tools/format.sh)" >&2
    exit 1
fi
echo "format: all ${#files[@]} files follow .clang-format"
