#include "browse/variantquery.h"

#include "dataset/datasetfiles.h"
#include "dataset/positionbin.h"
#include "dataset/regionsearch.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>

namespace quillmap {

namespace {

using Target = VariantQuery::Target;
using Kind = VariantQuery::Kind;

qint64 snpBasePairs(const DatasetTables &tables, int snpIndex)
{
    const int line = tables.snpLineOfIndex(snpIndex);
    if (line < 0)
        return -1;
    const std::optional<qint32> bp = positionBasePairs(tables.snpPosition(line));
    return bp ? *bp : -1;
}

int binOf(int chromosome, qint64 bp)
{
    return chromosome * 1000 + int(bp / 1000000);
}

Target snpTarget(const DatasetTables &tables, int snpIndex, Kind kind)
{
    Target target;
    target.kind = kind;
    target.snpIndex = snpIndex;
    target.snpName = tables.snpNames.value(snpIndex);
    const int line = tables.snpLineOfIndex(snpIndex);
    target.chromosome = tables.snpChromosome(line);
    target.startBp = target.endBp = snpBasePairs(tables, snpIndex);
    target.message = QStringLiteral("SNP %1 at %2")
                         .arg(target.snpName, VariantQuery::locationText(target.chromosome, target.startBp));
    return target;
}

// The SNP with records nearest to `bp`, searching bins outward until no nearer one can lie
// further out. Ties go to the smaller position, then the smaller SNP index.
int nearestSnp(const Dataset &dataset, int chromosome, qint64 bp)
{
    const DatasetTables &tables = dataset.tables();
    const int megabase = int(bp / 1000000);
    int best = -1;
    qint64 bestDistance = std::numeric_limits<qint64>::max();
    qint64 bestBp = 0;
    for (int r = 0; r <= 1000; ++r) {
        for (const int mb : {megabase - r, megabase + r}) {
            if (mb < 0 || (r == 0 && mb != megabase))
                continue;
            const int bin = chromosome * 1000 + mb;
            if (!tables.binHasRecords(bin))
                continue;
            const Result<ResultRows> rows = bypos::readRegion(dataset, bin);
            if (!rows)
                continue;
            for (const RowRecord &row : rows->rows) {
                const qint64 at = snpBasePairs(tables, row.snpIndex);
                if (at < 0)
                    continue;
                const qint64 distance = std::abs(at - bp);
                if (distance < bestDistance
                    || (distance == bestDistance && (at < bestBp || (at == bestBp && row.snpIndex < best)))) {
                    best = row.snpIndex;
                    bestDistance = distance;
                    bestBp = at;
                }
            }
            if (r == 0)
                break;
        }
        if (best >= 0 && bestDistance <= qint64(r) * 1000000)
            break;
    }
    return best;
}

// Calls `visit` with each line of pos2gene.dat (without its line end) until it returns true;
// false when none did or the file cannot be read.
template <typename Visit>
bool forEachGeneLine(const QString &folder, Visit visit)
{
    QFile file(files::datasetFilePath(folder, files::BinGenes));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        if (visit(line))
            return true;
    }
    return false;
}

// A gene of pos2gene.dat by name (case-insensitive): chromosome and bp range.
bool findGene(const QString &folder, const QString &name, Target &target)
{
    const QByteArray wanted = name.toLower().toLocal8Bit();
    return forEachGeneLine(folder, [&](const QByteArray &line) {
        if (!line.toLower().contains(wanted))
            return false;
        const QList<QByteArray> fields = line.split('\t');
        bool binOk = false;
        const int bin = fields.value(0).toInt(&binOk);
        if (!binOk)
            return false;
        for (qsizetype i = 1; i + 2 < fields.size(); i += 3) {
            if (QString::fromLocal8Bit(fields.at(i)).compare(name, Qt::CaseInsensitive) != 0)
                continue;
            bool startOk = false;
            bool endOk = false;
            const std::optional<qint32> start = positionBasePairs(fields.at(i + 1).toDouble(&startOk));
            const std::optional<qint32> end = positionBasePairs(fields.at(i + 2).toDouble(&endOk));
            if (!startOk || !endOk || !start || !end)
                continue;
            target.geneName = QString::fromLocal8Bit(fields.at(i));
            target.chromosome = binChromosome(bin);
            target.startBp = std::min(*start, *end);
            target.endBp = std::max(*start, *end);
            return true;
        }
        return false;
    });
}

} // namespace

