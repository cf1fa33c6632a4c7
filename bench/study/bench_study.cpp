// One variant across every trait, and the study-wide tabs, on a many-trait study: the By SNP
// table of a SNP and of a gene (VariantQuery::resolve + traitRows), and, unless --no-tabs, the
// Traits and Top loci tabs' defaults (StudySummaries::listTraits / listLoci). Prints the median of
// RUNS per measure. A missing SNP or gene name picks the dataset's middle SNP / first gene.
//   quillmap-bench-study FOLDER RUNS [SNP] [GENE] [--no-tabs]

#include "browse/significance.h"
#include "browse/studysummaries.h"
#include "browse/variantquery.h"
#include "dataset/dataset.h"
#include "dataset/datasettables.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace quillmap;

namespace {

double medianMs(int runs, const std::function<bool()> &work)
{
    std::vector<double> times;
    QElapsedTimer timer;
    for (int r = 0; r < runs; ++r) {
        timer.start();
        if (!work())
            return -1;
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

bool table(const Dataset &dataset, const QString &typed, qint64 window, size_t *rows)
{
    const VariantQuery::Target target = VariantQuery::resolve(dataset, typed, window);
    if (target.kind == VariantQuery::Kind::None) {
        std::fprintf(stderr, "%s\n", qPrintable(target.message));
        return false;
    }
    const auto read = VariantQuery::traitRows(dataset, target);
    if (!read) {
        std::fprintf(stderr, "%s\n", qPrintable(read.message()));
        return false;
    }
    *rows = read->rows.size();
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool tabs = !args.removeAll(QStringLiteral("--no-tabs"));
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: quillmap-bench-study FOLDER RUNS [SNP] [GENE] [--no-tabs]\n");
        return 2;
    }
    const int runs = std::max(1, args[1].toInt());
    const auto loaded = Dataset::load(args[0]);
    if (!loaded) {
        std::fprintf(stderr, "%s\n", qPrintable(loaded.message()));
        return 1;
    }
    const Dataset &dataset = **loaded;
    const DatasetTables &tables = dataset.tables();
    const QString snp = args.value(2).isEmpty() ? tables.snpNames.value(int(tables.snpNames.size() / 2))
                                                : args[2];
    QString gene = args.value(3);
    if (gene.isEmpty())
        gene = VariantQuery::geneNames(dataset.folder()).value(0);

    size_t rows = 0;
    // The first query reads the SNP index's pages; the medians are of the runs after it.
    table(dataset, snp, 0, &rows);
    const double snpMs = medianMs(runs, [&] { return table(dataset, snp, 0, &rows); });
    std::printf("by SNP table %s (%zu traits)\t%.2f ms\n", qPrintable(snp), rows, snpMs);
    if (gene.isEmpty()) {
        std::printf("gene search\tno gene file\n");
    } else {
        const double geneMs = medianMs(runs, [&] { return table(dataset, gene, 0, &rows); });
        std::printf("gene search %s (%zu traits)\t%.2f ms\n", qPrintable(gene), rows, geneMs);
    }
    if (!tabs)
        return 0;
    const PValueColumn column = findPValueColumn(tables.statisticNames);
    const int traits = int(tables.traitNames.size());
    StudySummaries::listTraits(dataset, column, 0, traits); // builds the cache when missing
    const double traitsMs = medianMs(
        runs, [&] { return bool(StudySummaries::listTraits(dataset, column, 0, traits).outcome); });
    std::printf("Traits tab (listTraits, %d traits)\t%.2f ms\n", traits, traitsMs);
    const double lociMs = medianMs(runs, [&] {
        return bool(StudySummaries::listLoci(dataset, column, StudySummaries::DefaultThreshold,
                                             StudySummaries::DefaultWindowBp)
                        .outcome);
    });
    std::printf("Top loci tab (listLoci defaults)\t%.2f ms\n", lociMs);
    return 0;
}
