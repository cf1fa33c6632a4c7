# Shared by the import benchmarks; sourced after $src (the tree) and $build (a Release build
# folder) are set.

jobs=$(nproc 2>/dev/null || echo 2)

# Configures $build as a Release build and builds TARGETs (the indexer and the generator always).
build_targets() { # build_targets [TARGET...]
    cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" --target quillmap-index quillmap-bench-gen "$@" -j"$jobs" >/dev/null
}

# Inputs of ROWS result lines (2,000 traits, 500,000 SNPs, E = 2, M = 1) in DIR, generated once.
# The marker names the generator's settings, so inputs made with other settings are remade.
generate() { # generate DIR ROWS (the generator's report on stdout)
    local dir=$1 rows=$2
    if [ -f "$dir/.complete-t2000-s500000-e2-m1-$rows" ]; then return; fi
    mkdir -p "$dir"
    rm -f "$dir"/.complete-*
    "$build/quillmap-bench-gen" --out "$dir" --rows "$rows" --traits 2000 --snps 500000 \
        --extra 2 --snp-extra 1 --genes 20000 --big-rows $((rows / 10)) --small-rows 5000 \
        --with-positions
    touch "$dir/.complete-t2000-s500000-e2-m1-$rows"
}

# One import of the inputs in DIR into OUT (made afresh): "wall-s cpu-s peak-MB".
timed_index() { # timed_index BINARY DIR OUT [OPTION...]
    local bin=$1 dir=$2 out=$3
    shift 3
    rm -rf "$out"
    /usr/bin/time -f '%e %U %S %M' -o "$out.time" "$bin" --results "$dir/results.txt" \
        --snps "$dir/snpinfo.txt" --traits "$dir/traitinfo.txt" --out "$out" --no-register "$@" \
        > /dev/null 2>&1
    awk '{ printf "%.2f %.2f %d\n", $1, $2 + $3, $4 / 1024 }' "$out.time"
}
