#!/usr/bin/env bash
# Remakes the screenshots in docs/ from the example study: the end-to-end test imports it,
# browses it offscreen at 1000 x 800 and saves every tab.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh deps
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target tst_endtoend -j"$(nproc)"
ctest --test-dir build -R '^tst_endtoend$' --output-on-failure
mkdir -p docs
cp build/screens/by-trait.png build/screens/by-position.png build/screens/traits.png build/screens/top-loci.png build/screens/by-snp.png docs/
echo "docs/by-trait.png, by-position.png, traits.png, top-loci.png and by-snp.png updated"

# The Locus tab's picture: a synthetic genotype study with one causal variant, imported with its
# genotypes and drawn as the tab draws it.
cmake --build build --target quillmap-index quillmap-query -j"$(nproc)"
demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT
python3 examples/make_locus_example.py "$demo"
build/quillmap-index --format plink2 --build hg19 --no-register --ld "$demo/locus" \
    --genes "$demo/locus_genes.txt" --out "$demo/dataset" "$demo/locus.LDL.glm.linear"
build/quillmap-query "$demo/dataset" plot locus rs19000877 --out docs/locus.png --width 1000 --height 520
echo "docs/locus.png updated"
