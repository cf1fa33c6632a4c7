#include "browse/phewasgeometry.h"

#include <QMap>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace quillmap {

PhewasGeometry::EffectColumn PhewasGeometry::findEffectColumn(const QStringList &statisticNames)
{
    static const QRegularExpression signedName(
        QStringLiteral("^(beta|b|effect|log_?or|t|z|t_?stat|z_?stat|z_?score|tstat|zscore)$"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression ratioName(QStringLiteral("^(or|odds_?ratio)$"),
                                              QRegularExpression::CaseInsensitiveOption);
    for (qsizetype i = 0; i < statisticNames.size(); ++i) {
        const QString name = statisticNames[i].trimmed();
        if (signedName.match(name).hasMatch())
            return {int(i), false};
        if (ratioName.match(name).hasMatch())
            return {int(i), true};
    }
    return {};
}

int PhewasGeometry::direction(const EffectColumn &column, float value)
{
    if (!column.valid() || std::isnan(value))
        return 0;
    // An odds ratio's direction is its log's sign; one not above zero has none.
    const double effect = column.ratio ? (value > 0 ? std::log(double(value)) : NAN) : double(value);
    if (std::isnan(effect) || effect == 0.0)
        return 0;
    return effect > 0 ? 1 : -1;
}

PhewasGeometry::PhewasGeometry(const VariantQuery::Table &table, const QStringList &statisticNames,
                               double width, double height)
    : m_effect(findEffectColumn(statisticNames)),
      m_width(width),
      m_height(height)
{
    // Groups by name, the ungrouped after them; traits by name within a group.
    QMap<QString, std::vector<int>> grouped;
    std::vector<int> ungrouped;
    int scored = 0;
    for (int r = 0; r < int(table.rows.size()); ++r) {
        const VariantQuery::TraitRow &row = table.rows[size_t(r)];
        if (std::isnan(row.score))
            continue;
        ++scored;
        if (std::isfinite(row.score))
            m_scoreMax = std::max(m_scoreMax, row.score);
        const QString group = row.groups.section(QStringLiteral(", "), 0, 0);
        if (group.isEmpty())
            ungrouped.push_back(r);
        else
            grouped[group].push_back(r);
    }
    m_bonferroni = -std::log10(0.05 / std::max(1, scored));
    m_genomeWide = -std::log10(GenomeWideP);
    m_scoreMax = std::max({m_scoreMax, m_bonferroni, m_genomeWide}) * 1.05;

    std::vector<std::pair<QString, std::vector<int>>> order;
    for (auto it = grouped.cbegin(); it != grouped.cend(); ++it)
        order.emplace_back(it.key(), it.value());
    if (!ungrouped.empty())
        order.emplace_back(QString(), ungrouped);
    const double plotWidth = std::max(1.0, width - Left - Right);
    const double step = scored > 0 ? plotWidth / scored : plotWidth;
    int slot = 0;
    for (auto &[name, rows] : order) {
        std::sort(rows.begin(), rows.end(),
                  [&](int a, int b) { return table.rows[size_t(a)].trait < table.rows[size_t(b)].trait; });
        Group group{name, Left + slot * step, 0.0};
        for (const int r : rows) {
            const VariantQuery::TraitRow &row = table.rows[size_t(r)];
            Point point;
            point.row = r;
            point.group = int(m_groups.size());
            point.x = Left + (slot + 0.5) * step;
            point.y = yOf(std::min(row.score, m_scoreMax));
            point.trait = row.trait;
            point.direction = m_effect.valid() && size_t(m_effect.statistic) < row.statistics.size()
                ? direction(m_effect, row.statistics[size_t(m_effect.statistic)])
                : 0;
            m_points.push_back(point);
            ++slot;
        }
        group.right = Left + slot * step;
        m_groups.push_back(group);
    }
}

double PhewasGeometry::yOf(double score) const
{
    const double plotHeight = std::max(1.0, m_height - Top - Bottom);
    return m_height - Bottom - score / m_scoreMax * plotHeight;
}

std::vector<PhewasGeometry::Label> PhewasGeometry::labels(
    const std::function<double(const QString &)> &textWidth, double textHeight, int count,
    double markerRadius) const
{
    std::vector<int> tallest(m_points.size());
    for (size_t k = 0; k < tallest.size(); ++k)
        tallest[k] = int(k);
    std::stable_sort(tallest.begin(), tallest.end(),
                     [&](int a, int b) { return m_points[size_t(a)].y < m_points[size_t(b)].y; });
    if (int(tallest.size()) > count)
        tallest.resize(size_t(std::max(0, count)));

    const QRectF area(Left, Top, std::max(0.0, m_width - Left - Right),
                      std::max(0.0, m_height - Top - Bottom));
    std::vector<QRectF> taken;
    taken.reserve(m_points.size() + tallest.size());
    for (const Point &p : m_points)
        taken.emplace_back(p.x - markerRadius, p.y - markerRadius, 2 * markerRadius, 2 * markerRadius);
    const double gap = 2.0;
    std::vector<Label> placed;
    for (const int k : tallest) {
        const Point &p = m_points[size_t(k)];
        const double w = textWidth(p.trait);
        const double h = textHeight;
        const double near = markerRadius + gap;
        // Beside, above and below, the corners, then the same a line and two further out.
        std::vector<QPointF> corners;
        for (int ring = 0; ring < 3; ++ring) {
            const double out = near + ring * h;
            corners.insert(corners.end(),
                           {{p.x + out, p.y - h / 2},
                            {p.x - out - w, p.y - h / 2},
                            {p.x - w / 2, p.y - out - h},
                            {p.x - w / 2, p.y + out},
                            {p.x + out, p.y - out - h},
                            {p.x - out - w, p.y - out - h},
                            {p.x + out, p.y + out},
                            {p.x - out - w, p.y + out}});
        }
        for (const QPointF &corner : corners) {
            const QRectF box(corner, QSizeF(w, h));
            if (!area.contains(box))
                continue;
            const bool clear = std::none_of(taken.cbegin(), taken.cend(),
                                            [&](const QRectF &other) { return other.intersects(box); });
            if (!clear)
                continue;
            taken.push_back(box);
            placed.push_back({k, box});
            break;
        }
    }
    return placed;
}

int PhewasGeometry::pointAt(double x, double y, double radius) const
{
    int best = -1;
    double bestDistance = radius * radius;
    for (int k = 0; k < int(m_points.size()); ++k) {
        const double dx = m_points[size_t(k)].x - x;
        const double dy = m_points[size_t(k)].y - y;
        const double distance = dx * dx + dy * dy;
        if (distance <= bestDistance) {
            best = k;
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace quillmap
