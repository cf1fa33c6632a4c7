#include "queryplot.h"

#include "querylocus.h"
#include "querysnp.h"

#include "dataset/transform.h"
#include "browse/regionplotgeometry.h"
#include "browse/traitplotgeometry.h"
#include "bypos/regionplotpainter.h"
#include "bytrait/traitplotpainter.h"
#include "dataset/dataset.h"
#include "dataset/regionsearch.h"
#include "browse/significance.h"
#include "figures/figureexport.h"

#include <QColor>
#include <QPainter>
#include <QRegularExpression>

namespace quillmap::query {

namespace {

const QStringList TransformNames = {QStringLiteral("NoTransformation"), QStringLiteral("log(10)"),
                                    QStringLiteral("-log(10)"),         QStringLiteral("log(2)"),
                                    QStringLiteral("-log(2)"),          QStringLiteral("abs")};
// The same transforms as a shell takes them without quotes, at the same codes.
const QStringList TransformShortNames = {QStringLiteral("none"),   QStringLiteral("log10"),
                                         QStringLiteral("-log10"), QStringLiteral("log2"),
                                         QStringLiteral("-log2"),  QStringLiteral("abs")};

// A whole number from `low` to `high` written plainly; nothing otherwise.
std::optional<int> wholeNumber(const QString &text, int low, int high)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,6}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    const int value = text.toInt();
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

} // namespace

QStringList plotOptions()
{
    return {QStringLiteral("--stat"),    QStringLiteral("--transform"), QStringLiteral("--out"),
            QStringLiteral("--width"),   QStringLiteral("--height"),    QStringLiteral("--dpi"),
            QStringLiteral("--sigline"), QStringLiteral("--trait"),     QStringLiteral("--window"),
            QStringLiteral("--ld")};
}

