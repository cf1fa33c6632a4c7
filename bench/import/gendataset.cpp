// Writes a seeded, realistic set of import inputs: SNPs spread over chromosomes 1-22 and X in
// proportion to their lengths, trait information, trait groups, a gene position file in base
// pairs and the results, whose lines are by default scattered (the lines of one trait are spread
// over the whole file, as when a study writes its results SNP by SNP).
//
//   quillmap-bench-gen --out DIR [--rows N] [--traits T] [--snps S] [--extra E] [--snp-extra M]
//                      [--genes G] [--seed S] [--big-rows B] [--small-rows R] [--grouped]
//                      [--with-positions] [--genome-order]
//
//   --snps S        SNPs in the SNP information file (default: rows / traits, rounded up).
//   --extra E       statistic columns after the first (default 2).
//   --snp-extra M   SNP information columns after SNP, chromosome, position (default 3).
//   --big-rows B    trait 0 gets B result lines (a SNP appears more than once when B > S).
//   --small-rows R  trait 1 gets R result lines; the other traits share the rest evenly.
//   --grouped       results grouped by trait (every line of a trait together) instead.
//   --genome-order  the SNP information file in genome order and every trait's lines in its
//                   order, as association tools write them (otherwise SNPs in name order and a
//                   trait's lines in an order unrelated to either).
//   --with-positions  also writes results-pos.txt: chromosome, position in base pairs, then
//                   the results line, for position-sorted indexing by other tools.
//   --plink2        instead writes one PLINK 2 --glm file per trait (plink2/study.T<k>.glm.linear,
//                   every trait over all S SNPs, as PLINK writes them) and the same rows in the
//                   five-file layout (results.txt with -log10(P), P, BETA, SE, T_STAT, A1_FREQ;
//                   snpinfo.txt; traitinfo.txt), so both routes import identical rows.
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

// Lengths of chromosomes 1-22 and X in Mb (GRCh38, rounded).
const double ChromosomeMb[23] = {248.9, 242.2, 198.3, 190.2, 181.5, 170.8, 159.3, 145.1,
                                 138.4, 133.8, 135.1, 133.3, 114.4, 107.0, 102.0, 90.3,
                                 83.3,  80.4,  58.6,  64.4,  46.7,  50.8,  156.0};

struct Options {
    std::string out;
    long long rows = 10000000;
    long long traits = 500;
    long long snps = 0;
    int extra = 2;
    int snpExtra = 3;
    long long bigRows = -1;
    long long smallRows = -1;
    bool grouped = false;
    bool genomeOrder = false;
    bool withPositions = false;
    int genes = 20000;
    unsigned seed = 20261207;
};

[[noreturn]] void usage()
{
    std::fputs("usage: quillmap-bench-gen --out DIR [--rows N] [--traits T] [--snps S] [--extra E] "
               "[--snp-extra M] [--genes G] [--seed S] [--big-rows B] [--small-rows R] [--grouped] "
               "[--with-positions] [--genome-order] [--plink2]\n",
               stderr);
    std::exit(2);
}

FILE *create(const std::string &path)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::perror(path.c_str());
        std::exit(1);
    }
    static std::vector<char> buffers[5];
    static int next = 0;
    buffers[next].resize(1 << 22);
    std::setvbuf(f, buffers[next].data(), _IOFBF, buffers[next].size());
    next = (next + 1) % 5;
    return f;
}

