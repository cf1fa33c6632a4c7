#include "querylocus.h"

#include "browse/locusquery.h"
#include "browse/tabletext.h"
#include "browse/variantquery.h"
#include "dataset/dataset.h"
#include "dataset/ldreference.h"
#include "figures/figureexport.h"
#include "overview/locuspainter.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace quillmap::query {

namespace {

struct ReadLocus {
    LocusQuery::Locus locus;
    int indexRow = -1;
    bool withLd = false;
    std::vector<std::pair<qint64, double>> rates;
    int exitCode = 0; // non-zero: failed, already said
};

ReadLocus readLocus(const Dataset &dataset, const Options &options, const char *usage)
{
    ReadLocus read;
    const DatasetTables &tables = dataset.tables();
    const QString typed = options.positional.back();
    const VariantQuery::Target target = VariantQuery::resolve(dataset, typed);
    if (target.kind == VariantQuery::Kind::None) {
        printError(target.message);
        read.exitCode = 1;
        return read;
    }
    bool ok = true;
    const qint64 width = options.contains(QStringLiteral("--window"))
        ? options.value(QStringLiteral("--window")).toLongLong(&ok)
        : LocusWindow::DefaultWidth;
    if (!ok || width < LocusWindow::MinWidth || width > LocusWindow::MaxWidth) {
        read.exitCode = usageError(QStringLiteral("--window takes a whole number of bp from %1 to %2")
                                       .arg(LocusWindow::MinWidth)
                                       .arg(LocusWindow::MaxWidth),
                                   usage);
        return read;
    }
    int trait = -1;
    if (options.contains(QStringLiteral("--trait"))) {
        const QString name = options.value(QStringLiteral("--trait"));
        trait = traitIndexOf(tables, name);
        if (trait < 0) {
            printError(QStringLiteral("the trait %1 is not in the dataset").arg(name));
            read.exitCode = 1;
            return read;
        }
    } else {
        const auto rows = VariantQuery::traitRows(dataset, target);
        if (!rows) {
            read.exitCode = datasetError(rows.message());
            return read;
        }
        if (rows->rows.empty()) {
            printError(QStringLiteral("no trait has a row at %1").arg(typed));
            read.exitCode = 1;
            return read;
        }
        trait = rows->rows.front().traitIndex;
    }
    const qint64 centre = (target.startBp + target.endBp) / 2;
    const LocusWindow window = LocusWindow::centred(target.chromosome, centre, width, tables.build);
    Result<LocusQuery::Locus> locus = LocusQuery::read(dataset, trait, window);
    if (!locus) {
        read.exitCode = datasetError(locus.message());
        return read;
    }
    read.locus = std::move(*locus);
    read.indexRow = target.snpIndex >= 0 ? read.locus.rowOfSnp(target.snpIndex) : -1;
    if (read.indexRow < 0)
        read.indexRow = read.locus.leadRow();

    const QString prefix = options.contains(QStringLiteral("--ld"))
        ? options.value(QStringLiteral("--ld"))
        : LdReference::recordedPrefix(dataset.folder());
    if (!prefix.isEmpty()) {
        const auto ld = LdReference::open(prefix);
        if (!ld) {
            read.exitCode = datasetError(ld.message());
            return read;
        }
        const Result<int> matched = LocusQuery::addR2(read.locus, dataset, **ld, read.indexRow);
        if (!matched) {
            read.exitCode = datasetError(matched.message());
            return read;
        }
        read.withLd = true;
        read.rates = (*ld)->recombinationRates(window.chromosome, window.startBp, window.endBp);
    }
    return read;
}

} // namespace

int locusCommand(const Dataset &dataset, const Options &options, const char *usage)
{
    const ReadLocus read = readLocus(dataset, options, usage);
    if (read.exitCode != 0)
        return read.exitCode;
    const LocusQuery::Locus &locus = read.locus;
    const TableText text(dataset.tables());
    TsvWriter out;
    QByteArray block = text.header();
    block.chop(1);
    block += "\tr2\n";
    for (int k = 0; k < locus.count(); ++k) {
        text.appendRows(locus.rows, k, k + 1, block);
        block.chop(1);
        const double r2 = locus.r2.empty() ? std::nan("") : locus.r2[size_t(k)];
        block += '\t' + (std::isnan(r2) ? QByteArray("NA") : QByteArray::number(r2, 'g', 6)) + '\n';
        if (block.size() > (1 << 20)) {
            if (!out.lines(block))
                return outputError();
            block.clear();
        }
    }
    return out.lines(block) && out.finish() ? 0 : outputError();
}

int locusPlot(const Dataset &dataset, const Options &options, const char *usage, const QString &out,
              QSize size, int dpi)
{
    const ReadLocus read = readLocus(dataset, options, usage);
    if (read.exitCode != 0)
        return read.exitCode;
    LocusPainter::Scene scene;
    scene.series.push_back(&read.locus);
    scene.indexRow = read.indexRow;
    if (read.indexRow >= 0)
        scene.indexName = dataset.tables().snpNames.value(
            read.locus.rows.rows[size_t(read.indexRow)].snpIndex);
    scene.significanceScore = read.locus.pColumn.valid() ? -std::log10(GenomeWideP) : 0.0;
    scene.withLd = read.withLd;
    scene.rates = read.rates;
    double scoreMax = 0;
    for (const double s : read.locus.scores)
        scoreMax = std::isfinite(s) ? std::max(scoreMax, s) : scoreMax;
    QString error;
    const bool written = figures::exportFigure(
        out, size, dpi,
        [&](QPainter &painter, QSize s) {
            const QFontMetricsF metrics(QFont(QStringLiteral("Helvetica"), 8));
            int rows = 0;
            const LocusGeometry sizing(read.locus.window, scoreMax, s.width(), s.height());
            const std::vector<PackedGene> genes = packLocusGenes(
                dataset.folder(), sizing,
                [&](const QString &name) { return metrics.horizontalAdvance(name); }, &rows);
            const double geneHeight = std::min(LocusPainter::genesHeight(rows), s.height() / 2.0);
            const LocusGeometry geometry(read.locus.window, scoreMax, s.width(), s.height() - geneHeight);
            LocusPainter::paintPlot(painter, geometry, scene);
            painter.translate(0, s.height() - geneHeight);
            LocusPainter::paintGenes(painter, geometry, genes, geneHeight);
        },
        &error);
    return written ? 0 : datasetError(error);
}

} // namespace quillmap::query
