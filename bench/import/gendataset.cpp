// Writes a seeded, realistic set of import inputs: results grouped by trait (every trait against
// every SNP), SNPs spread over chromosomes 1-22 and X in proportion to their lengths, trait
// information, trait groups and a gene position file in base pairs.
//
//   quillmap-bench-gen --out DIR [--rows N] [--traits T] [--extra E] [--genes G] [--seed S]

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
    int extra = 2;
    int genes = 20000;
    unsigned seed = 20261207;
};

[[noreturn]] void usage()
{
    std::fputs("usage: quillmap-bench-gen --out DIR [--rows N] [--traits T] [--extra E] "
               "[--genes G] [--seed S]\n",
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

} // namespace

int main(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc)
            usage();
        const char *v = argv[++i];
        if (a == "--out") o.out = v;
        else if (a == "--rows") o.rows = std::atoll(v);
        else if (a == "--traits") o.traits = std::atoll(v);
        else if (a == "--extra") o.extra = std::atoi(v);
        else if (a == "--genes") o.genes = std::atoi(v);
        else if (a == "--seed") o.seed = unsigned(std::strtoul(v, nullptr, 10));
        else usage();
    }
    if (o.out.empty() || o.rows < 1 || o.traits < 1 || o.extra < 0 || o.genes < 0)
        usage();
    o.traits = std::min(o.traits, o.rows);
    const long long snps = (o.rows + o.traits - 1) / o.traits;

    std::mt19937_64 rng(o.seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> normal(0.0, 1.0);

    double genomeMb = 0;
    for (double mb : ChromosomeMb)
        genomeMb += mb;

    // SNPs: chromosome chosen by length, position uniform within it; names unique.
    struct Snp { std::string name; int chr; double pos; };
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

    const std::string dir = o.out + "/";
    const std::string snpPath = dir + "snpinfo.txt";
    FILE *f = create(snpPath);
    std::fputs("SNP\tchr\tpos\tA1\tA2\tMAF\n", f);
    const char alleles[] = "ACGT";
    for (const Snp &s : snpList)
        std::fprintf(f, "%s\t%s\t%.6f\t%c\t%c\t%.3f\n", s.name.c_str(), chromosomeName(s.chr).c_str(), s.pos,
                     alleles[rng() % 4], alleles[rng() % 4], 0.01 + 0.49 * unit(rng));
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
        const long long start = (long long)(pick * 1e6);
        const long long end = start + 1000 + (long long)(unit(rng) * 100000);
        std::fprintf(f, "GENE%d\tchr%s\t%lld\t%lld\n", g, chromosomeName(c + 1).c_str(), start, end);
    }
    finish(f, genePath);

    const std::string resultsPath = dir + "results.txt";
    f = create(resultsPath);
    std::fputs("Probe\tSNP\tpvalue", f);
    for (int k = 0; k < o.extra; ++k)
        std::fputs(k == 0 ? "\tbeta" : k == 1 ? "\tse" : "\tstat", f);
    std::fputc('\n', f);
    long long written = 0;
    char line[512];
    for (long long t = 0; t < o.traits && written < o.rows; ++t) {
        for (long long s = 0; s < snps && written < o.rows; ++s, ++written) {
            // Mostly null p-values with a thin tail of strong associations.
            const double p = unit(rng) < 0.001 ? std::pow(10.0, -3.0 - 27.0 * unit(rng))
                                               : std::max(unit(rng), 1e-300);
            int n = std::snprintf(line, sizeof line, "ILMN_%07lld\t%s\t%.4g", t,
                                  snpList[size_t(s)].name.c_str(), p);
            for (int k = 0; k < o.extra && n < 400; ++k)
                n += std::snprintf(line + n, sizeof line - size_t(n), "\t%.4g",
                                   k == 1 ? 0.05 + 0.1 * unit(rng) : normal(rng) * 0.3);
            line[n++] = '\n';
            std::fwrite(line, 1, size_t(n), f);
        }
    }
    finish(f, resultsPath);
    std::printf("%lld rows, %lld traits, %lld SNPs, %d extra statistics, %d genes in %s\n", written,
                o.traits, snps, o.extra, o.genes, o.out.c_str());
    return 0;
}
