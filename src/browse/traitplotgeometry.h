#pragma once

#include <QList>
#include <QtGlobal>

#include <cmath>
#include <limits>
#include <vector>

namespace quillmap {
class DatasetTables;
struct ResultRows;
} // namespace quillmap

// Geometry of the genome-wide trait plot and of its PDF export: plain functions of the frame
// size and the plotted value range. Positions are in Mb; chromosome numbers are 1..23 (X = 23).
// All conversions of a coordinate to an integer truncate toward zero.
namespace quillmap::traitplot {

// Start of chromosome c (1..23) at entry c - 1, end of X at entry 23; Mb along the genome axis.
inline constexpr int OffsetCount = 24;
inline constexpr double Offsets[OffsetCount] = {
    0,           275.420458,  548.180357,  777.482642,  998.761479,  1209.385022, 1410.211656, 1598.830618,
    1775.094156, 1943.382057, 2108.705241, 2273.14114,  2435.530286, 2579.638407, 2715.995949, 2846.211532,
    2964.88051,  3073.514876, 3179.631028, 3273.416324, 3365.793282, 3442.702699, 3522.170933, 3706.664049};

// Truncation toward zero that cannot overflow: values outside int are clamped (and NaN is 0),
// so a wild statistic lands at the plot's edge instead of being undefined behaviour.
inline int truncToInt(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (v <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(v);
}

double chromosomeOffset(int entry);
// ceil(offset[23]) = 3707: the logical width of the genome axis.
int genomeExtent();

// Sides of the boxes the ellipses are inscribed in, in logical units: a point's box runs from
// (x, y) to (x + PointBox - 1, y + PointBox - 1). Selection circles are centred on their point.
inline constexpr int PointBox = 14;        // screen and export points
inline constexpr int CircleBox = 20;       // screen selection circles
inline constexpr int ExportCircleBox = 18; // export selection circles
// How far a screen circle's box starts before its point's box, on both axes.
inline constexpr int CircleInset = (CircleBox - PointBox) / 2;

// Logical x of a point on chromosome c at position p (Mb); no value for c outside 1..23. Inline:
// called for every row of a plot.
inline bool pointX(int chromosome, double positionMb, int *x)
{
    if (chromosome < 1 || chromosome > 23)
        return false;
    *x = truncToInt(std::floor(Offsets[chromosome - 1]) + 15 + positionMb);
    return true;
}

// Value scale: fmin = floor(valueMin), cmax = ceil(valueMax). When they are equal every value
// is drawn at mid height. `height` is the logical height scale (G on screen, G' in the export).
struct ValueScale {
    int fmin = 0;
    int cmax = 0;
    double height = 0.0;
    // Logical y of value v: trunc(floor(0.85 G - (v - fmin) 0.8 G / (cmax - fmin))).
    int y(double v) const { return truncToInt(std::floor(0.85 * height - fraction(v) * 0.8 * height)); }
    // Top of a screen selection circle's box, centred on the point of value v.
    int circleY(double v) const;
    // Fraction 0..1 of the value range above fmin (0.5 when the range is empty).
    double fraction(double v) const { return cmax == fmin ? 0.5 : (v - fmin) / double(cmax - fmin); }
    // Logical y of value v itself, not rounded: where its tick and the line at v are drawn.
    double exactY(double v) const;
    // exactY(v) when it falls inside the frame box, 0 .. trunc(0.9 height); false for NaN or a
    // value beyond the box.
    bool lineY(double v, double *y) const;
};
ValueScale makeScale(float valueMin, float valueMax, double height);

// Screen plot of a frame W x H pixels: R = H / (W - 40), G = 3707 R.
double screenHeightScale(int width, int height);
// Export: G' = 3707 x 320 / 975.
double exportHeightScale();

// Label step for values valueMin .. valueMax (quillmap::valueLabelStep).
int labelStep(float valueMin, float valueMax);
// Every multiple t of the step with valueMin - 1 < t < valueMax + 1 (ascending; at most
// `limit` values, so an absurd range cannot stall the drawing).
QList<int> labelValues(float valueMin, float valueMax, int limit = 1000);
// Device y of the baseline of label t on a screen frame of height H.
int screenLabelY(const ValueScale &scale, int frameHeight, double t);

// Label x of chromosome c (1..23) in a strip `stripWidth` logical units wide:
// floor((offset[c - 1] + offset[c]) x stripWidth / (2 x span)).
int stripMid(int chromosome, int stripWidth);

// Highlight thresholds: the plotted values at the upper and lower percentile ranks of n rows
// (0.99 / 0.01 up to 999 rows, 0.999 / 0.001 above). A rank past the end uses the largest value,
// and a lower rank past the end the smallest. NaN ranks above every number.
struct Thresholds {
    double top = 0.0;
    double bottom = 0.0;
    int upRank = 0;
    int lowRank = 0;
};
Thresholds percentileThresholds(const float *values, int n);

// What the plot draws of a trait's rows: per row the value of statistic choice `statistic` under
// transform `transform` (codes of applyTransform), with the value range and the thresholds; the
// rows' chromosomes (1..23) and positions (Mb) are the rows' own, filled in here for rows that a
// read did not place (a SNP without a line in the SNP information file is placed as that
// file's first line). A p of 0 under a logarithm is plotted from the dataset's -log10 column of
// the same p-values when it has one (negLog10Substitute; counted in `substituted`). A value that
// is still the missing value sets `missingValue` and `missingFrom` and ends the series there.
// `values` is reused when given (a panel's previous series).
struct TraitSeries {
    std::vector<float> values;
    float valueMin = 1000000.0f;
    float valueMax = -100000.0f;
    Thresholds thresholds;
    bool missingValue = false;
    float missingFrom = 0.0f; // the statistic whose transform gave the missing value
    int substitute = -1;      // the -log10 statistic standing in for p = 0, or -1
    qint64 substituted = 0;   // rows plotted from it
};
TraitSeries traitSeries(quillmap::ResultRows &rows, const DatasetTables &tables, int statistic, int transform,
                        std::vector<float> values = {});

} // namespace quillmap::traitplot
