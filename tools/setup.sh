#!/usr/bin/env bash
# Installs what is missing (Debian 12, as root or with sudo), builds, and runs the program or the
# tests, or makes the Debian package (build/quillmap_VERSION_amd64.deb):
#   bash tools/setup.sh run | test | sanitize | build | package | deps | format
# (format: checks that every source follows .clang-format, with the clang-format 14 it judges by)
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++ make cmake pkg-config qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-qpa-plugins libgl-dev
          zlib1g-dev libzstd-dev fontconfig fonts-dejavu-core fonts-liberation2 gsfonts help2man)
# cpack's Debian generator: dpkg-shlibdeps computes Depends, file finds the binaries.
package_packages=(dpkg-dev file)
fuzz_packages=(clang libclang-rt-dev)
# quillmap-dask and its test (skipped without it): Debian's Dask.
test_packages=(python3-distributed)

install_missing() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    echo "installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

jobs=$(nproc 2>/dev/null || echo 2)

build() { # build DIR [cmake options...]
    local dir=$1; shift
    cmake -S . -B "$dir" "$@" >/dev/null
    cmake --build "$dir" -j"$jobs"
}

case "${1:-run}" in
deps) install_missing "${packages[@]}" ;;
build) install_missing "${packages[@]}"; build build -DCMAKE_BUILD_TYPE=Release ;;
run)
    install_missing "${packages[@]}"
    build build -DCMAKE_BUILD_TYPE=Release
    exec ./build/quillmap
    ;;
test)
    install_missing "${packages[@]}" "${test_packages[@]}"
    build build -DCMAKE_BUILD_TYPE=Release -DQUILLMAP_BUILD_TESTS=ON -DQUILLMAP_WERROR=ON
    ctest --test-dir build --output-on-failure -j"$jobs"
    ;;
sanitize)
    install_missing "${packages[@]}"
    build build-asan -DCMAKE_BUILD_TYPE=Debug -DQUILLMAP_SANITIZE=ON -DQUILLMAP_BUILD_BENCH=OFF \
        -DQUILLMAP_WERROR=ON
    # Leaks are reported; those inside Qt's plugins and fontconfig's caches are not ours.
    ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp:print_suppressions=0 \
        UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-asan --output-on-failure -j"$jobs"
    ;;
package)
    install_missing "${packages[@]}" "${package_packages[@]}"
    # A build folder already there is packaged as it is (CI has just built and tested it); a new
    # one builds the programs alone.
    fresh=()
    [ -f build/CMakeCache.txt ] || fresh=(-DQUILLMAP_BUILD_TESTS=OFF -DQUILLMAP_BUILD_BENCH=OFF)
    build build -DCMAKE_BUILD_TYPE=Release "${fresh[@]}"
    (cd build && cpack -G DEB)
    ;;
fuzz-deps) install_missing "${packages[@]}" "${fuzz_packages[@]}" ;;
format) install_missing clang-format-14; bash tools/format.sh --check ;;
*) echo "usage: $0 run|test|sanitize|build|package|deps|format" >&2; exit 2 ;;
esac
