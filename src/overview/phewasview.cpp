#include "overview/phewasview.h"

#include "common/pointtooltip.h"
#include "overview/phewaspainter.h"

#include <QMouseEvent>
#include <QPainter>

namespace quillmap {

PhewasView::PhewasView(QWidget *parent)
    : QWidget(parent)
{
    setMouseTracking(true);
}

void PhewasView::setPlot(VariantQuery::Table table, QStringList statisticNames, QString title)
{
    m_table = std::move(table);
    m_names = std::move(statisticNames);
    m_title = std::move(title);
    update();
}

PhewasGeometry PhewasView::geometryNow() const
{
    return PhewasGeometry(m_table, m_names, width(), height());
}

QString PhewasView::toolTipAt(QPointF pos) const
{
    const PhewasGeometry geometry = geometryNow();
    const int k = geometry.pointAt(pos.x(), pos.y());
    if (k < 0)
        return {};
    const VariantQuery::TraitRow &row = m_table.rows[size_t(geometry.points()[size_t(k)].row)];
    QStringList lines{row.trait};
    if (!row.groups.isEmpty())
        lines << tr("Groups: %1").arg(row.groups);
    lines << tr("P: %1").arg(formatPValue(row.score));
    const PhewasGeometry::EffectColumn effect = geometry.effectColumn();
    if (effect.valid())
        lines << QStringLiteral("%1: %2")
                     .arg(m_names.value(effect.statistic))
                     .arg(double(row.statistics.at(size_t(effect.statistic))), 0, 'g', 6);
    return lines.join(u'\n');
}

void PhewasView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    PhewasPainter::paint(painter, geometryNow(), m_title);
}

void PhewasView::mousePressEvent(QMouseEvent *event)
{
    const PhewasGeometry geometry = geometryNow();
    const int k = geometry.pointAt(event->position().x(), event->position().y());
    if (k >= 0)
        emit traitChosen(m_table.rows[size_t(geometry.points()[size_t(k)].row)].trait);
    QWidget::mousePressEvent(event);
}

bool PhewasView::event(QEvent *event)
{
    return answerPointToolTip(this, event, [this](QPointF pos) { return toolTipAt(pos); })
        || QWidget::event(event);
}

} // namespace quillmap
