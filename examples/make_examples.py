#!/usr/bin/env python3
"""Writes a small synthetic expression-QTL study for trying Quillmap: the five tab-delimited input
files of an import. Nothing in them is real data. The same seed gives the same files.

    python3 examples/make_examples.py [output folder, default: this script's folder]

Files:
  results.txt         trait, SNP, LOD (first statistic), pvalue, effect
  snp_info.txt        SNP, chr (1-22, X), pos in Mb, alleles, maf
  trait_info.txt      trait, symbol, chr, start (bp), description
  trait_groups.txt    trait, then one or two group names
  gene_positions.txt  gene, chr (chrN), start, end in base pairs
"""
import math
import os
import random
import sys

SEED = 20081007
TRAITS = 300
BACKGROUND_SNPS = 3400
RESULTS_PER_TRAIT = 40
EXTRA_GENES = 700

# Chromosome lengths in Mb (roughly those of the human genome), 23 = X.
LENGTHS = {1: 247, 2: 243, 3: 199, 4: 191, 5: 181, 6: 171, 7: 159, 8: 146, 9: 140, 10: 135, 11: 134,
           12: 132, 13: 114, 14: 106, 15: 100, 16: 89, 17: 79, 18: 76, 19: 64, 20: 62, 21: 47, 22: 50,
           23: 155}

# Regulatory hotspots: (chromosome, centre in Mb, number of SNPs, traits regulated, group name).
HOTSPOTS = [
    (6, 32.41, 120, 24, "MHC class II response"),
    (2, 136.62, 100, 18, "Lactase regulation module"),
    (11, 61.35, 110, 20, "Fatty acid desaturation"),
    (19, 44.91, 90, 16, "Lipoprotein metabolism"),
    (23, 48.27, 80, 12, "X-linked immune module"),
]

GROUPS = ["Immune response", "Cell cycle", "Oxidative phosphorylation", "RNA processing",
          "Lipid metabolism", "Signal transduction", "Transcription regulation", "Protein transport",
          "Apoptosis", "Extracellular matrix"]

PREFIXES = ["ABC", "ZNF", "SLC", "KLHL", "TMEM", "CCDC", "RPL", "FAM", "LRRC", "WDR", "ANKR", "PRKC",
            "SEMA", "CDH", "NUDT", "RAB", "TBC1D", "MAP3K", "SNX", "ARHG"]


def chrom_name(c):
    return "X" if c == 23 else str(c)


def new_hotspot_symbol(rnd, used):
    while True:
        symbol = "%s%d" % (rnd.choice(PREFIXES), rnd.randrange(90, 200))
        if symbol not in used:
            used.add(symbol)
            return symbol