void finish(FILE *f, const std::string &path)
{
    if (std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

std::string chromosomeName(int c)
{
    return c == 23 ? std::string("X") : std::to_string(c);
}

// The --plink2 inputs: T traits over the same S SNPs, in PLINK 2's layout and in the five files.
void writePlink2(const std::string &out, long long traits, long long snps, unsigned seed)
{
    // open() shares a few buffers among files; these stay open side by side, each with its own.
    std::vector<std::vector<char>> buffers;
    auto open = [&buffers](const std::string &path) {
        FILE *f = std::fopen(path.c_str(), "wb");
        if (!f) {
            std::perror(path.c_str());
            std::exit(1);
        }
        buffers.emplace_back(size_t(1) << 20);
        std::setvbuf(f, buffers.back().data(), _IOFBF, buffers.back().size());
        return f;
    };
    buffers.reserve(size_t(traits) + 4);
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    double total = 0;
    for (double mb : ChromosomeMb)
        total += mb;
    struct Snp {
        int chromosome;
        long long position;
        char ref, alt;
        double frequency;
    };
    std::vector<Snp> list(static_cast<size_t>(snps));
    const char bases[] = "ACGT";
    for (auto &snp : list) {
        double at = unit(rng) * total;
        int c = 0;
        while (c < 22 && at >= ChromosomeMb[c])
            at -= ChromosomeMb[c++];
        snp = {c + 1, 1 + static_cast<long long>(at * 1e6), bases[rng() % 4], bases[rng() % 4],
               0.01 + 0.48 * unit(rng)};
    }
    std::sort(list.begin(), list.end(), [](const Snp &a, const Snp &b) {
        return a.chromosome != b.chromosome ? a.chromosome < b.chromosome : a.position < b.position;
    });
    if (std::system(("mkdir -p '" + out + "/plink2'").c_str()) != 0)
        std::exit(1);
    const std::string resultsPath = out + "/results.txt";
    FILE *results = open(resultsPath);
    std::fputs("Trait\tSNP\t-log10(P)\tP\tBETA\tSE\tT_STAT\tA1_FREQ\n", results);
    const std::string snpPath = out + "/snpinfo.txt";
    FILE *snpInfo = open(snpPath);
    std::fputs("SNP\tchr\tpos\tREF\tALT\n", snpInfo);
    for (size_t k = 0; k < list.size(); ++k)
        std::fprintf(snpInfo, "rs%zu\t%s\t%lld.%06lld\t%c\t%c\n", k + 1,
                     chromosomeName(list[k].chromosome).c_str(), list[k].position / 1000000,
                     list[k].position % 1000000, list[k].ref, list[k].alt);
    finish(snpInfo, snpPath);
    const std::string traitPath = out + "/traitinfo.txt";
    FILE *traitInfo = open(traitPath);
    std::fputs("Trait\tnote\n", traitInfo);
    for (long long t = 0; t < traits; ++t) {
        char name[32];
        std::snprintf(name, sizeof name, "T%04lld", t);
        std::fprintf(traitInfo, "%s\tgenerated\n", name);
        const std::string path = out + "/plink2/study." + name + ".glm.linear";
        FILE *f = open(path);
        std::fputs("#CHROM\tPOS\tID\tREF\tALT\tPROVISIONAL_REF?\tA1\tOMITTED\tA1_FREQ\tTEST\tOBS_CT"
                   "\tBETA\tSE\tT_STAT\tP\tERRCODE\n",
                   f);
        for (size_t k = 0; k < list.size(); ++k) {
            const Snp &snp = list[k];
            // Mostly null p-values with a thin tail of strong ones, some below the float range.
            const double x = unit(rng) < 0.001 ? 5 + 60 * unit(rng) : -std::log10(1 - unit(rng));
            const double se = 0.01 + 0.1 * unit(rng);
            const double beta = (unit(rng) < 0.5 ? -1 : 1) * se * (0.2 + std::sqrt(2 * x));
            char p[48];
            const double whole = std::floor(x);
            std::snprintf(p, sizeof p, "%.4ge-%lld", std::pow(10.0, 1 - (x - whole)),
                          static_cast<long long>(whole) + 1);
            std::fprintf(f, "%s\t%lld\trs%zu\t%c\t%c\tY\t%c\t%c\t%.4g\tADD\t5000\t%.5g\t%.5g\t%.5g\t%s\t.\n",
                         chromosomeName(snp.chromosome).c_str(), snp.position, k + 1, snp.ref, snp.alt,
                         snp.alt, snp.ref, snp.frequency, beta, se, beta / se, p);
            std::fprintf(results, "%s\trs%zu\t%.9g\t%s\t%.5g\t%.5g\t%.5g\t%.4g\n", name, k + 1, x, p, beta,
                         se, beta / se, snp.frequency);
        }
        finish(f, path);
    }
    finish(traitInfo, traitPath);
    finish(results, resultsPath);
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    bool plink2 = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--grouped") {
            o.grouped = true;
            continue;
        }
        if (a == "--genome-order") {
            o.genomeOrder = true;
            continue;
        }
        if (a == "--with-positions") {
            o.withPositions = true;
            continue;
        }
        if (a == "--plink2") {
            plink2 = true;
            continue;
        }
        if (i + 1 >= argc)
            usage();
        const char *v = argv[++i];
        if (a == "--out")
            o.out = v;
        else if (a == "--rows")
            o.rows = std::atoll(v);
        else if (a == "--traits")
            o.traits = std::atoll(v);
        else if (a == "--snps")
            o.snps = std::atoll(v);
        else if (a == "--extra")
            o.extra = std::atoi(v);
        else if (a == "--snp-extra")
            o.snpExtra = std::atoi(v);
        else if (a == "--big-rows")
            o.bigRows = std::atoll(v);
        else if (a == "--small-rows")
            o.smallRows = std::atoll(v);
        else if (a == "--genes")
            o.genes = std::atoi(v);
        else if (a == "--seed")
            o.seed = unsigned(std::strtoul(v, nullptr, 10));
        else
            usage();
    }
    if (o.out.empty() || o.rows < 1 || o.traits < 1 || o.extra < 0 || o.genes < 0 || o.snps < 0
        || o.snpExtra < 0)
        usage();
    if (plink2) {
        writePlink2(o.out, o.traits, o.snps > 0 ? o.snps : (o.rows + o.traits - 1) / o.traits, o.seed);
        return 0;
    }
    o.traits = std::min(o.traits, o.rows);
    const long long snps = o.snps > 0 ? o.snps : (o.rows + o.traits - 1) / o.traits;

    // Lines per trait: the big and small traits as asked, the rest shared evenly.
    std::vector<long long> perTrait(size_t(o.traits), 0);
    {
        long long left = o.rows;
        long long fixedTraits = 0;
        if (o.bigRows >= 0) {
            perTrait[0] = std::min(o.bigRows, left);
            left -= perTrait[0];
            fixedTraits = 1;
        }
        if (o.smallRows >= 0 && o.traits > 1) {
            perTrait[1] = std::min(o.smallRows, left);
            left -= perTrait[1];
            fixedTraits = 2;
        }
        const long long rest = o.traits - fixedTraits;
        if (rest == 0)
            perTrait[size_t(o.traits - 1)] += left;
        for (long long t = fixedTraits; t < o.traits; ++t)
            perTrait[size_t(t)] = left / rest + ((t - fixedTraits) < left % rest ? 1 : 0);
    }

    std::mt19937_64 rng(o.seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> normal(0.0, 1.0);

    double genomeMb = 0;
    for (double mb : ChromosomeMb)
        genomeMb += mb;

    // SNPs: chromosome chosen by length, position uniform within it; names unique.
    struct Snp {
        std::string name;
        int chr;
        double pos;
    };
    std::vector<Snp> snpList(static_cast<size_t>(snps));
    for (long long s = 0; s < snps; ++s) {
        double pick = unit(rng) * genomeMb;
        int c = 0;
        while (c < 22 && pick >= ChromosomeMb[c]) {
            pick -= ChromosomeMb[c];
            ++c;
        }
        snpList[size_t(s)] = {"rs" + std::to_string(1000000 + s * 7 + (rng() % 7)), c + 1,
                              std::min(pick, ChromosomeMb[c] - 1e-6)};
    }

    if (o.genomeOrder)
        std::sort(snpList.begin(), snpList.end(),
                  [](const Snp &a, const Snp &b) { return a.chr != b.chr ? a.chr < b.chr : a.pos < b.pos; });

    const std::string dir = o.out + "/";
    const std::string snpPath = dir + "snpinfo.txt";
    FILE *f = create(snpPath);
    std::fputs("SNP\tchr\tpos", f);
    static const char *const SnpExtraNames[] = {"A1", "A2", "MAF"};
    for (int k = 0; k < o.snpExtra; ++k)
        if (k < 3)
            std::fprintf(f, "\t%s", SnpExtraNames[k]);
        else
            std::fprintf(f, "\tinfo%d", k);
    std::fputc('\n', f);
    const char alleles[] = "ACGT";
    for (const Snp &s : snpList) {
        std::fprintf(f, "%s\t%s\t%.6f", s.name.c_str(), chromosomeName(s.chr).c_str(), s.pos);
        for (int k = 0; k < o.snpExtra; ++k) {
            if (k < 2)
                std::fprintf(f, "\t%c", alleles[rng() % 4]);
            else
                std::fprintf(f, "\t%.3f", 0.01 + 0.49 * unit(rng));
        }
        std::fputc('\n', f);
    }
    finish(f, snpPath);

    const std::string traitPath = dir + "traitinfo.txt";
    f = create(traitPath);
    std::fputs("Probe\tSymbol\tChr\tDescription\n", f);
    for (long long t = 0; t < o.traits; ++t)
        std::fprintf(f, "ILMN_%07lld\tGENE%lld\t%s\tsynthetic expression probe %lld\n", t, t,
                     chromosomeName(int(1 + t % 23)).c_str(), t);
    finish(f, traitPath);

    const std::string groupPath = dir + "groups.txt";
    f = create(groupPath);
    std::fputs("Probe\tPathway\n", f);
    for (long long t = 0; t < o.traits; ++t) {
        std::fprintf(f, "ILMN_%07lld", t);
        const int n = 1 + int(rng() % 3);
        for (int k = 0; k < n; ++k)
            std::fprintf(f, "\tPATHWAY_%02d", int(rng() % 50));
        std::fputc('\n', f);
    }
    finish(f, groupPath);

    const std::string genePath = dir + "genes.txt";
    f = create(genePath);
    std::fputs("Gene\tChr\tStart\tEnd\n", f);
    for (int g = 0; g < o.genes; ++g) {
        double pick = unit(rng) * genomeMb;
        int c = 0;
        while (c < 22 && pick >= ChromosomeMb[c]) {
            pick -= ChromosomeMb[c];
            ++c;
        }
        const long long start = static_cast<long long>(pick * 1e6);
        const long long end = start + 1000 + static_cast<long long>(unit(rng) * 100000);
        std::fprintf(f, "GENE%d\tchr%s\t%lld\t%lld\n", g, chromosomeName(c + 1).c_str(), start, end);
    }
    finish(f, genePath);

    // The trait of every line: grouped, or shuffled so each trait's lines are spread out.
    std::vector<int32_t> lineTrait;
    lineTrait.reserve(size_t(o.rows));
    for (long long t = 0; t < o.traits; ++t)
        lineTrait.insert(lineTrait.end(), size_t(perTrait[size_t(t)]), int32_t(t));
    if (!o.grouped)
        std::shuffle(lineTrait.begin(), lineTrait.end(), rng);
    // The k-th line of trait t tests SNP (t * 7 + k * stride) mod S: distinct while k < S.
    long long stride = 7919;
    while (std::gcd(stride, snps) != 1)
        stride += 2;
    std::vector<long long> seen(size_t(o.traits), 0);

    const std::string resultsPath = dir + "results.txt";
    f = create(resultsPath);
    const std::string posPath = dir + "results-pos.txt";
    FILE *pf = o.withPositions ? create(posPath) : nullptr;
    std::string header = "Probe\tSNP\tpvalue";
    for (int k = 0; k < o.extra; ++k)
        header += k == 0 ? "\tbeta" : k == 1 ? "\tse" : "\tstat" + std::to_string(k);
    std::fprintf(f, "%s\n", header.c_str());
    if (pf)
        std::fprintf(pf, "#chr\tbp\t%s\n", header.c_str());
    char line[512];
    char prefix[64];
    for (int32_t t : lineTrait) {
        const long long k = seen[size_t(t)]++;
        const Snp &snp = snpList[size_t(o.genomeOrder ? k % snps : (t * 7LL + k * stride) % snps)];
        // Mostly null p-values with a thin tail of strong associations.
        const double p = unit(rng) < 0.001 ? std::pow(10.0, -3.0 - 27.0 * unit(rng))
                                           : std::max(unit(rng), 1e-300);
        int n = std::snprintf(line, sizeof line, "ILMN_%07d\t%s\t%.4g", t, snp.name.c_str(), p);
        for (int k2 = 0; k2 < o.extra && n < 400; ++k2)
            n += std::snprintf(line + n, sizeof line - size_t(n), "\t%.4g",
                               k2 == 1 ? 0.05 + 0.1 * unit(rng) : normal(rng) * 0.3);
        line[n++] = '\n';
        std::fwrite(line, 1, size_t(n), f);
        if (pf) {
            const int m = std::snprintf(prefix, sizeof prefix, "%s\t%lld\t", chromosomeName(snp.chr).c_str(),
                                        static_cast<long long>(std::llround(snp.pos * 1e6)) + 1);
            std::fwrite(prefix, 1, size_t(m), pf);
            std::fwrite(line, 1, size_t(n), pf);
        }
    }
    finish(f, resultsPath);
    if (pf)
        finish(pf, posPath);
    std::printf(
        "%lld rows, %lld traits, %lld SNPs, %d extra statistics, %d extra SNP columns, %d genes in %s\n",
        o.rows, o.traits, snps, o.extra, o.snpExtra, o.genes, o.out.c_str());
    return 0;
}
