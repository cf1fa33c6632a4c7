// Simulates a real-shaped genotype study for the study benchmark: PLINK 1 .bed/.bim/.fam with
// linkage disequilibrium (each sample's haplotypes drawn per block from a few founder
// haplotypes), quantitative phenotypes with causal variants, trait groups and gene positions.
// Usage: simstudy OUTPREFIX SAMPLES VARIANTS TRAITS SEED
// Writes OUTPREFIX.bed/.bim/.fam, OUTPREFIX.pheno, OUTPREFIX.groups.txt, OUTPREFIX.genes.txt
// and OUTPREFIX.causal.txt (trait, snp, effect) for checking.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// hg19 chromosome lengths, 1-22 and X.
const long long Lengths[23] = {249250621, 243199373, 198022430, 191154276, 180915260, 171115067,
                               159138663, 146364022, 141213431, 135534747, 135006516, 133851895,
                               115169878, 107349540, 102531392, 90354753,  81195210,  78077248,
                               59128983,  63025520,  48129895,  51304566,  155270560};

struct Named {
    const char *name;
    const char *group;
};
const Named Traits[] = {
    {"LDL_C", "Lipids"},
    {"HDL_C", "Lipids"},
    {"TG", "Lipids"},
    {"Total_cholesterol", "Lipids"},
    {"ApoB", "Lipids"},
    {"ApoA1", "Lipids"},
    {"Lp_a", "Lipids"},
    {"Bilirubin_extreme", "Liver"},
    {"ALT", "Liver"},
    {"AST", "Liver"},
    {"GGT", "Liver"},
    {"Albumin", "Liver"},
    {"Glucose", "Glycemic"},
    {"HbA1c", "Glycemic"},
    {"Insulin", "Glycemic"},
    {"BMI", "Anthropometric"},
    {"Height", "Anthropometric"},
    {"Weight", "Anthropometric"},
    {"Waist", "Anthropometric"},
    {"SBP", "Blood_pressure"},
    {"DBP", "Blood_pressure"},
    {"Creatinine", "Kidney"},
    {"Urate", "Kidney"},
    {"eGFR", "Kidney"},
    {"Hemoglobin", "Blood_cells"},
    {"WBC", "Blood_cells"},
    {"Platelets", "Blood_cells"},
    {"CRP", "Inflammation"},
    {"IL6", "Inflammation"},
    {"Ferritin", "Iron"},
};

struct Causal {
    int trait;
    double r2; // variance explained, signed by direction
};