def main(out):
    rnd = random.Random(SEED)
    total = sum(LENGTHS.values())

    # SNPs: spread over the genome by chromosome length, plus dense runs at the hotspots.
    used_ids = set()

    def new_snp_name():
        while True:
            n = rnd.randrange(1000, 12000000)
            if n not in used_ids:
                used_ids.add(n)
                return "rs%d" % n

    snps = []  # (name, chr, pos Mb)
    for c, length in LENGTHS.items():
        for _ in range(round(BACKGROUND_SNPS * length / total)):
            snps.append((new_snp_name(), c, rnd.uniform(0.05, length - 0.05)))
    hotspot_snps = []
    for c, centre, count, _, _ in HOTSPOTS:
        names = []
        for _ in range(count):
            name = new_snp_name()
            snps.append((name, c, centre + rnd.uniform(-1.4, 1.4)))
            names.append(name)
        hotspot_snps.append(names)
    snps.sort(key=lambda s: (s[1], s[2]))
    position = {name: (c, pos) for name, c, pos in snps}
    by_chrom = {c: [s for s in snps if s[1] == c] for c in LENGTHS}

    # Genes: one per trait (the probe's own gene) and some more for the gene track.
    used_symbols = set()

    def new_symbol():
        while True:
            symbol = "%s%d" % (rnd.choice(PREFIXES), rnd.randrange(1, 90))
            if symbol not in used_symbols:
                used_symbols.add(symbol)
                return symbol

    genes = []  # (symbol, chr, start bp, end bp)
    for _ in range(TRAITS + EXTRA_GENES):
        c = rnd.choice([k for k in LENGTHS for _ in range(LENGTHS[k] // 10)])
        start = rnd.randrange(100000, LENGTHS[c] * 1000000 - 300000)
        genes.append((new_symbol(), c, start, start + rnd.randrange(4000, 220000)))

    traits = []  # (probe, symbol, chr, start)
    for i in range(TRAITS):
        symbol, c, start, _ = genes[i]
        traits.append(("ILMN_%07d" % (1651000 + 97 * i), symbol, c, start))

    # Trait groups: one or two pathways per trait; hotspot traits also get the hotspot's module.
    order = list(range(TRAITS))
    rnd.shuffle(order)
    hotspot_traits = []
    k = 0
    for _, _, _, n, _ in HOTSPOTS:
        hotspot_traits.append(order[k:k + n])
        k += n
    groups = {i: rnd.sample(GROUPS, rnd.choice([1, 1, 2])) for i in range(TRAITS)}
    for h, members in enumerate(hotspot_traits):
        for i in members:
            groups[i].append(HOTSPOTS[h][4])

    # Results: each trait against some background SNPs (no association), a modest peak near its
    # own gene for a third of the traits, and a strong peak at its hotspot.
    results = {}

    def record(i, snp, lod, effect_scale):
        lod = max(lod, 0.001)
        p = 10.0 ** -lod
        effect = math.copysign(effect_scale * (0.5 + rnd.random()), rnd.random() - 0.5)
        results[(i, snp)] = (lod, p, effect)

    all_names = [s[0] for s in snps]
    for i in range(TRAITS):
        for snp in rnd.sample(all_names, RESULTS_PER_TRAIT):
            record(i, snp, -math.log10(1.0 - rnd.random()), 0.05)
        if i % 3 == 0:
            _, _, c, start = traits[i]
            near = sorted(by_chrom[c], key=lambda s: abs(s[2] - start / 1e6))[:10]
            height = rnd.uniform(3.0, 7.0)
            for name, _, pos in near:
                d = abs(pos - start / 1e6)
                record(i, name, height * math.exp(-(d / 2.5) ** 2) + rnd.uniform(0, 0.8), 0.2)
    for h, (c, centre, _, _, _) in enumerate(HOTSPOTS):
        for i in hotspot_traits[h]:
            height = rnd.uniform(5.0, 22.0)
            width = rnd.uniform(0.25, 0.6)
            for name in hotspot_snps[h]:
                d = position[name][1] - centre
                record(i, name, height * math.exp(-(d / width) ** 2) + rnd.expovariate(2.0), 0.35)

    def write(name, header, lines):
        with open(os.path.join(out, name), "w", newline="\n") as f:
            f.write("\t".join(header) + "\n")
            for line in lines:
                f.write("\t".join(line) + "\n")

    keys = list(results)
    rnd.shuffle(keys)  # results files rarely come sorted
    write("results.txt", ["Trait", "SNP", "LOD", "pvalue", "effect"],
          ([traits[i][0], snp, "%.3f" % results[(i, snp)][0], "%.3g" % results[(i, snp)][1],
            "%.4f" % results[(i, snp)][2]] for i, snp in keys))
    write("snp_info.txt", ["SNP", "chr", "pos", "alleles", "maf"],
          ([name, chrom_name(c), "%.6f" % pos, rnd.choice(["A/G", "C/T", "A/C", "G/T", "A/T", "C/G"]),
            "%.3f" % rnd.uniform(0.02, 0.5)] for name, c, pos in snps))
    write("trait_info.txt", ["Trait", "Symbol", "Chr", "Start", "Description"],
          ([probe, symbol, chrom_name(c), str(start), "%s expression probe, synthetic" % symbol]
           for probe, symbol, c, start in traits))
    write("trait_groups.txt", ["Trait", "Group"],
          ([traits[i][0]] + groups[i] for i in range(TRAITS)))
    # Genes around the hotspots, so the gene track of a peak region has something to show. A
    # separate generator keeps the other files as they were.
    hot = random.Random(SEED + 1)
    for c, centre, _, _, _ in HOTSPOTS:
        for _ in range(10):
            start = int((centre + hot.uniform(-1.3, 1.2)) * 1e6)
            genes.append((new_hotspot_symbol(hot, used_symbols), c, start, start + hot.randrange(8000, 160000)))
    write("gene_positions.txt", ["Gene", "Chr", "Start", "End"],
          ([symbol, "chr" + chrom_name(c), str(start), str(end)] for symbol, c, start, end in genes))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__)))
