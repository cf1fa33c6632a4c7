// Times the By Trait tab on a dataset folder made by the import benchmark (bench/import/run.sh
// --make-dataset): opening the dataset (the panel's construction, which loads the dataset
// tables), the display of a small and of a big trait (records, transform, thresholds, table,
// information pane and the whole plot, drawn into a frame of 1000 x 800), one sort of the big
// trait's table by its first statistic, one by SNP name and one by the first extra SNP column
// (both read every row's SNP line), and the progressive repaint after a resize. Prints one line
// per run and the medians.
//
//   quillmap-bench-display FOLDER RUNS [SMALL_TRAIT BIG_TRAIT]
//       (default traits ILMN_0000001 and ILMN_0000000)
#include "bytrait/byid.h"
#include "common/datasetopening.h"
#include "dataset/dataset.h"
#include "session/sharedstate.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QPixmap>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace quillmap;

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

long peakRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Processor seconds of the process so far (user + system): on a shared machine the wall time
// grows with the load, this much less.
double cpuSeconds()
{
    return double(std::clock()) / CLOCKS_PER_SEC;
}

// Shows `trait` and returns the seconds display_result took (it runs synchronously, plot
// included).
double display(byID &panel, const QString &trait)
{
    const int index = panel.ProbeID->findText(trait, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (index < 0) {
        std::fprintf(stderr, "trait %s is not in the dataset\n", qPrintable(trait));
        std::exit(1);
    }
    QElapsedTimer timer;
    timer.start();
    panel.ProbeID->setCurrentIndex(index);
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: %s FOLDER RUNS [SMALL_TRAIT BIG_TRAIT]\n", argv[0]);
        return 2;
    }
    const QString folder = args.at(1);
    const int runs = std::max(1, args.at(2).toInt());
    const QString smallTrait = args.value(3, QStringLiteral("ILMN_0000001"));
    const QString bigTrait = args.value(4, QStringLiteral("ILMN_0000000"));
    quillmap::currentDatasetFolder() = folder;

    std::vector<double> open, small, big, bigCpu, sort, sortName, sortField, repaint;
    long displayPeakKb = 0; // after the first runs' displays, before any sort
    int smallRows = 0, bigRows = 0;
    QSize frameSize;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer timer;
        timer.start();
        const std::shared_ptr<const quillmap::Dataset> dataset = quillmap::openDatasetForBrowsing(folder);
        byID panel(dataset);
        open.push_back(timer.nsecsElapsed() / 1e9);
        if (!panel.isReady()) {
            std::fprintf(stderr, "the dataset in %s does not open\n", qPrintable(folder));
            return 1;
        }
        panel.frame->setFixedSize(1000, 800);
        panel.resize(1600, 1000);
        panel.show();
        QApplication::processEvents();
        frameSize = panel.frame->size();

        small.push_back(display(panel, smallTrait));
        smallRows = panel.traitRowCount();
        QApplication::processEvents();
        const double cpuBefore = cpuSeconds();
        big.push_back(display(panel, bigTrait));
        bigCpu.push_back(cpuSeconds() - cpuBefore);
        bigRows = panel.traitRowCount();
        QApplication::processEvents();
        if (r == 0)
            displayPeakKb = peakRssKb();

        // The first statistic's column: SNP, chromosome, position and the M extra SNP columns
        // come first.
        const int statColumn = dataset->tables().extraSnpColumns + 4;
        timer.restart();
        panel.ctableView->horizontalHeader()->setSortIndicator(statColumn, Qt::DescendingOrder);
        QMetaObject::invokeMethod(&panel, "sortByColumn", Q_ARG(int, statColumn));
        sort.push_back(timer.nsecsElapsed() / 1e9);
        QApplication::processEvents();

        // A resize restarts the plot in slices of 1000 rows, one per timer tick, until done.
        timer.restart();
        panel.resize(1610, 1000);
        QApplication::processEvents();
        while (panel.repaintPending())
            QApplication::processEvents();
        repaint.push_back(timer.nsecsElapsed() / 1e9);

        std::printf(
            "run %d: open %.3f s, display %d rows %.3f s, display %d rows %.3f s (cpu %.3f s), sort %.3f s, "
            "repaint %.3f s\n",
            r + 1, open.back(), smallRows, small.back(), bigRows, big.back(), bigCpu.back(), sort.back(),
            repaint.back());
    }
    // Sorts that read every row's SNP line, in panels of their own after every run above, so
    // that the heap they leave behind does not change the figures above.
    for (int r = 0; r < runs; ++r) {
        byID panel(quillmap::openDatasetForBrowsing(folder));
        panel.frame->setFixedSize(1000, 800);
        panel.resize(1600, 1000);
        panel.show();
        QApplication::processEvents();
        display(panel, bigTrait);
        QApplication::processEvents();
        for (auto [column, times] : {std::pair{1, &sortName}, std::pair{4, &sortField}}) {
            QElapsedTimer timer;
            timer.start();
            panel.ctableView->horizontalHeader()->setSortIndicator(column, Qt::AscendingOrder);
            QMetaObject::invokeMethod(&panel, "sortByColumn", Q_ARG(int, column));
            times->push_back(timer.nsecsElapsed() / 1e9);
            QApplication::processEvents();
        }
    }
    // QUILLMAP_BENCH_SAVE=PREFIX writes the big trait's plot under a few transforms and
    // highlight modes as PREFIX-<transform>-<mode>.png, to compare two builds pixel by pixel.
    // QUILLMAP_BENCH_SAVE_FRAME=WxH draws those plots in a frame of that size instead.
    const QString savePrefix = qEnvironmentVariable("QUILLMAP_BENCH_SAVE");
    if (!savePrefix.isEmpty()) {
        const QStringList frame = qEnvironmentVariable("QUILLMAP_BENCH_SAVE_FRAME",
                                                       QStringLiteral("1000x800"))
                                      .split(QLatin1Char('x'));
        byID panel(quillmap::openDatasetForBrowsing(folder));
        panel.frame->setFixedSize(frame.value(0).toInt(), frame.value(1).toInt());
        panel.resize(1600, 1000);
        panel.show();
        QApplication::processEvents();
        display(panel, bigTrait);
        for (int transform : {0, 2}) {
            panel.transcomboBox->setCurrentIndex(transform);
            for (int mode : {0, 1, 3}) {
                panel.highlightComboBox->setCurrentIndex(mode);
                QApplication::processEvents();
                const QString path = savePrefix + QStringLiteral("-%1-%2.png").arg(transform).arg(mode);
                if (!panel.frame->pixmap().toImage().save(path))
                    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            }
        }
        // The progressive repaint's result too.
        panel.resize(1610, 1000);
        QApplication::processEvents();
        while (panel.repaintPending())
            QApplication::processEvents();
        panel.frame->pixmap().toImage().save(savePrefix + QStringLiteral("-repaint.png"));
    }

    // One line per measure, for bench/bytrait/run.sh: "median NAME SECONDS DETAIL".
    std::printf("median open %.6f dataset tables loaded by the panel\n", median(open));
    std::printf("median display-small %.6f %d rows, plot %dx%d\n", median(small), smallRows,
                frameSize.width(), frameSize.height());
    std::printf("median display-big %.6f %d rows, plot %dx%d\n", median(big), bigRows, frameSize.width(),
                frameSize.height());
    std::printf("median display-big-cpu %.6f %d rows, processor time\n", median(bigCpu), bigRows);
    std::printf("median sort-big %.6f %d rows by the first statistic\n", median(sort), bigRows);
    std::printf("median sort-name-big %.6f %d rows by SNP name\n", median(sortName), bigRows);
    std::printf("median sort-field-big %.6f %d rows by the first extra SNP column\n", median(sortField),
                bigRows);
    std::printf("median repaint-big %.6f %d rows in slices of 1000\n", median(repaint), bigRows);
    std::printf("peak-rss-mb %ld (the displays alone %ld)\n", peakRssKb() / 1024, displayPeakKb / 1024);
    return 0;
}
