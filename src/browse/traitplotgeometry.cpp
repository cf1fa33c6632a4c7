#include "browse/traitplotgeometry.h"

#include "dataset/transform.h"
#include "browse/significance.h"
#include "browse/valuelabels.h"
#include "dataset/datasettables.h"
#include "dataset/regionsearch.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quillmap {

namespace traitplot {

namespace {

constexpr double Offsets[OffsetCount] = {
    0,           275.420458,  548.180357,  777.482642,  998.761479,  1209.385022, 1410.211656, 1598.830618,
    1775.094156, 1943.382057, 2108.705241, 2273.14114,  2435.530286, 2579.638407, 2715.995949, 2846.211532,
    2964.88051,  3073.514876, 3179.631028, 3273.416324, 3365.793282, 3442.702699, 3522.170933, 3706.664049};

// Truncation toward zero that cannot overflow: values outside int are clamped (and NaN is 0),
// so a wild statistic lands at the plot's edge instead of being undefined behaviour.
int truncToInt(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (v <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(v);
}

} // namespace

double chromosomeOffset(int entry)
{
    return (entry >= 0 && entry < OffsetCount) ? Offsets[entry] : 0.0;
}

int genomeExtent()
{
    return int(std::ceil(Offsets[OffsetCount - 1]));
}

bool pointX(int chromosome, double positionMb, int *x)
{
    if (chromosome < 1 || chromosome > 23)
        return false;
    *x = truncToInt(std::floor(Offsets[chromosome - 1]) + 15 + positionMb);
    return true;
}

double ValueScale::fraction(double v) const
{
    if (cmax == fmin)
        return 0.5;
    return (v - fmin) / double(cmax - fmin);
}

int ValueScale::y(double v) const
{
    return truncToInt(std::floor(0.85 * height - fraction(v) * 0.8 * height));
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
    // Only two ranks are needed: select them instead of sorting everything (a trait can have
    // millions of rows). NaN orders last, so it never becomes a threshold unless every value
    // is NaN; values that compare equal are interchangeable as thresholds.
    auto less = [](float a, float b) {
        if (std::isnan(a))
            return false;
        if (std::isnan(b))
            return true;
        return a < b;
    };
    std::vector<float> ranked(values, values + n);
    const size_t topAt = size_t(t.upRank < n ? t.upRank : n - 1);
    const size_t bottomAt = size_t(t.lowRank < n ? t.lowRank : 0);
    std::nth_element(ranked.begin(), ranked.begin() + ptrdiff_t(topAt), ranked.end(), less);
    const float top = ranked[topAt];
    // Everything before topAt is now no greater than it, everything after no smaller.
    if (bottomAt < topAt)
        std::nth_element(ranked.begin(), ranked.begin() + ptrdiff_t(bottomAt),
                         ranked.begin() + ptrdiff_t(topAt), less);
    else if (bottomAt > topAt)
        std::nth_element(ranked.begin() + ptrdiff_t(topAt) + 1, ranked.begin() + ptrdiff_t(bottomAt),
                         ranked.end(), less);
    t.top = top;
    t.bottom = ranked[bottomAt];
    return t;
}

TraitSeries traitSeries(const quillmap::ResultRows &rows, const DatasetTables &tables, int statistic,
                        int transform)
{
    TraitSeries series;
    const int n = rows.count();
    series.chromosomes.resize(size_t(n));
    series.positions.resize(size_t(n));
    series.values.resize(size_t(n));
    // A read has placed every SNP already; rows made otherwise are looked up here.
    const bool placed = rows.chromosomes.size() == size_t(n) && rows.positions.size() == size_t(n);
    series.substitute = negLog10Substitute(tables.statisticNames, statistic, transform);
    for (int i = 0; i < n; ++i) {
        const int found = placed ? 0 : tables.snpLineOfIndex(rows.rows[size_t(i)].snpIndex);
        const int line = found < 0 ? 0 : found;
        const float raw = rows.statistic(i, statistic);
        float stood = 0.0f;
        if (series.substitute >= 0)
            stood = rows.statistic(i, series.substitute);
        bool substituted = false;
        const float value = transformWithSubstitute(raw, transform, series.substitute >= 0 ? &stood : nullptr,
                                                    &substituted);
        series.substituted += substituted ? 1 : 0;
        series.positions[size_t(i)] = placed ? rows.positions[size_t(i)] : float(tables.snpPosition(line));
        series.values[size_t(i)] = value;
        if (value == MissingValue) {
            series.missingValue = true;
            series.missingFrom = raw;
            return series;
        }
        series.chromosomes[size_t(i)] = placed ? rows.chromosomes[size_t(i)] : tables.snpChromosome(line);
        series.valueMax = std::max(series.valueMax, value);
        series.valueMin = std::min(series.valueMin, value);
    }
    series.thresholds = percentileThresholds(series.values.data(), n);
    return series;
}

} // namespace traitplot

} // namespace quillmap
