#include "querysnp.h"

#include "browse/variantquery.h"
#include "dataset/dataset.h"

#include <charconv>
#include <cmath>

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

} // namespace

int snpCommand(const Dataset &dataset, const Options &options, const char *usage)
{
    const std::optional<qint64> window = windowOption(options, 0);
    if (!window)
        return usageError(QStringLiteral("--window takes a whole number of bp, 0 or more"), usage);
    const VariantQuery::Target target = VariantQuery::resolve(dataset, options.positional[0], *window);
    if (target.kind == VariantQuery::Kind::None) {
        printError(target.message);
        return 1;
    }
    const Result<VariantQuery::Table> table = VariantQuery::traitRows(dataset, target);
    if (!table)
        return datasetError(table.message());
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

} // namespace quillmap::query
