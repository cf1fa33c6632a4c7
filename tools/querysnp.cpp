#include "querysnp.h"

#include "browse/variantquery.h"
#include "dataset/dataset.h"
#include "figures/figureexport.h"
#include "overview/phewaspainter.h"

#include <QPainter>

#include <charconv>
#include <cmath>
#include <variant>

namespace quillmap::query {

namespace {

// The shortest text that reads back as the stored float: a PLINK 2 value comes out as written.
void appendFloat(QByteArray &line, float value)
{
    if (std::isnan(value)) {
        line += "NA";
        return;
    }
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    line.append(text, end - text);
}

// The table of what NAME resolves to, or the exit code after saying why not.
std::variant<int, std::pair<VariantQuery::Target, VariantQuery::Table>> readTable(const Dataset &dataset,
                                                                                  const Options &options,
                                                                                  const char *usage,
                                                                                  bool geneOnly)
{
    const std::optional<qint64> window = windowOption(options, 0);
    if (!window)
        return usageError(QStringLiteral("--window takes a whole number of bp, 0 or more"), usage);
    const QString name = options.positional.back();
    const VariantQuery::Target target = VariantQuery::resolve(dataset, name, *window);
    if (target.kind == VariantQuery::Kind::None || (geneOnly && target.kind != VariantQuery::Kind::Gene)) {
        printError(target.kind == VariantQuery::Kind::None
                       ? target.message
                       : QStringLiteral("%1 is not a gene of the dataset's gene file").arg(name));
        return 1;
    }
    Result<VariantQuery::Table> table = VariantQuery::traitRows(dataset, target);
    if (!table)
        return datasetError(table.message());
    return std::pair(target, std::move(*table));
}

} // namespace

int snpCommand(const Dataset &dataset, const Options &options, const char *usage, bool geneOnly)
{
    auto read = readTable(dataset, options, usage, geneOnly);
    if (const int *code = std::get_if<int>(&read))
        return *code;
    const auto &[target, found] = std::get<1>(read);
    const VariantQuery::Table *table = &found;
    // Said on standard error so that standard output stays one table.
    printError(
        QStringLiteral("%1; %2 trait(s) without a row there").arg(target.message).arg(table->traitsWithout));

    QByteArray block = "trait\tgroups\tsnp\tpos\t-log10(p)";
    for (const QString &name : dataset.tables().statisticNames)
        block += '\t' + name.toUtf8();
    block += '\n';
    for (const VariantQuery::TraitRow &row : table->rows) {
        for (const QString &field : {row.trait, row.groups, row.snp})
            block += field.toUtf8().replace('\t', ' ') + '\t';
        block += QByteArray::number(row.positionBp) + '\t';
        if (!std::isnan(row.score))
            block += QByteArray::number(row.score, 'g', 6);
        for (const float value : row.statistics) {
            block += '\t';
            appendFloat(block, value);
        }
        block += '\n';
    }
    TsvWriter out;
    return out.lines(block) && out.finish() ? 0 : outputError();
}

int snpPlot(const Dataset &dataset, const Options &options, const char *usage, const QString &out, QSize size,
            int dpi)
{
    auto read = readTable(dataset, options, usage, false);
    if (const int *code = std::get_if<int>(&read))
        return *code;
    const auto &[target, table] = std::get<1>(read);
    if (table.rows.empty()) {
        printError(QStringLiteral("no trait has a row at %1").arg(options.positional.back()));
        return 1;
    }
    const QString title = target.kind == VariantQuery::Kind::Gene ? target.geneName : target.snpName;
    QString error;
    const bool written = figures::exportFigure(
        out, size, dpi,
        [&](QPainter &painter, QSize s) {
            PhewasPainter::paint(
                painter, PhewasGeometry(table, dataset.tables().statisticNames, s.width(), s.height()),
                title);
        },
        &error);
    return written ? 0 : datasetError(error);
}

} // namespace quillmap::query
