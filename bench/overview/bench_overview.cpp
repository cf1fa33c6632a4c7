// Times the study-wide computations and prints "median NAME SECONDS [DETAIL]" lines:
//   quillmap-bench-overview DATASET RUNS
// qq-synthetic: QQ data and lambda_GC of 1,000,000 uniform p-values in memory; qq-trait: the
// same for the dataset's largest trait, read from table1.dat; lambda-all: every trait's
// summary; top-loci: clumping of every trait at 5e-8 / 500,000 bp; lookup: one nearest-point
// look-up among 1,000,000 plot points (per look-up, from 100,000), and index-build.

#include "browse/pointindex.h"
#include "browse/significance.h"
#include "browse/studyscan.h"
#include "dataset/datasetloader.h"
#include "dataset/datasettables.h"
#include "dataset/traitscan.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

using namespace quillmap;

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// Median seconds of `runs` runs of `work`.
double timed(int runs, const std::function<void()> &work)
{
    std::vector<double> seconds;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer timer;
        timer.start();
        work();
        seconds.push_back(double(timer.nsecsElapsed()) / 1e9);
    }
    return median(seconds);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: quillmap-bench-overview DATASET RUNS\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int runs = std::max(1, std::atoi(argv[2]));
    DatasetTables &tables = datasetTables();
    const Status loaded = DatasetLoader(folder).load(tables);
    if (!loaded.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(loaded.message()));
        return 1;
    }
    const PValueColumn column = findPValueColumn(tables.statisticNames);
    if (!column.valid()) {
        std::fprintf(stderr, "no p-value statistic\n");
        return 1;
    }
    QRandomGenerator random(13);

    std::vector<double> uniform(1000000);
    for (double &s : uniform)
        s = -std::log10(1.0 - random.generateDouble());
    double lambda = 0.0;
    const double qqSynthetic = timed(runs, [&] { lambda = qqPlotData(uniform).lambda; });
    std::printf("median qq-synthetic %.6f 1000000 lambda %.4f\n", qqSynthetic, lambda);

    int largest = 0;
    for (int t = 0; t < tables.traitNames.size(); ++t) {
        if (tables.traitRecordCount(t) > tables.traitRecordCount(largest))
            largest = t;
    }
    qint64 traitRows = 0;
    const double qqTrait = timed(runs, [&] {
        std::vector<double> scores;
        const Status scan = scanTraits(folder, tables, largest, largest + 1, [&](const TraitRows &trait) {
            scores = traitScores(trait, column);
            return false;
        });
        traitRows = qint64(scores.size());
        lambda = scan ? qqPlotData(std::move(scores)).lambda : NAN;
    });
    std::printf("median qq-trait %.6f %lld lambda %.4f\n", qqTrait, static_cast<long long>(traitRows), lambda);

    size_t traits = 0;
    const double lambdaAll = timed(runs, [&] {
        traits = summarizeTraits(folder, tables, column, 0, int(tables.traitNames.size())).traits.size();
    });
    std::printf("median lambda-all %.6f %zu traits\n", lambdaAll, traits);

    size_t loci = 0;
    const double clumping = timed(runs, [&] {
        loci = topLoci(folder, tables, column, 5e-8, 500000).loci.size();
    });
    std::printf("median top-loci %.6f %lld rows, %zu loci\n", clumping,
                static_cast<long long>(tables.traitRecordTotal()), loci);

    std::vector<float> x(1000000), y(1000000);
    for (size_t i = 0; i < x.size(); ++i) {
        x[i] = float(random.bounded(1000.0));
        y[i] = float(random.bounded(400.0));
    }
    PointIndex index;
    const double build = timed(runs, [&] { index.build(x.data(), y.data(), int(x.size()), 6.0); });
    std::printf("median index-build %.6f 1000000\n", build);
    constexpr int Lookups = 100000;
    std::vector<double> at(2 * Lookups);
    for (double &v : at)
        v = random.bounded(1000.0);
    long long found = 0;
    const double lookups = timed(runs, [&] {
        for (int q = 0; q < Lookups; ++q)
            found += index.nearest(at[size_t(2 * q)], at[size_t(2 * q + 1)] * 0.4) >= 0;
    });
    std::printf("median lookup %.9f per look-up (%lld found)\n", lookups / Lookups, found);
    return 0;
}
