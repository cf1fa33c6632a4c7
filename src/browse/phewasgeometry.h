#pragma once

#include "browse/variantquery.h"

#include <QRectF>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// Where the points of a plot of every trait at one variant go: traits along x, grouped by
// their first trait group (ungrouped last), -log10 p up y; the direction of each trait's
// effect and the two significance lines. Pixel coordinates of a plot `width` x `height`.
// GUI-free.
namespace quillmap {

class PhewasGeometry final
{
public:
    // The statistic whose sign is the effect's direction: a beta or effect, an odds ratio (its
    // log), or a t or z statistic. statistic < 0: none.
    struct EffectColumn {
        int statistic = -1;
        bool ratio = false;
        bool valid() const { return statistic >= 0; }
    };
    static EffectColumn findEffectColumn(const QStringList &statisticNames);
    // +1, -1, or 0 (no sign: none, zero, NaN, an odds ratio of 1 or not positive).
    static int direction(const EffectColumn &column, float value);

    struct Point {
        int row = 0;   // in the table
        int group = 0; // in groupNames; the last one is ungrouped when `ungrouped`
        double x = 0.0;
        double y = 0.0;
        int direction = 0;
        QString trait;
    };
    // A trait's name placed beside its point.
    struct Label {
        int point = 0; // in points()
        QRectF box;    // where the text goes
    };
    struct Group {
        QString name; // empty: ungrouped
        double left = 0.0;
        double right = 0.0;
    };

    // Margins around the plotting area, in pixels.
    static constexpr double Left = 60.0;
    static constexpr double Right = 15.0;
    static constexpr double Top = 15.0;
    static constexpr double Bottom = 70.0;

    PhewasGeometry(const VariantQuery::Table &table, const QStringList &statisticNames, double width,
                   double height);

    const std::vector<Point> &points() const { return m_points; }
    const std::vector<Group> &groups() const { return m_groups; }
    double width() const { return m_width; }
    double height() const { return m_height; }
    double scoreMax() const { return m_scoreMax; }
    // -log10 of 0.05 / the traits shown (with a p-value), and of 5e-8.
    double bonferroniScore() const { return m_bonferroni; }
    double genomeWideScore() const { return m_genomeWide; }
    double yOf(double score) const;
    // The point nearest `x`, `y` within `radius` pixels; -1 when none. Returns its index.
    int pointAt(double x, double y, double radius = 6.0) const;
    EffectColumn effectColumn() const { return m_effect; }

    // Names for the `count` tallest points, tallest first: each box `textWidth(name)` x
    // `textHeight` takes the first of a few places around its point (right, left, above,
    // below, then the corners and further out) that stays inside the plotting area and overlaps
    // no other label and no point (a marker of `markerRadius`); a name with no such place is
    // left out.
    static constexpr int LabelCount = 5;
    std::vector<Label> labels(const std::function<double(const QString &)> &textWidth, double textHeight,
                              int count = LabelCount, double markerRadius = 4.5) const;

private:
    std::vector<Point> m_points;
    std::vector<Group> m_groups;
    EffectColumn m_effect;
    double m_width = 0.0;
    double m_height = 0.0;
    double m_scoreMax = 1.0;
    double m_bonferroni = 0.0;
    double m_genomeWide = 0.0;
};

} // namespace quillmap