struct Special {
    int chromosome;
    long long bp;
    const char *name;
    char ref, alt;
    double altFrequency;
    std::vector<Causal> effects;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: simstudy OUTPREFIX SAMPLES VARIANTS TRAITS SEED\n");
        return 2;
    }
    const std::string out = argv[1];
    const int samples = std::atoi(argv[2]);
    const long long variants = std::atoll(argv[3]);
    const int traits = std::atoi(argv[4]);
    std::mt19937_64 rng(std::strtoull(argv[5], nullptr, 10));
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::normal_distribution<double> normal(0.0, 1.0);
    const int named = int(sizeof Traits / sizeof Traits[0]);
    std::vector<std::string> traitNames;
    for (int t = 0; t < traits; ++t) {
        char generic[32];
        std::snprintf(generic, sizeof generic, "Trait_%03d", t + 1);
        traitNames.push_back(t < named ? Traits[t].name : generic);
    }
    const auto traitOf = [&](const char *name) {
        for (int t = 0; t < traits; ++t)
            if (traitNames[size_t(t)] == name)
                return t;
        return -1;
    };

    // Known loci: rs1267250 moves several lipid traits; Bilirubin_extreme has a huge effect.
    std::vector<Special> specials = {
        {19,
         45417984,
         "rs1267250",
         'T',
         'C',
         0.18,
         {{traitOf("LDL_C"), 0.035},
          {traitOf("Total_cholesterol"), 0.025},
          {traitOf("ApoB"), 0.03},
          {traitOf("HDL_C"), -0.012},
          {traitOf("TG"), 0.010},
          {traitOf("CRP"), -0.008}}},
        {2, 234668879, "rs887829", 'C', 'T', 0.32, {{traitOf("Bilirubin_extreme"), 0.62}}},
        {1, 55505647, "rs11591147", 'G', 'T', 0.25, {{traitOf("LDL_C"), -0.02}, {traitOf("ApoB"), -0.015}}},
        {8, 19819724, "rs328", 'C', 'G', 0.2, {{traitOf("TG"), -0.02}, {traitOf("HDL_C"), 0.018}}},
        {10, 114758349, "rs7903146", 'C', 'T', 0.3, {{traitOf("Glucose"), 0.02}, {traitOf("HbA1c"), 0.012}}},
        {16, 53820527, "rs9939609", 'T', 'A', 0.4, {{traitOf("BMI"), 0.015}, {traitOf("Weight"), 0.012}}},
        {4, 9922167, "rs734553", 'T', 'G', 0.3, {{traitOf("Urate"), 0.04}}},
    };
    // Generic causal variants for the other traits: some traits null, some with a few hits.
    std::vector<std::pair<long long, Causal>> randomCausal; // variant index -> effect
    for (int t = 0; t < traits; ++t) {
        const int hits = t < named ? int(uniform(rng) * 4) : (uniform(rng) < 0.5 ? int(uniform(rng) * 3) : 0);
        for (int h = 0; h < hits; ++h) {
            const double r2 = 0.008 + uniform(rng) * 0.03;
            randomCausal.push_back(
                {(long long)(uniform(rng) * double(variants)), {t, uniform(rng) < 0.5 ? r2 : -r2}});
        }
    }
    std::sort(randomCausal.begin(), randomCausal.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });

    // Variants per chromosome by length; positions sorted and unique.
    double total = 0;
    for (long long l : Lengths)
        total += double(l);
    std::vector<long long> counts(23);
    long long assigned = 0;
    for (int c = 0; c < 23; ++c) {
        counts[size_t(c)] = (long long)(double(variants) * double(Lengths[c]) / total);
        assigned += counts[size_t(c)];
    }
    counts[0] += variants - assigned;

    std::FILE *bed = std::fopen((out + ".bed").c_str(), "wb");
    std::FILE *bim = std::fopen((out + ".bim").c_str(), "w");
    std::FILE *causalOut = std::fopen((out + ".causal.txt").c_str(), "w");
    if (!bed || !bim || !causalOut) {
        std::perror(out.c_str());
        return 1;
    }
    const unsigned char magic[3] = {0x6c, 0x1b, 0x01};
    std::fwrite(magic, 1, 3, bed);

    std::vector<int> male(static_cast<size_t>(samples));
    for (int s = 0; s < samples; ++s)
        male[size_t(s)] = uniform(rng) < 0.5;
    std::vector<std::vector<double>> phenotype(size_t(traits), std::vector<double>(size_t(samples), 0.0));
    const int bytesPerVariant = (samples + 3) / 4;
    std::vector<unsigned char> packed(static_cast<size_t>(bytesPerVariant));
    std::vector<int> dosage(static_cast<size_t>(samples));
    std::set<long long> usedIds;
    const char bases[4] = {'A', 'C', 'G', 'T'};

    // The current haplotype block: founder haplotypes and each sample's pair of them.
    int blockLeft = 0;
    std::vector<double> founderWeight;
    std::vector<int> hapA(static_cast<size_t>(samples)), hapB(static_cast<size_t>(samples));
    long long variantIndex = 0;
    size_t nextRandom = 0;
    const auto addEffect = [&](const Causal &c, const char *name) {
        if (c.trait < 0)
            return;
        double mean = 0, sq = 0;
        for (int d : dosage) {
            mean += d;
            sq += double(d) * d;
        }
        mean /= samples;
        const double sd = std::sqrt(std::max(1e-9, sq / samples - mean * mean));
        const double beta = (c.r2 < 0 ? -1 : 1) * std::sqrt(std::fabs(c.r2) / (1 - std::fabs(c.r2))) / sd;
        for (int s = 0; s < samples; ++s)
            phenotype[size_t(c.trait)][size_t(s)] += beta * (dosage[size_t(s)] - mean);
        std::fprintf(causalOut, "%s\t%s\t%.4f\n", traitNames[size_t(c.trait)].c_str(), name, c.r2);
    };

    for (int c = 0; c < 23; ++c) {
        const int chromosome = c + 1;
        std::set<long long> positions;
        while ((long long)positions.size() < counts[size_t(c)])
            positions.insert(10000 + (long long)(uniform(rng) * double(Lengths[c] - 20000)));
        for (const Special &sp : specials) {
            if (sp.chromosome != chromosome || positions.empty())
                continue;
            auto near = positions.lower_bound(sp.bp);
            if (near == positions.end())
                --near;
            positions.erase(near);
            positions.insert(sp.bp);
        }
        blockLeft = 0;
        for (const long long bp : positions) {
            if (blockLeft == 0) {
                blockLeft = 5 + int(uniform(rng) * 40);
                const int founders = 2 + int(uniform(rng) * 6);
                founderWeight.assign(size_t(founders), 0.0);
                double sum = 0;
                for (double &w : founderWeight)
                    sum += (w = -std::log(uniform(rng) + 1e-12));
                std::discrete_distribution<int> pick(founderWeight.begin(), founderWeight.end());
                for (int s = 0; s < samples; ++s) {
                    hapA[size_t(s)] = pick(rng);
                    hapB[size_t(s)] = male[size_t(s)] && chromosome == 23 ? hapA[size_t(s)] : pick(rng);
                }
            }
            --blockLeft;
            const Special *special = nullptr;
            for (const Special &sp : specials)
                if (sp.chromosome == chromosome && sp.bp == bp)
                    special = &sp;
            // Alleles of the founders: ALT on each founder with the variant's frequency, drawn
            // until both alleles occur; a few percent of sample alleles mutated.
            const double frequency = special ? special->altFrequency
                                             : 0.01 + 0.49 * std::pow(uniform(rng), 1.5);
            std::vector<int> founderAlt(founderWeight.size());
            double altWeight = 0;
            for (size_t f = 0; f < founderAlt.size(); ++f) {
                founderAlt[f] = uniform(rng) < frequency;
                altWeight += founderAlt[f] ? founderWeight[f] : 0;
            }
            const double mutation = special ? 0.0 : 0.02;
            for (int s = 0; s < samples; ++s) {
                int a = founderAlt[size_t(hapA[size_t(s)])];
                int b = founderAlt[size_t(hapB[size_t(s)])];
                if (special) {
                    a = uniform(rng) < frequency;
                    b = male[size_t(s)] && chromosome == 23 ? a : uniform(rng) < frequency;
                } else {
                    if (uniform(rng) < mutation)
                        a = !a;
                    if (!(male[size_t(s)] && chromosome == 23) && uniform(rng) < mutation)
                        b = !b;
                    else if (male[size_t(s)] && chromosome == 23)
                        b = a;
                }
                dosage[size_t(s)] = a + b;
            }
            (void)altWeight;
            std::fill(packed.begin(), packed.end(), 0);
            for (int s = 0; s < samples; ++s) {
                // .bed codes count allele 1 (the .bim's fifth column, here ALT): 00 = two copies,
                // 10 = one, 11 = none.
                const int d = dosage[size_t(s)];
                const unsigned code = d == 2 ? 0u : d == 1 ? 2u : 3u;
                packed[size_t(s / 4)] |= (unsigned char)(code << (2 * (s % 4)));
            }
            std::fwrite(packed.data(), 1, packed.size(), bed);

            char name[64];
            char ref, alt;
            if (special) {
                std::snprintf(name, sizeof name, "%s", special->name);
                ref = special->ref;
                alt = special->alt;
                for (const Causal &e : special->effects)
                    addEffect(e, name);
            } else {
                long long id;
                do {
                    id = 1000 + (long long)(uniform(rng) * 150000000.0);
                } while (!usedIds.insert(id).second || id == 1267250 || id == 887829);
                std::snprintf(name, sizeof name, "rs%lld", id);
                const int r = int(uniform(rng) * 4);
                ref = bases[r];
                alt = bases[(r + 1 + int(uniform(rng) * 3)) % 4];
                while (nextRandom < randomCausal.size() && randomCausal[nextRandom].first <= variantIndex)
                    addEffect(randomCausal[nextRandom++].second, name);
            }
            std::fprintf(bim, "%s\t%s\t%.6f\t%lld\t%c\t%c\n",
                         chromosome == 23 ? "X" : std::to_string(chromosome).c_str(), name, double(bp) / 1e6,
                         bp, alt, ref);
            ++variantIndex;
        }
    }
    std::fclose(bed);
    std::fclose(bim);
    std::fclose(causalOut);

    std::ofstream fam(out + ".fam");
    for (int s = 0; s < samples; ++s)
        fam << "F" << s + 1 << "\tS" << s + 1 << "\t0\t0\t" << (male[size_t(s)] ? 1 : 2) << "\t-9\n";
    std::ofstream pheno(out + ".pheno");
    pheno << "#FID\tIID";
    for (const std::string &t : traitNames)
        pheno << '\t' << t;
    pheno << '\n';
    char value[32];
    for (int s = 0; s < samples; ++s) {
        pheno << 'F' << s + 1 << "\tS" << s + 1;
        for (int t = 0; t < traits; ++t) {
            std::snprintf(value, sizeof value, "%.5f", phenotype[size_t(t)][size_t(s)] + normal(rng));
            pheno << '\t' << value;
        }
        pheno << '\n';
    }

    std::ofstream groups(out + ".groups.txt");
    groups << "trait\tgroup\n";
    for (int t = 0; t < traits; ++t) {
        if (t < named)
            groups << traitNames[size_t(t)] << '\t' << Traits[t].group << '\n';
        else if (t % 3 == 0)
            groups << traitNames[size_t(t)] << "\tOther\n";
    }

    std::ofstream genes(out + ".genes.txt");
    genes << "gene\tchromosome\tstart\tend\n";
    genes << "APOE\t19\t45409011\t45412650\nTOMM40\t19\t45394477\t45406946\nAPOC1\t19\t45417504\t45422606\n"
             "UGT1A1\t2\t234668879\t234681945\nPCSK9\t1\t55505221\t55530525\nLDLR\t19\t11200038\t11244492\n"
             "LPL\t8\t19796582\t19824770\nTCF7L2\t10\t114710009\t114927437\nFTO\t16\t53737875\t54155853\n"
             "SLC2A9\t4\t9771153\t10056560\n";
    for (int g = 1; g <= 2000; ++g) {
        const int c = int(uniform(rng) * 23);
        const long long start = 10000 + (long long)(uniform(rng) * double(Lengths[c] - 200000));
        genes << "GENE" << g << '\t' << (c == 22 ? std::string("X") : std::to_string(c + 1)) << '\t' << start
              << '\t' << start + 1000 + (long long)(uniform(rng) * 100000) << '\n';
    }
    return 0;
}