QStringList VariantQuery::snpNamesStartingWith(const DatasetTables &tables, const QString &prefix, int limit)
{
    QStringList names;
    if (prefix.isEmpty() || limit <= 0)
        return names;
    for (const QString &spelling : {prefix, prefix.toLower()}) {
        auto it = std::lower_bound(tables.snpNames.cbegin(), tables.snpNames.cend(), spelling);
        for (; it != tables.snpNames.cend() && names.size() < limit; ++it) {
            const QString name = *it;
            if (!name.startsWith(spelling))
                break;
            names << name;
        }
        if (!names.isEmpty())
            break;
    }
    return names;
}

QStringList VariantQuery::geneNames(const QString &folder)
{
    QStringList names;
    forEachGeneLine(folder, [&names](const QByteArray &line) {
        const QList<QByteArray> fields = line.split('\t');
        for (qsizetype i = 1; i + 2 < fields.size(); i += 3)
            names << QString::fromLocal8Bit(fields.at(i));
        return false;
    });
    names.sort(Qt::CaseInsensitive);
    names.removeDuplicates();
    return names;
}

QString VariantQuery::locationText(int chromosome, qint64 bp)
{
    const QString name = chromosome == 23 ? QStringLiteral("X") : QString::number(chromosome);
    return QStringLiteral("chr%1:%2").arg(name).arg(bp);
}

VariantQuery::Target VariantQuery::geneTarget(const Dataset &dataset, const QString &name, qint64 windowBp)
{
    Target gene;
    if (!findGene(dataset.folder(), name.trimmed(), gene))
        return Target{};
    gene.kind = Kind::Gene;
    const qint64 window = std::max<qint64>(0, windowBp);
    gene.startBp = std::max<qint64>(0, gene.startBp - window);
    gene.endBp += window;
    gene.message = QStringLiteral("Gene %1 at %2-%3")
                       .arg(gene.geneName, locationText(gene.chromosome, gene.startBp))
                       .arg(gene.endBp);
    if (window > 0)
        gene.message += QStringLiteral(" (with %1 bp on each side)").arg(window);
    return gene;
}

