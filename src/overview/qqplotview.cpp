#include "overview/qqplotview.h"

#include "figures/qqplotpainter.h"

#include <QPainter>

namespace quillmap {

QqPlotView::QqPlotView(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(200, 200);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void QqPlotView::setPlot(quillmap::QqPlotData data, const QString &trait)
{
    m_data = std::move(data);
    m_trait = trait;
    update();
}

void QqPlotView::clear()
{
    m_data = {};
    m_trait.clear();
    update();
}

void QqPlotView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (hasPlot())
        quillmap::figures::paintQqPlot(painter, size(), m_data, m_trait);
}

} // namespace quillmap
