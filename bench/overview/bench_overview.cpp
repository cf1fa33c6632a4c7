// Times the study-wide computations and prints "median NAME SECONDS [DETAIL]" lines:
//   quillmap-bench-overview DATASET RUNS
// qq-synthetic: QQ data and lambda_GC of 1,000,000 uniform p-values in memory; qq-trait: the
// same for the dataset's largest trait, read from table1.dat; lambda-all: every trait's
// summary; top-loci: clumping of every trait at 5e-8 / 500,000 bp; lookup: one nearest-point
// look-up among 1,000,000 plot points (per look-up, from 100,000), and index-build.

#include "browse/pointindex.h"
#include "browse/significance.h"
#include "browse/studyscan.h"
#include "dataset/dataset.h"
#include "dataset/datasettables.h"
#include "dataset/traitscan.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <time.h>
#include <vector>

using namespace quillmap;

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Median CPU seconds of the last timed() call: on a shared machine the wall time also holds the
// waits for a core.
double lastCpu = 0.0;

// Median wall seconds of `runs` runs of `work`.
double timed(int runs, const std::function<void()> &work)
{
    std::vector<double> seconds, cpu;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer timer;
        const double cpuStart = cpuSeconds();
        timer.start();
        work();
        seconds.push_back(double(timer.nsecsElapsed()) / 1e9);
        cpu.push_back(cpuSeconds() - cpuStart);
    }
    lastCpu = median(cpu);
    return median(seconds);
}

void printCpu(const char *name, double divisor = 1.0)
{
    std::printf("cpu %s %.9f\n", name, lastCpu / divisor);
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
    const Result<std::shared_ptr<const Dataset>> loaded = Dataset::load(folder);
    if (!loaded.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(loaded.message()));
        return 1;
    }
    const Dataset &dataset = **loaded;
    const DatasetTables &tables = dataset.tables();
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
    printCpu("qq-synthetic");

    int largest = 0;
    for (int t = 0; t < tables.traitNames.size(); ++t) {
        if (tables.traitRecordCount(t) > tables.traitRecordCount(largest))
            largest = t;
    }
    qint64 traitRows = 0;
    const double qqTrait = timed(runs, [&] {
        std::vector<double> scores;
        const Status scan = scanTraits(dataset, largest, largest + 1, [&](const TraitRows &trait) {
            scores = traitScores(trait, column);
            return false;
        });
        traitRows = qint64(scores.size());
        lambda = scan ? qqPlotData(std::move(scores)).lambda : NAN;
    });
    std::printf("median qq-trait %.6f %lld lambda %.4f\n", qqTrait, static_cast<long long>(traitRows),
                lambda);
    printCpu("qq-trait");

    size_t traits = 0;
    const double lambdaAll = timed(runs, [&] {
        traits = summarizeTraits(dataset, column, 0, int(tables.traitNames.size())).traits.size();
    });
    std::printf("median lambda-all %.6f %zu traits\n", lambdaAll, traits);
    printCpu("lambda-all");

    size_t loci = 0;
    const double clumping = timed(runs, [&] { loci = topLoci(dataset, column, 5e-8, 500000).loci.size(); });
    std::printf("median top-loci %.6f %lld rows, %zu loci\n", clumping,
                static_cast<long long>(tables.traitRecordTotal()), loci);
    printCpu("top-loci");

    std::vector<float> x(1000000), y(1000000);
    for (size_t i = 0; i < x.size(); ++i) {
        x[i] = float(random.bounded(1000.0));
        y[i] = float(random.bounded(400.0));
    }
    PointIndex index;
    const double build = timed(runs, [&] { index.build(x.data(), y.data(), int(x.size()), 6.0); });
    std::printf("median index-build %.6f 1000000\n", build);
    printCpu("index-build");
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
    printCpu("lookup", Lookups);
    return 0;
}
