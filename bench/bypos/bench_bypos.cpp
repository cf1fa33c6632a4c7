// Times the position panel on a dataset folder: the region search of the densest megabase, one
// paint of the panel with that region, and paints that read the region's genes anew. Prints the
// median of several runs of each.
//
//   quillmap-bench-bypos --dataset DIR [--runs K] [--width W --height H]

#include "bypos/bypos.h"
#include "browse/genetrack.h"
#include "bypos/regionplotpainter.h"
#include "dataset/regionsearch.h"
#include "dataset/dataset.h"
#include "dataset/datasettables.h"
#include "session/sharedstate.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QSignalBlocker>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace quillmap;

using namespace quillmap::bypos;

namespace {

double medianMs(int runs, const std::function<void()> &before, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        if (before)
            before();
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    const size_t n = times.size();
    return n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
}

void report(const char *what, double ms, const char *target)
{
    std::printf("%-58s %9.2f ms   (target %s)\n", what, ms, target);
}

QString chromosomeOfBin(int bin)
{
    const int c = bin / 1000;
    return c == 23 ? QStringLiteral("X") : QString::number(c);
}

void showRegion(byPos &panel, int bin)
{
    const QSignalBlocker block(panel.chrName);
    panel.chrName->setCurrentText(chromosomeOfBin(bin));
    panel.regionCombobox->setCurrentIndex(bin % 1000);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QString folder;
    int runs = 11;
    int width = 1000, height = 700;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--dataset"))
            folder = args[i + 1];
        else if (args[i] == QLatin1String("--runs"))
            runs = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--width"))
            width = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--height"))
            height = args[i + 1].toInt();
    }
    if (folder.isEmpty() || runs < 1) {
        std::fputs("usage: quillmap-bench-bypos --dataset DIR [--runs K] [--width W --height H]\n", stderr);
        return 2;
    }

    quillmap::currentDatasetFolder() = folder;
    QElapsedTimer loadTimer;
    loadTimer.start();
    const Result<std::shared_ptr<const Dataset>> loaded = Dataset::load(folder);
    if (!loaded.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(loaded.message()));
        return 1;
    }
    const std::shared_ptr<const Dataset> &dataset = *loaded;
    const DatasetTables &tables = dataset->tables();
    const double loadMs = double(loadTimer.nsecsElapsed()) / 1e6;

    // The densest megabase, and the last bin of the gene file (the longest scan of it).
    int denseBin = 0, denseCount = 0;
    for (auto it = tables.binRecordCounts.cbegin(); it != tables.binRecordCounts.cend(); ++it) {
        if (it.value() > denseCount && it.key() % 1000 <= 300) {
            denseBin = it.key();
            denseCount = it.value();
        }
    }
    const int lastBin = tables.binRecordCounts.lastKey();
    const RegionGenes denseGenes = readRegionGenes(folder, denseBin);
    const RegionGenes lastGenes = readRegionGenes(folder, lastBin);

    std::printf("dataset %s: %lld records, %lld traits, %lld SNPs; loaded in %.0f ms\n", qPrintable(folder),
                static_cast<long long>(tables.binRecordTotal()),
                static_cast<long long>(tables.traitNames.size()),
                static_cast<long long>(tables.snpNames.size()), loadMs);
    std::printf("densest megabase: bin %d, %d records; its genes: %zu; last bin %d, %zu genes\n", denseBin,
                denseCount, denseGenes.genes.size(), lastBin, lastGenes.genes.size());
    std::printf("panel %d x %d, %d runs each, medians:\n", width, height, runs);

    // Core search: read the bin, rank the traits, write the legend.
    report("search, core (read + rank + legend)",
           medianMs(runs, {},
                    [&] {
                        const auto read = readRegion(*dataset, denseBin);
                        if (!read || read->count() != denseCount)
                            std::abort();
                        const TraitRanking ranking = rankTraits(*read, tables, 0, 0);
                        if (legendHtml(ranking, tables).isEmpty())
                            std::abort();
                    }),
           "10 ms");

    byPos panel(dataset);
    panel.resize(width, height);
    panel.show();
    QApplication::processEvents();
    showRegion(panel, denseBin);
    report("search, panel (core + table fill + legend box)",
           medianMs(runs, {}, [&] { panel.searchRegion(); }), "10 ms");
    QApplication::processEvents();
    if (panel.regionRowCount() != denseCount)
        std::abort();

    QImage image(panel.size(), QImage::Format_ARGB32_Premultiplied);
    report("paint, plot of the region (into a QImage of the panel's size)",
           medianMs(
               runs, [&] { image.fill(Qt::white); },
               [&] {
                   QPainter painter(&image);
                   panel.paintPlot(painter);
               }),
           "16 ms");
    // The panel's own paint event, without its child widgets; the gene track is up to date.
    panel.render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    report(
        "paint, panel (plot; gene track unchanged)",
        medianMs(runs, {}, [&] { panel.render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground); }),
        "16 ms");

    // Every run changes the region shown, so the paint reads the genes anew and rebuilds the
    // track picture: the worst paint a user meets.
    const int neighbour = denseBin % 1000 > 0 ? denseBin - 1 : denseBin + 1;
    int flip = 0;
    report("paint, panel after a region change (20k-gene file read)",
           medianMs(
               runs, [&] { showRegion(panel, (flip++ % 2) ? neighbour : denseBin); },
               [&] { panel.render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground); }),
           "16 ms");
    const int lastNeighbour = lastBin - 1;
    report("paint, panel after a change to the gene file's last bin",
           medianMs(
               runs, [&] { showRegion(panel, (flip++ % 2) ? lastNeighbour : lastBin); },
               [&] { panel.render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground); }),
           "16 ms");

    // All 20,000 genes in one megabase: packing and drawing of a track thousands of rows high.
    std::vector<RegionGene> crowded;
    for (int g = 0; g < 20000; ++g) {
        const double start = 0.001 + 0.998 * ((g * 7919) % 20000) / 20000.0;
        crowded.push_back({QStringLiteral("GENE%1").arg(g), start, start + 0.002 + (g % 13) * 0.003});
    }
    GeneTrackLayout crowdedLayout;
    report("gene track, 20k genes in one megabase: packing",
           medianMs(runs, {}, [&] { crowdedLayout = layoutGenes(crowded, 0); }), "-");
    int crowdedHeight = 0;
    report("gene track, 20k genes in one megabase: picture",
           medianMs(std::min(runs, 5), {},
                    [&] {
                        crowdedHeight = renderGeneTrack(crowded, crowdedLayout, panel.frame->width(),
                                                        panel.scrollArea->width())
                                            .height();
                    }),
           "-");
    std::printf("(that track has %d rows, %d pixels high)\n", crowdedLayout.drawingLastRow + 1,
                crowdedHeight);
    return 0;
}
