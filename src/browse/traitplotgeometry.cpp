#include "browse/traitplotgeometry.h"

#include "dataset/transform.h"
#include "browse/significance.h"
#include "browse/valuelabels.h"
#include "dataset/datasettables.h"
#include "dataset/regionsearch.h"
#include "io/vectorstorage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace quillmap {

namespace traitplot {

double chromosomeOffset(int entry)
{
    return (entry >= 0 && entry < OffsetCount) ? Offsets[entry] : 0.0;
}

int genomeExtent()
{
    return int(std::ceil(Offsets[OffsetCount - 1]));
}

double ValueScale::exactY(double v) const
{
    return 0.85 * height - fraction(v) * 0.8 * height;
}

bool ValueScale::lineY(double v, double *y) const
{
    if (!std::isfinite(v))
        return false;
    const double at = exactY(v);
    if (at < 0.0 || at > std::trunc(0.9 * height))
        return false;
    *y = at;
    return true;
}

int ValueScale::circleY(double v) const
{
    const int top = y(v);
    return top >= std::numeric_limits<int>::min() + CircleInset ? top - CircleInset : top;
}

ValueScale makeScale(float valueMin, float valueMax, double height)
{
    ValueScale scale;
    scale.fmin = truncToInt(std::floor(double(valueMin)));
    scale.cmax = truncToInt(std::ceil(double(valueMax)));
    scale.height = height;
    return scale;
}

double screenHeightScale(int width, int height)
{
    if (width <= 40)
        return 0.0;
    return genomeExtent() * (double(height) / double(width - 40));
}

double exportHeightScale()
{
    return genomeExtent() * 0.3282051282051282;
}

int labelStep(float valueMin, float valueMax)
{
    return quillmap::valueLabelStep(valueMin, valueMax);
}

QList<int> labelValues(float valueMin, float valueMax, int limit)
{
    const std::vector<int> labels = quillmap::valueLabels(valueMin, valueMax, labelStep(valueMin, valueMax));
    return QList<int>(labels.begin(), labels.begin() + std::min<qsizetype>(qsizetype(labels.size()), limit));
}

int screenLabelY(const ValueScale &scale, int frameHeight, double t)
{
    const double h = frameHeight - 35;
    return truncToInt(std::floor(h * 0.85 + 10 - scale.fraction(t) * h * 0.8));
}

int stripMid(int chromosome, int stripWidth)
{
    if (chromosome < 1 || chromosome > 23)
        return 0;
    const double span = Offsets[OffsetCount - 1] - Offsets[0];
    return truncToInt(std::floor((Offsets[chromosome - 1] + Offsets[chromosome]) * stripWidth / (2 * span)));
}

namespace {

// A float's order as an unsigned key: numbers in their order (-0 just before +0), NaN last.
quint32 orderKey(float v)
{
    if (std::isnan(v))
        return 0xFFFFFFFFu;
    quint32 bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    return bits & 0x80000000u ? ~bits : bits | 0x80000000u;
}

// The values at ranks `ranks[0..1]` (0-based, ascending order), by the keys' upper then lower
// 16 bits: two passes over the values and no copy of them (a trait can have millions of rows).
void selectRanks(const float *values, int n, const size_t ranks[2], float out[2])
{
    std::vector<quint32> counts(65536);
    for (int i = 0; i < n; ++i)
        ++counts[orderKey(values[i]) >> 16];
    quint32 upper[2] = {0, 0};
    size_t below[2] = {0, 0}; // values in the buckets under upper[r]
    for (int r = 0; r < 2; ++r) {
        size_t seen = 0;
        quint32 bucket = 0;
        while (seen + counts[bucket] <= ranks[r])
            seen += counts[bucket++];
        upper[r] = bucket;
        below[r] = seen;
    }
    std::vector<quint32> lower[2] = {std::vector<quint32>(65536),
                                     std::vector<quint32>(upper[1] == upper[0] ? 0 : 65536)};
    std::vector<quint32> &second = upper[1] == upper[0] ? lower[0] : lower[1];
    for (int i = 0; i < n; ++i) {
        const quint32 key = orderKey(values[i]);
        if (key >> 16 == upper[0])
            ++lower[0][key & 0xFFFFu];
        else if (key >> 16 == upper[1])
            ++second[key & 0xFFFFu];
    }
    for (int r = 0; r < 2; ++r) {
        const std::vector<quint32> &counted = r == 0 ? lower[0] : second;
        size_t seen = below[r];
        quint32 low = 0;
        while (seen + counted[low] <= ranks[r])
            seen += counted[low++];
        const quint32 key = upper[r] << 16 | low;
        if (key == 0xFFFFFFFFu) {
            out[r] = std::numeric_limits<float>::quiet_NaN();
            continue;
        }
        const quint32 bits = key & 0x80000000u ? key & 0x7FFFFFFFu : ~key;
        std::memcpy(&out[r], &bits, sizeof bits);
    }
}

} // namespace

Thresholds percentileThresholds(const float *values, int n)
{
    Thresholds t;
    if (n <= 0 || !values)
        return t;
    if (n <= 999) {
        t.upRank = int(std::ceil(n * 0.99));
        t.lowRank = int(std::ceil(n * 0.01));
    } else {
        t.upRank = int(std::ceil(n * 0.999));
        t.lowRank = int(std::ceil(n * 0.001));
    }
    // Only two ranks are needed: selected by their keys instead of sorting everything; values
    // that compare equal are interchangeable as thresholds.
    const size_t ranks[2] = {size_t(t.upRank < n ? t.upRank : n - 1), size_t(t.lowRank < n ? t.lowRank : 0)};
    float found[2];
    selectRanks(values, n, ranks, found);
    t.top = found[0];
    t.bottom = found[1];
    return t;
}

TraitSeries traitSeries(quillmap::ResultRows &rows, const DatasetTables &tables, int statistic, int transform,
                        std::vector<float> values)
{
    TraitSeries series;
    const int n = rows.count();
    // A read has placed every SNP already; rows made otherwise are placed here.
    if (rows.chromosomes.size() != size_t(n) || rows.positions.size() != size_t(n)) {
        rows.chromosomes.resize(size_t(n));
        rows.positions.resize(size_t(n));
        for (int i = 0; i < n; ++i) {
            const int found = tables.snpLineOfIndex(rows.rows[size_t(i)].snpIndex);
            const int line = found < 0 ? 0 : found;
            const int c = tables.snpChromosome(line);
            rows.chromosomes[size_t(i)] = quint8(c >= 0 && c <= 255 ? c : 0);
            rows.positions[size_t(i)] = float(tables.snpPosition(line));
        }
    }
    series.values = std::move(values);
    resizeForOverwrite(series.values, size_t(n));
    series.substitute = negLog10Substitute(tables.statisticNames, statistic, transform);
    for (int i = 0; i < n; ++i) {
        const float raw = rows.statistic(i, statistic);
        float stood = 0.0f;
        if (series.substitute >= 0)
            stood = rows.statistic(i, series.substitute);
        bool substituted = false;
        const float value = transformWithSubstitute(raw, transform, series.substitute >= 0 ? &stood : nullptr,
                                                    &substituted);
        series.substituted += substituted ? 1 : 0;
        series.values[size_t(i)] = value;
        if (value == MissingValue) {
            series.missingValue = true;
            series.missingFrom = raw;
            return series;
        }
        series.valueMax = std::max(series.valueMax, value);
        series.valueMin = std::min(series.valueMin, value);
    }
    series.thresholds = percentileThresholds(series.values.data(), n);
    return series;
}

} // namespace traitplot

} // namespace quillmap
