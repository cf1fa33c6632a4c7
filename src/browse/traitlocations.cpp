#include "browse/traitlocations.h"

#include "dataset/chromosome.h"
#include "dataset/datasettables.h"

#include <QRegularExpression>

#include <cmath>

namespace quillmap {

namespace {

qsizetype columnNamed(const QStringList &header, const QRegularExpression &pattern)
{
    for (qsizetype k = 1; k < header.size(); ++k) {
        if (pattern.match(header[k].trimmed()).hasMatch())
            return k;
    }
    return -1;
}

} // namespace

TraitLocations TraitLocations::fromTables(const DatasetTables &tables)
{
    static const QRegularExpression chromosomeName(QStringLiteral("^#?(chr|chrom|chromosome)$"),
                                                   QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression positionName(
        QStringLiteral("^(start|pos|position|tss|bp|txstart|gene_?start|tss_?pos(ition)?)$"),
        QRegularExpression::CaseInsensitiveOption);
    TraitLocations locations;
    const qsizetype chromosomeColumn = columnNamed(tables.traitInfoHeader, chromosomeName);
    const qsizetype positionColumn = columnNamed(tables.traitInfoHeader, positionName);
    if (chromosomeColumn < 0 || positionColumn < 0)
        return locations;
    for (auto it = tables.traitInfoMap.cbegin(); it != tables.traitInfoMap.cend(); ++it) {
        // The map holds the fields after the trait's own.
        const QString chromosomeText = it.value().value(chromosomeColumn - 1).trimmed();
        const std::optional<int> chromosome = parseChromosome(chromosomeText, ChromosomeSpelling::Tool);
        bool ok = false;
        const double position = it.value().value(positionColumn - 1).trimmed().toDouble(&ok);
        if (!chromosome || !ok || !(position >= 0.0) || position > 1e10)
            continue;
        const double bp = position < 1000.0 ? position * 1e6 : position;
        locations.m_locations.insert(it.key(), {*chromosome, qint64(std::llround(bp))});
    }
    return locations;
}

std::pair<int, qint64> TraitLocations::locationOf(const QString &trait) const
{
    return m_locations.value(trait, {0, 0});
}

TraitLocations::Placement TraitLocations::place(const QString &trait, int chromosome, qint64 bp,
                                                qint64 cisWindowBp) const
{
    const auto at = m_locations.constFind(trait);
    if (at == m_locations.cend())
        return {};
    if (at->first != chromosome)
        return {Relation::Trans, -1};
    const qint64 distance = std::abs(bp - at->second);
    return {distance <= cisWindowBp ? Relation::Cis : Relation::Trans, distance};
}

QString TraitLocations::relationText(Relation relation)
{
    switch (relation) {
    case Relation::Cis:
        return QStringLiteral("cis");
    case Relation::Trans:
        return QStringLiteral("trans");
    case Relation::Unknown:
        break;
    }
    return QString();
}

} // namespace quillmap
