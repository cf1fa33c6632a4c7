// Whole-trait work on one trait of millions of rows, without a window: reading the trait, every
// column's sort in both directions, the table's text, and the study summaries (computed, then
// read back). Prints one line per measure with the median of RUNS and the peak resident memory.
//   quillmap-bench-bigtrait FOLDER TRAIT RUNS

#include "browse/studysummaries.h"
#include "browse/tablesort.h"
#include "browse/tabletext.h"
#include "dataset/dataset.h"
#include "dataset/datasettables.h"
#include "dataset/regionsearch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace quillmap;

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

long peakMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s FOLDER TRAIT RUNS\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString trait = QString::fromLocal8Bit(argv[2]);
    const int runs = std::max(1, atoi(argv[3]));
    QElapsedTimer timer;
    timer.start();
    const auto loaded = Dataset::load(folder);
    if (!loaded) {
        std::fprintf(stderr, "%s\n", qPrintable(loaded.message()));
        return 1;
    }
    const Dataset &dataset = **loaded;
    const DatasetTables &tables = dataset.tables();
    std::printf("open\t%.3f s\n", timer.nsecsElapsed() / 1e9);

    std::vector<double> reads;
    Result<ResultRows> rows;
    for (int r = 0; r < runs; ++r) {
        timer.restart();
        rows = readTrait(dataset, trait);
        reads.push_back(timer.nsecsElapsed() / 1e9);
        if (!rows) {
            std::fprintf(stderr, "%s\n", qPrintable(rows.message()));
            return 1;
        }
    }
    const int n = rows->count();
    std::printf("read %d rows\t%.3f s\n", n, median(reads));
    std::vector<float *> stats(static_cast<size_t>(n), nullptr);
    for (int k = 0; rows->extraCount > 0 && k < n; ++k)
        stats[size_t(k)] = rows->extraOf(k);
    std::vector<int> order(static_cast<size_t>(n));
    for (int c = 0; c < tables.tableColumnCount; ++c) {
        for (const bool ascending : {true, false}) {
            std::vector<double> times;
            for (int r = 0; r < runs; ++r) {
                timer.restart();
                sortTableRows(tables, rows->rows.data(), stats.data(), n, c, ascending, order.data());
                times.push_back(timer.nsecsElapsed() / 1e9);
            }
            std::printf("sort %s %s\t%.3f s\n", qPrintable(tables.columnHeaders.value(c)),
                        ascending ? "ascending" : "descending", median(times));
        }
    }
    std::vector<double> texts;
    qint64 bytes = 0;
    for (int r = 0; r < runs; ++r) {
        timer.restart();
        const TableText text(tables);
        QByteArray block;
        bytes = 0;
        for (int begin = 0; begin < n; begin += 16384) {
            block.clear();
            text.appendRows(*rows, begin, begin + 16384, block);
            bytes += block.size();
        }
        texts.push_back(timer.nsecsElapsed() / 1e9);
    }
    std::printf("table text %lld bytes\t%.3f s\n", static_cast<long long>(bytes), median(texts));

    QFile::remove(folder + QStringLiteral("/") + QLatin1StringView(StudySummaries::FileName));
    timer.restart();
    if (!StudySummaries::open(dataset).ok())
        return 1;
    std::printf("summaries computed\t%.3f s\n", timer.nsecsElapsed() / 1e9);
    std::vector<double> cached;
    for (int r = 0; r < runs; ++r) {
        timer.restart();
        if (!StudySummaries::open(dataset).ok())
            return 1;
        cached.push_back(timer.nsecsElapsed() / 1e9);
    }
    std::printf("summaries read\t%.3f s\n", median(cached));
    std::printf("peak\t%ld MB\n", peakMb());
    return 0;
}
