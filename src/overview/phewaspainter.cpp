#include "overview/phewaspainter.h"

#include "figures/figureexport.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace quillmap {

QColor PhewasPainter::groupColour(const PhewasGeometry::Group &group, int g)
{
    static const QColor palette[] = {QColor(31, 119, 180),  QColor(255, 127, 14),  QColor(44, 160, 44),
                                     QColor(214, 39, 40),   QColor(148, 103, 189), QColor(140, 86, 75),
                                     QColor(227, 119, 194), QColor(188, 189, 34),  QColor(23, 190, 207)};
    if (group.name.isEmpty())
        return QColor(128, 128, 128);
    return palette[size_t(g) % std::size(palette)];
}

void PhewasPainter::paint(QPainter &painter, const PhewasGeometry &geometry, const QString &title)
{
    const double w = geometry.width();
    const double h = geometry.height();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRectF(0, 0, w, h), Qt::white);
    const double left = PhewasGeometry::Left;
    const double bottom = h - PhewasGeometry::Bottom;
    painter.setPen(Qt::black);
    painter.drawLine(QPointF(left, PhewasGeometry::Top), QPointF(left, bottom));
    painter.drawLine(QPointF(left, bottom), QPointF(w - PhewasGeometry::Right, bottom));
    painter.setFont(QFont(QStringLiteral("Helvetica"), 8));
    const int step = std::max(1, int(std::ceil(geometry.scoreMax() / 8)));
    for (int v = 0; v <= geometry.scoreMax(); v += step)
        figures::paintValueLabel(painter, QString::number(v), left - 25, geometry.yOf(v), left - 4, left);
    figures::paintAxisTitle(painter, QStringLiteral("-log10(p)"), 14, (PhewasGeometry::Top + bottom) / 2);
    painter.drawText(QRectF(left, 0, w - left, PhewasGeometry::Top), Qt::AlignCenter, title);

    painter.setPen(figures::significancePen());
    for (const double score : {geometry.bonferroniScore(), geometry.genomeWideScore()})
        painter.drawLine(QPointF(left, geometry.yOf(score)),
                         QPointF(w - PhewasGeometry::Right, geometry.yOf(score)));

    const std::vector<PhewasGeometry::Group> &groups = geometry.groups();
    for (int g = 0; g < int(groups.size()); ++g) {
        const PhewasGeometry::Group &group = groups[size_t(g)];
        painter.setPen(groupColour(group, g));
        // Group names read downwards under their span.
        painter.save();
        painter.translate((group.left + group.right) / 2 - 4, bottom + 4);
        painter.rotate(90);
        painter.drawText(QPointF(0, 0), group.name.isEmpty() ? QStringLiteral("(no group)") : group.name);
        painter.restore();
    }
    constexpr double R = 4.5;
    for (const PhewasGeometry::Point &point : geometry.points()) {
        const QColor colour = PhewasPainter::groupColour(groups[size_t(point.group)], point.group);
        painter.setPen(colour.darker(130));
        painter.setBrush(colour);
        if (point.direction == 0) {
            painter.drawEllipse(QPointF(point.x, point.y), R, R);
            continue;
        }
        const double tip = point.direction > 0 ? -R : R;
        QPainterPath triangle;
        triangle.moveTo(point.x, point.y + tip);
        triangle.lineTo(point.x - R, point.y - tip);
        triangle.lineTo(point.x + R, point.y - tip);
        triangle.closeSubpath();
        painter.drawPath(triangle);
    }
    // The best traits named beside their points.
    const QFontMetricsF metrics(painter.font());
    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    for (const PhewasGeometry::Label &label :
         geometry.labels([&](const QString &text) { return metrics.horizontalAdvance(text) + 2; },
                         metrics.height(), PhewasGeometry::LabelCount, R)) {
        painter.drawText(label.box, Qt::AlignCenter, geometry.points()[size_t(label.point)].trait);
    }
    painter.restore();
}

} // namespace quillmap
