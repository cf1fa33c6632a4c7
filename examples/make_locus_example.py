#!/usr/bin/env python3
"""Writes a small synthetic genotype study for trying the Locus tab: a PLINK 1 binary fileset
(haplotype blocks over 1 Mb of chromosome 19, recombination hotspots between them) and the PLINK 2 --glm results of one trait with
one causal variant. Nothing in them is real data. The same seed gives the same files.

    python3 examples/make_locus_example.py OUTPUT_FOLDER

Files: locus.bed, locus.bim, locus.fam, locus.LDL.glm.linear and locus_genes.txt. Import and
look:

    quillmap-index --format plink2 --build hg19 --ld OUTPUT_FOLDER/locus \\
        --genes OUTPUT_FOLDER/locus_genes.txt --out OUTPUT_FOLDER/dataset \\
        OUTPUT_FOLDER/locus.LDL.glm.linear
    quillmap-query OUTPUT_FOLDER/dataset plot locus rs19000877 --out locus.png
"""
import math
import os
import random
import sys

SEED = 20261208
SAMPLES = 1000
VARIANTS = 1600
START = 44_900_000  # bp
STEP = 625          # bp between variants
CAUSAL = 800        # variant index near which the causal variant lies
MISSING = 0.01


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(out, exist_ok=True)
    rnd = random.Random(SEED)
    # Blocks of 20-120 variants; in each a few haplotypes, so variants of a block are in LD.
    genotypes = []
    cms = []  # genetic map: slow inside a block, a hotspot between blocks
    cm = 60.0
    v = 0
    while v < VARIANTS:
        length = min(rnd.randint(20, 120), VARIANTS - v)
        cm += rnd.uniform(0.02, 0.12)
        for _ in range(length):
            cm += rnd.uniform(0, 0.0004)
            cms.append(cm)
        haplotypes = [[rnd.random() < 0.5 for _ in range(length)] for _ in range(4)]
        weights = [rnd.random() + 0.2 for _ in haplotypes]
        pairs = [rnd.choices(range(4), weights, k=2) for _ in range(SAMPLES)]
        for j in range(length):
            row = []
            for a, b in pairs:
                count = int(haplotypes[a][j]) + int(haplotypes[b][j])
                if rnd.random() < 0.02:  # a mutation on one copy
                    count = max(0, min(2, count + rnd.choice((-1, 1))))
                row.append(None if rnd.random() < MISSING else count)
            genotypes.append(row)
        v += length

    # The causal variant: the one near the middle whose allele frequency is nearest 0.3.
    def frequency(row):
        called = [g for g in row if g is not None]
        return sum(called) / (2 * len(called))
    causal_index = min(range(CAUSAL - 100, CAUSAL + 100), key=lambda j: abs(frequency(genotypes[j]) - 0.3))
    causal = genotypes[causal_index]
    print(f"causal variant: rs{19000000 + causal_index}")
    trait = [(0.5 * g if g is not None else 0.5) + rnd.gauss(0, 1) for g in causal]

    with open(os.path.join(out, "locus.fam"), "w") as fam:
        for s in range(SAMPLES):
            fam.write(f"F{s} I{s} 0 0 0 {trait[s]:.4f}\n")
    with open(os.path.join(out, "locus.bim"), "w") as bim, open(os.path.join(out, "locus.bed"), "wb") as bed:
        bed.write(bytes([0x6C, 0x1B, 0x01]))
        for j, row in enumerate(genotypes):
            bim.write(f"19\trs{19000000 + j}\t{cms[j]:.5f}\t{START + j * STEP}\tA\tG\n")
            data = bytearray((SAMPLES + 3) // 4)
            for s, g in enumerate(row):
                # Counts of G, the second allele: 00 none, 10 one, 11 two, 01 missing.
                code = 1 if g is None else (0, 2, 3)[g]
                data[s // 4] |= code << (2 * (s % 4))
            bed.write(bytes(data))

    with open(os.path.join(out, "locus_genes.txt"), "w") as genes:
        at = START - 40_000
        for g in range(14):
            length = rnd.randint(8_000, 90_000)
            genes.write(f"LOC{g + 1}\tchr19\t{at}\t{at + length}\n")
            at += rnd.randint(20_000, 110_000)

    with open(os.path.join(out, "locus.LDL.glm.linear"), "w") as glm:
        glm.write("#CHROM\tPOS\tID\tREF\tALT\tA1\tTEST\tOBS_CT\tBETA\tSE\tT_STAT\tP\n")
        for j, row in enumerate(genotypes):
            pairs = [(g, y) for g, y in zip(row, trait) if g is not None]
            n = len(pairs)
            mx = sum(g for g, _ in pairs) / n
            my = sum(y for _, y in pairs) / n
            sxx = sum((g - mx) ** 2 for g, _ in pairs)
            if sxx == 0:
                continue
            sxy = sum((g - mx) * (y - my) for g, y in pairs)
            beta = sxy / sxx
            residual = sum((y - my - beta * (g - mx)) ** 2 for g, y in pairs)
            se = math.sqrt(residual / (n - 2) / sxx)
            t = beta / se
            # Normal tail for the t statistic: n is large.
            p = math.erfc(abs(t) / math.sqrt(2))
            glm.write(f"19\t{START + j * STEP}\trs{19000000 + j}\tA\tG\tG\tADD\t{n}\t{beta:.6g}\t{se:.6g}"
                      f"\t{t:.6g}\t{max(p, 1e-300):.6g}\n")


if __name__ == "__main__":
    main()
