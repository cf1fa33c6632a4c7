#!/bin/bash
# Makes a real-shaped many-trait PLINK 2 study: simulated genotypes with linkage disequilibrium
# (PLINK 1 .bed/.bim/.fam), quantitative phenotypes with causal variants (rs1267250 moves several
# lipid traits, Bilirubin_extreme has a huge effect), and one .glm.linear per trait exactly as
# PLINK 2 writes it, plus a gene-position and a trait-group file for quillmap-index.
# Usage: make_plink2_study.sh OUT [--samples N] [--variants N] [--traits N] [--seed S]
# Writes OUT/geno.{bed,bim,fam}, OUT/geno.pheno, OUT/glm/study.TRAIT.glm.linear,
# OUT/genes.txt, OUT/groups.txt and OUT/causal.txt (the simulated effects).
set -euo pipefail
out=${1:?usage: make_plink2_study.sh OUT [--samples N] [--variants N] [--traits N] [--seed S]}
shift
samples=2000 variants=100000 traits=100 seed=20261208
while [ $# -gt 0 ]; do
  case $1 in
    --samples) samples=$2 ;;
    --variants) variants=$2 ;;
    --traits) traits=$2 ;;
    --seed) seed=$2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift 2
done
plink2=${PLINK2:-plink2}
command -v "$plink2" >/dev/null || { echo "plink2 not found (set PLINK2)" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out/glm"
sim="$out/simstudy"
g++ -O2 -std=c++17 -o "$sim" "$here/simstudy.cpp"
"$sim" "$out/geno" "$samples" "$variants" "$traits" "$seed"
mv "$out/geno.groups.txt" "$out/groups.txt"
mv "$out/geno.genes.txt" "$out/genes.txt"
mv "$out/geno.causal.txt" "$out/causal.txt"
rm -f "$out"/glm/study.*.glm.linear
"$plink2" --bfile "$out/geno" --pheno "$out/geno.pheno" --glm allow-no-covars \
  --threads "${THREADS:-2}" --out "$out/glm/study" >"$out/plink2.log" 2>&1 ||
  { tail -20 "$out/plink2.log" >&2; exit 1; }
n=$(ls "$out"/glm/study.*.glm.linear | wc -l)
echo "$out: $n traits x $variants variants, $samples samples"
