#!/usr/bin/env bash
# Installs what is missing (Debian 12, as root or with sudo), builds, and runs the program or the
# tests:  bash tools/setup.sh run | test | sanitize | build | deps
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++ make cmake pkg-config qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-qpa-plugins libgl-dev
          zlib1g-dev fontconfig fonts-dejavu-core fonts-liberation2 gsfonts)
fuzz_packages=(clang libclang-rt-dev)

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
    install_missing "${packages[@]}"
    build build -DCMAKE_BUILD_TYPE=Release
    ctest --test-dir build --output-on-failure -j"$jobs"
    ;;
sanitize)
    install_missing "${packages[@]}"
    build build-asan -DCMAKE_BUILD_TYPE=Debug -DQUILLMAP_SANITIZE=ON -DQUILLMAP_BUILD_BENCH=OFF
    ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
        ctest --test-dir build-asan --output-on-failure -j"$jobs"
    ;;
fuzz-deps) install_missing "${packages[@]}" "${fuzz_packages[@]}" ;;
*) echo "usage: $0 run|test|sanitize|build|deps" >&2; exit 2 ;;
esac