int plotCommand(const Dataset &dataset, const Options &options, const char *usage)
{
    const DatasetTables &tables = dataset.tables();
    const QString &folder = dataset.folder();
    const QStringList &args = options.positional;
    const bool trait = args.size() == 2 && args[0] == u"trait";
    const bool region = args.size() == 3 && args[0] == u"region";
    const bool locus = args.size() == 2 && args[0] == u"locus";
    const bool snp = args.size() == 2 && args[0] == u"snp";
    if (!trait && !region && !locus && !snp)
        return usageError(
            QStringLiteral("plot takes \"trait NAME\", \"region CHR MB\", \"locus NAME\" or \"snp NAME\""),
            usage);
    if (snp && (options.contains(QStringLiteral("--trait")) || options.contains(QStringLiteral("--ld"))))
        return usageError(QStringLiteral("--trait and --ld go with plot locus"), usage);
    if (!locus && !snp
        && (options.contains(QStringLiteral("--trait")) || options.contains(QStringLiteral("--window"))
            || options.contains(QStringLiteral("--ld"))))
        return usageError(QStringLiteral("--trait, --window and --ld go with plot locus"), usage);
    const QString out = options.value(QStringLiteral("--out"));
    if (out.isEmpty() || !figures::figureFormatOf(out))
        return usageError(QStringLiteral("plot needs --out FILE ending in .pdf, .svg or .png"), usage);
    const std::optional<int> width = wholeNumber(options.contains(QStringLiteral("--width"))
                                                     ? options.value(QStringLiteral("--width"))
                                                     : QStringLiteral("1000"),
                                                 100, 20000);
    const std::optional<int> height = wholeNumber(
        options.contains(QStringLiteral("--height"))
            ? options.value(QStringLiteral("--height"))
            : (trait ? QStringLiteral("400") : QStringLiteral("600")),
        100, 20000);
    const std::optional<int> dpi = wholeNumber(options.contains(QStringLiteral("--dpi"))
                                                   ? options.value(QStringLiteral("--dpi"))
                                                   : QStringLiteral("96"),
                                               10, 2400);
    if (!width || !height || !dpi)
        return usageError(QStringLiteral("--width and --height take 100 to 20000, --dpi 10 to 2400"), usage);

    if (snp)
        return snpPlot(dataset, options, usage, options.value(QStringLiteral("--out")),
                       QSize(*width, *height), *dpi);
    if (locus)
        return locusPlot(dataset, options, usage, options.value(QStringLiteral("--out")),
                         QSize(*width, *height), *dpi);

    int statistic = 0;
    if (options.contains(QStringLiteral("--stat"))) {
        statistic = int(tables.statisticNames.indexOf(options.value(QStringLiteral("--stat"))));
        if (statistic < 0) {
            printError(QStringLiteral("the statistic %1 is not in the dataset")
                           .arg(options.value(QStringLiteral("--stat"))));
            return 1;
        }
    }
    int transform = 0;
    if (options.contains(QStringLiteral("--transform"))) {
        const QString name = options.value(QStringLiteral("--transform"));
        transform = int(TransformNames.indexOf(name));
        if (transform < 0)
            transform = int(TransformShortNames.indexOf(name));
        if (transform < 0)
            return usageError(QStringLiteral("--transform takes one of: %1, or %2")
                                  .arg(TransformNames.join(u", "), TransformShortNames.join(u", ")),
                              usage);
    }
    // The significance line's p-value: 5e-8 unless told, "none" for no line.
    double significanceP = GenomeWideP;
    if (options.contains(QStringLiteral("--sigline"))) {
        const QString text = options.value(QStringLiteral("--sigline"));
        const std::optional<double> p = parsePValue(text);
        if (text == u"none")
            significanceP = qQNaN();
        else if (p)
            significanceP = *p;
        else
            return usageError(QStringLiteral("--sigline takes a p-value above 0 and at most 1, or none"),
                              usage);
    }
    const PlotAxis axis = plotAxis(tables.statisticNames.value(statistic), transform);
    const double significanceValue = significanceLineValue(axis, significanceP);
    const QSize size(*width, *height);
    QString error;

    if (trait) {
        Result<ResultRows> read = readTrait(dataset, args[1]);
        if (!read) {
            if (read.kind() == ErrorKind::NoRecords || read.kind() == ErrorKind::Invalid) {
                printError(QStringLiteral("the trait %1 is not in the dataset").arg(args[1]));
                return 1;
            }
            return datasetError(read.message());
        }
        const traitplot::TraitSeries series = traitplot::traitSeries(*read, tables, statistic, transform);
        if (series.missingValue) {
            printError(QStringLiteral("a value has no logarithm under %1").arg(TransformNames[transform]));
            return 1;
        }
        TraitPlotData data;
        data.rowCount = int(series.values.size());
        data.chromosomes = read->chromosomes.data();
        data.positions = read->positions.data();
        data.values = series.values.data();
        data.valueMin = series.valueMin;
        data.valueMax = series.valueMax;
        data.topThreshold = series.thresholds.top;
        data.bottomThreshold = series.thresholds.bottom;
        data.plotReady = true;
        data.axisTitle = axis.title;
        data.significanceValue = significanceValue;
        const bool written = figures::exportFigure(
            out, size, *dpi,
            [&](QPainter &painter, QSize s) { traitplot::paintTraitFigure(painter, s, data, QString()); },
            &error);
        return written ? 0 : datasetError(error);
    }

    const std::optional<int> bin = regionBinOf(args[1], args[2]);
    if (!bin)
        return usageError(QStringLiteral("a region is a chromosome (1-22 or X) and a whole Mb from 0 to 999"),
                          usage);
    const auto read = bypos::readRegion(dataset, *bin);
    if (!read) {
        if (read.kind() == ErrorKind::NoRecords) {
            printError(QStringLiteral("chromosome %1 at %2 Mb: %3").arg(args[1], args[2], read.message()));
            return 1;
        }
        return datasetError(read.message());
    }
    const bypos::TraitRanking ranking = bypos::rankTraits(
        *read, tables, statistic, transform, negLog10Substitute(tables.statisticNames, statistic, transform));
    if (ranking.missingValue) {
        printError(QStringLiteral("a value has no logarithm under %1").arg(TransformNames[transform]));
        return 1;
    }
    bypos::RegionPlotInput input;
    input.plotReady = true;
    input.traitCount = ranking.traitCount();
    input.traitPositions = &ranking.positions;
    input.traitValues = &ranking.values;
    input.traitOrder = &ranking.order;
    input.valueMax = ranking.valueMax;
    input.valueMin = ranking.valueMin;
    // The panel's default label colours.
    for (const Qt::GlobalColor c :
         {Qt::red, Qt::red, Qt::red, Qt::blue, Qt::blue, Qt::blue, Qt::black, Qt::black, Qt::black})
        input.rankColours << QColor(c);
    input.laterColour = QColor(QStringLiteral("green"));
    input.regionText = args[2];
    input.region = args[2].toInt();
    input.axisTitle = axis.title;
    input.significanceValue = significanceValue;
    input.legend = bypos::legendEntries(ranking, tables);
    const bypos::RegionGenes genes = bypos::readRegionGenes(folder, *bin);
    const bool written = figures::exportFigure(
        out, size, *dpi,
        [&](QPainter &painter, QSize s) { bypos::paintRegionFigure(painter, s, input, QString(), &genes); },
        &error);
    return written ? 0 : datasetError(error);
}

} // namespace quillmap::query
