// Times the locus view's work and prints "median NAME SECONDS" lines:
//   quillmap-bench-locus WORKDIR RUNS [DATASET]
// r2: one index variant against 5,000 variants over 10,000 samples, from a PLINK 1 fileset
// written under WORKDIR (haplotype blocks, 2% missing calls). With DATASET (a dataset folder):
// open: a 1 Mb window around the middle SNP of its first trait read and painted at 1000 x 500;
// step: the same window panned by a tenth, read and painted again (a drag's release); zoom:
// a wheel step in, read and painted.

#include "browse/locusquery.h"
#include "dataset/dataset.h"
#include "dataset/ldreference.h"
#include "dataset/positionbin.h"
#include "overview/locuspainter.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include <algorithm>
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

// Blocks of 50 variants share a founder haplotype pair per sample, each variant copying it
// with 5% of alleles flipped: r2 runs from near 1 inside a block to near 0 across blocks.
QString writeFileset(const QString &dir, int variants, int samples)
{
    const QString prefix = dir + QStringLiteral("/ld5000x10000");
    QRandomGenerator random(7);
    const qint64 rowBytes = (samples + 3) / 4;
    QByteArray bed("\x6c\x1b\x01", 3);
    QByteArray bim;
    std::vector<quint8> founder(size_t(samples) * 2);
    for (int v = 0; v < variants; ++v) {
        if (v % 50 == 0) {
            for (quint8 &allele : founder)
                allele = quint8(random.bounded(2));
        }
        QByteArray row(rowBytes, '\0');
        for (int s = 0; s < samples; ++s) {
            int count = 0;
            for (int h = 0; h < 2; ++h)
                count += founder[size_t(2 * s + h)] ^ (random.bounded(100) < 5 ? 1 : 0);
            const int code = random.bounded(100) < 2 ? 1 : (count == 0 ? 0 : (count == 1 ? 2 : 3));
            row[s / 4] = char(uchar(row[s / 4]) | (code << (2 * (s % 4))));
        }
        bed += row;
        bim += "1\tv" + QByteArray::number(v) + "\t0\t" + QByteArray::number(1000000 + v * 200) + "\tA\tG\n";
    }
    QByteArray fam;
    for (int s = 0; s < samples; ++s)
        fam += "f" + QByteArray::number(s) + " i" + QByteArray::number(s) + " 0 0 0 -9\n";
    for (const auto &[suffix, bytes] : {std::pair{".bed", bed}, {".bim", bim}, {".fam", fam}}) {
        QFile file(prefix + QLatin1String(suffix));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return {};
    }
    return prefix;
}

void readAndPaint(const Dataset &dataset, int trait, const LocusWindow &window)
{
    const Result<LocusQuery::Locus> locus = LocusQuery::read(dataset, trait, window);
    if (!locus) {
        std::fprintf(stderr, "%s\n", qPrintable(locus.message()));
        std::exit(3);
    }
    QImage image(1000, 500, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    LocusPainter::Scene scene;
    scene.series.push_back(&*locus);
    scene.indexRow = locus->leadRow();
    double most = 0;
    for (const double s : locus->scores)
        most = std::isfinite(s) ? std::max(most, s) : most;
    LocusPainter::paintPlot(painter, LocusGeometry(window, most, 1000, 500), scene);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fputs("usage: quillmap-bench-locus WORKDIR RUNS [DATASET]\n", stderr);
        return 2;
    }
    const QString work = QString::fromLocal8Bit(argv[1]);
    const int runs = std::max(1, atoi(argv[2]));

    const QString prefix = writeFileset(work, 5000, 10000);
    const auto ld = LdReference::open(prefix);
    if (prefix.isEmpty() || !ld) {
        std::fprintf(stderr, "cannot write or open the fileset under %s\n", argv[1]);
        return 3;
    }
    std::vector<int> all(5000);
    for (int v = 0; v < 5000; ++v)
        all[size_t(v)] = v;
    std::printf("median r2-5000x10000 %.4f\n", timed(runs, [&] { (void)(*ld)->r2(2500, all); }));

    if (argc < 4)
        return 0;
    const auto dataset = Dataset::load(QString::fromLocal8Bit(argv[3]));
    if (!dataset) {
        std::fprintf(stderr, "%s\n", qPrintable(dataset.message()));
        return 3;
    }
    const DatasetTables &tables = (*dataset)->tables();
    // A SNP in the middle of the SNP file, as a user would type one.
    const int line = tables.snpLineCount() / 2;
    const int chromosome = tables.snpChromosome(line);
    const qint64 bp = positionBasePairs(tables.snpPosition(line)).value_or(0);
    const LocusWindow window = LocusWindow::centred(chromosome, bp, LocusWindow::DefaultWidth, tables.build);
    std::printf("median open-1Mb %.4f\n", timed(runs, [&] { readAndPaint(**dataset, 0, window); }));
    std::printf("median pan-step %.4f\n",
                timed(runs, [&] { readAndPaint(**dataset, 0, window.panned(window.width() / 10)); }));
    std::printf("median zoom-step %.4f\n",
                timed(runs, [&] { readAndPaint(**dataset, 0, window.zoomed(0.8, double(bp))); }));
    return 0;
}
