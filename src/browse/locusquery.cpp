#include "browse/locusquery.h"

#include "dataset/ldreference.h"
#include "dataset/positionbin.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace quillmap {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Extra SNP columns (0-based among the M extra ones) holding the two alleles; -1 when absent.
std::pair<int, int> alleleColumns(const DatasetTables &tables)
{
    static const QStringList pairs[] = {
        {QStringLiteral("REF"), QStringLiteral("ALT")},
        {QStringLiteral("A2"), QStringLiteral("A1")},
        {QStringLiteral("ALLELE0"), QStringLiteral("ALLELE1")},
        {QStringLiteral("OTHER_ALLELE"), QStringLiteral("EFFECT_ALLELE")},
    };
    // SNP, chromosome and position come first in the header.
    const QStringList extra = tables.snpInfoHeader.mid(3);
    for (const QStringList &pair : pairs) {
        const auto at = [&](const QString &name) {
            for (qsizetype i = 0; i < extra.size(); ++i) {
                if (extra[i].compare(name, Qt::CaseInsensitive) == 0)
                    return int(i);
            }
            return -1;
        };
        const int first = at(pair[0]);
        const int second = at(pair[1]);
        if (first >= 0 && second >= 0)
            return {first, second};
    }
    return {-1, -1};
}

} // namespace

int LocusQuery::Locus::leadRow() const
{
    int lead = -1;
    for (int k = 0; k < count(); ++k) {
        if (!std::isnan(scores[size_t(k)]) && (lead < 0 || scores[size_t(k)] > scores[size_t(lead)]))
            lead = k;
    }
    return lead;
}

int LocusQuery::Locus::rowOfSnp(int snpIndex) const
{
    for (int k = 0; k < count(); ++k) {
        if (rows.rows[size_t(k)].snpIndex == snpIndex)
            return k;
    }
    return -1;
}

Result<LocusQuery::Locus> LocusQuery::read(const Dataset &dataset, int traitIndex, const LocusWindow &window)
{
    const DatasetTables &tables = dataset.tables();
    Locus locus;
    locus.window = window;
    locus.traitIndex = traitIndex;
    locus.trait = tables.traitNames.value(traitIndex);
    locus.pColumn = findPValueColumn(tables.statisticNames);
    locus.effectColumn = findEffectColumn(tables.statisticNames);

    struct Found {
        qint64 bp;
        int snpIndex, bin, row; // row `row` of regions[bin]
    };
    std::vector<Found> found;
    std::vector<ResultRows> regions;
    for (int bin = window.firstBin(); bin <= window.lastBin(); ++bin) {
        if (!tables.binHasRecords(bin))
            continue;
        Result<ResultRows> region = bypos::readRegion(dataset, bin);
        if (!region)
            return region.error();
        for (int k = 0; k < region->count(); ++k) {
            const RowRecord &row = region->rows[size_t(k)];
            if (row.traitIndex != traitIndex)
                continue;
            const int line = tables.snpLineOfIndex(row.snpIndex);
            const std::optional<qint32> bp = line < 0 ? std::nullopt
                                                      : positionBasePairs(tables.snpPosition(line));
            if (bp && window.contains(*bp))
                found.push_back({*bp, row.snpIndex, int(regions.size()), k});
        }
        regions.push_back(std::move(*region));
    }
    std::sort(found.begin(), found.end(), [](const Found &a, const Found &b) {
        return a.bp != b.bp ? a.bp < b.bp : a.snpIndex < b.snpIndex;
    });

    ResultRows &out = locus.rows;
    out.extraCount = tables.extraStats;
    out.rows.reserve(found.size());
    out.extraStats.reserve(found.size() * size_t(out.extraCount));
    for (const Found &f : found) {
        const ResultRows &from = regions[size_t(f.bin)];
        RowRecord row = from.rows[size_t(f.row)];
        row.rowNumber = qint32(out.rows.size());
        out.rows.push_back(row);
        const size_t e = size_t(out.extraCount);
        out.extraStats.insert(out.extraStats.end(), from.extraStats.begin() + ptrdiff_t(size_t(f.row) * e),
                              from.extraStats.begin() + ptrdiff_t(size_t(f.row) * e + e));
        out.chromosomes.push_back(window.chromosome);
        out.positions.push_back(float(double(f.bp) / 1e6));
        locus.bp.push_back(f.bp);
        locus.scores.push_back(locus.pColumn.valid()
                                   ? scoreOf(out.statistic(int(locus.bp.size()) - 1, locus.pColumn.statistic),
                                             locus.pColumn.negLog10)
                                   : NaN);
    }
    return locus;
}

Result<int> LocusQuery::addR2(Locus &locus, const Dataset &dataset, const LdReference &ld, int indexRow)
{
    const DatasetTables &tables = dataset.tables();
    locus.r2.assign(size_t(locus.count()), NaN);
    if (indexRow < 0 || indexRow >= locus.count())
        return 0;
    std::vector<int> variants(size_t(locus.count()), -1);
    int matched = 0;
    for (int k = 0; k < locus.count(); ++k) {
        const int snpIndex = locus.rows.rows[size_t(k)].snpIndex;
        const QByteArray id = tables.snpNames.value(snpIndex).toUtf8();
        const auto [a1, a2] = alleles(tables, tables.snpLineOfIndex(snpIndex));
        variants[size_t(k)] = ld.find(id, locus.window.chromosome, locus.bp[size_t(k)], a1, a2);
        matched += variants[size_t(k)] >= 0;
    }
    if (variants[size_t(indexRow)] < 0)
        return matched;
    const Result<std::vector<double>> r2 = ld.r2(variants[size_t(indexRow)], variants);
    if (!r2)
        return r2.error();
    locus.r2 = *r2;
    return matched;
}

int LocusQuery::r2Bin(double r2)
{
    if (std::isnan(r2))
        return -1;
    return std::clamp(int(r2 * 5.0), 0, 4);
}

std::pair<QByteArray, QByteArray> LocusQuery::alleles(const DatasetTables &tables, int line)
{
    const auto [first, second] = alleleColumns(tables);
    if (first < 0 || line < 0)
        return {};
    // snpFields: chromosome, position, then the extra columns.
    const QStringList fields = tables.snpFields(line);
    return {fields.value(2 + first).toUtf8(), fields.value(2 + second).toUtf8()};
}

} // namespace quillmap