VariantQuery::Target VariantQuery::resolve(const Dataset &dataset, const QString &typed, qint64 windowBp)
{
    const DatasetTables &tables = dataset.tables();
    const QString text = typed.trimmed();
    Target none;
    if (text.isEmpty()) {
        none.message = QStringLiteral("Type a SNP, a position CHR:BP or a gene");
        return none;
    }
    for (const QString &spelling : {text, text.toLower(), text.toUpper()}) {
        const int index = tables.snpIndexOf(spelling);
        if (index >= 0)
            return snpTarget(tables, index, Kind::Snp);
    }

    static const QRegularExpression position(
        QStringLiteral("^(?:chr)?([0-9]{1,2}|X)[:_]([0-9]{1,10})(?:[:_]([ACGTN]+)[:_]([ACGTN]+))?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = position.match(text);
    if (match.hasMatch()) {
        const QString chromosomeText = match.captured(1).toUpper();
        const std::optional<int> chromosome = chromosomeText == QStringLiteral("X")
            ? std::optional<int>(23)
            : chromosomeNumber(QString::number(chromosomeText.toInt()));
        const qint64 bp = match.captured(2).toLongLong();
        if (!chromosome || bp > std::numeric_limits<qint32>::max()) {
            none.message = QStringLiteral("%1 is not a position of the dataset").arg(text);
            return none;
        }
        // The dataset may name its SNPs in another of the usual spellings.
        const QString c = *chromosome == 23 ? QStringLiteral("X") : QString::number(*chromosome);
        QStringList spellings{c + u':' + QString::number(bp)};
        if (match.hasCaptured(3)) {
            const QString a1 = match.captured(3).toUpper();
            const QString a2 = match.captured(4).toUpper();
            spellings << spellings[0] + u':' + a1 + u':' + a2 << spellings[0] + u':' + a2 + u':' + a1;
        }
        for (const QString &spelling : std::as_const(spellings)) {
            for (const QString &name :
                 {spelling, QStringLiteral("chr") + spelling, QString(spelling).replace(u':', u'_')}) {
                const int index = tables.snpIndexOf(name);
                if (index >= 0)
                    return snpTarget(tables, index, Kind::Snp);
            }
        }
        const int nearest = nearestSnp(dataset, *chromosome, bp);
        if (nearest < 0) {
            none.message = QStringLiteral("No SNP with results on chromosome %1").arg(c);
            return none;
        }
        Target target = snpTarget(tables, nearest, Kind::Snp);
        if (target.startBp != bp) {
            target.kind = Kind::NearestSnp;
            target.message = QStringLiteral("No SNP at %1; the nearest is %2 at %3 (%4 bp away)")
                                 .arg(locationText(*chromosome, bp), target.snpName,
                                      locationText(target.chromosome, target.startBp))
                                 .arg(std::abs(target.startBp - bp));
        }
        return target;
    }

    const Target gene = geneTarget(dataset, text, windowBp);
    if (gene.kind == Kind::Gene)
        return gene;
    none.message = QStringLiteral("%1 is neither a SNP, a position nor a gene of the dataset").arg(text);
    return none;
}

Result<VariantQuery::Table> VariantQuery::traitRows(const Dataset &dataset, const Target &target)
{
    const DatasetTables &tables = dataset.tables();
    Table table;
    table.pColumn = findPValueColumn(tables.statisticNames);
    std::vector<int> bestRow(size_t(tables.traitNames.size()), -1);
    if (target.kind != Kind::None) {
        QHash<int, qint64> placed; // SNP index -> bp, each SNP placed once
        for (int bin = binOf(target.chromosome, target.startBp);
             bin <= binOf(target.chromosome, target.endBp); ++bin) {
            if (!tables.binHasRecords(bin))
                continue;
            const Result<ResultRows> region = bypos::readRegion(dataset, bin);
            if (!region)
                return region.error();
            for (int k = 0; k < region->count(); ++k) {
                const RowRecord &row = region->rows[size_t(k)];
                if (target.kind != Kind::Gene && row.snpIndex != target.snpIndex)
                    continue;
                auto at = placed.constFind(row.snpIndex);
                if (at == placed.constEnd())
                    at = placed.insert(row.snpIndex, snpBasePairs(tables, row.snpIndex));
                if (*at < target.startBp || *at > target.endBp)
                    continue;
                TraitRow result;
                result.traitIndex = row.traitIndex;
                result.snpIndex = row.snpIndex;
                result.chromosome = target.chromosome;
                result.positionBp = *at;
                for (int s = 0; s <= region->extraCount; ++s)
                    result.statistics.push_back(region->statistic(k, s));
                result.score = table.pColumn.valid()
                    ? scoreOf(result.statistics[size_t(table.pColumn.statistic)], table.pColumn.negLog10)
                    : std::numeric_limits<double>::quiet_NaN();
                const size_t slot = size_t(row.traitIndex);
                if (slot >= bestRow.size())
                    continue;
                if (bestRow[slot] >= 0) {
                    TraitRow &held = table.rows[size_t(bestRow[slot])];
                    if (!(result.score > held.score))
                        continue;
                    held = std::move(result);
                } else {
                    bestRow[slot] = int(table.rows.size());
                    table.rows.push_back(std::move(result));
                }
            }
        }
    }
    for (TraitRow &row : table.rows) {
        row.trait = tables.traitNames.value(row.traitIndex);
        row.groups = tables.traitGroupMap.value(row.trait).join(QStringLiteral(", "));
        row.snp = tables.snpNames.value(row.snpIndex);
    }
    std::stable_sort(table.rows.begin(), table.rows.end(), [](const TraitRow &a, const TraitRow &b) {
        const bool aScored = !std::isnan(a.score);
        const bool bScored = !std::isnan(b.score);
        if (aScored != bScored)
            return aScored;
        if (aScored && a.score != b.score)
            return a.score > b.score;
        return a.trait < b.trait;
    });
    table.traitsWithout = int(tables.traitNames.size()) - int(table.rows.size());
    return table;
}

} // namespace quillmap
