#include "overview/locusgeneview.h"

#include "overview/locuspainter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QResizeEvent>

namespace quillmap {

LocusGeneView::LocusGeneView(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

LocusGeometry LocusGeneView::geometryAt(double width) const
{
    return LocusGeometry(m_window, 0, width, 100);
}

void LocusGeneView::setWindow(const QString &folder, const LocusWindow &window)
{
    m_folder = folder;
    m_window = window;
    pack();
}

void LocusGeneView::pack()
{
    const QFontMetricsF metrics(QFont(QStringLiteral("Helvetica"), 8));
    const int before = m_rows;
    m_genes = packLocusGenes(
        m_folder, geometryAt(width()), [&](const QString &name) { return metrics.horizontalAdvance(name); },
        &m_rows);
    if (m_rows != before)
        updateGeometry();
    update();
}

QSize LocusGeneView::sizeHint() const
{
    return {900, int(LocusPainter::genesHeight(m_rows))};
}

void LocusGeneView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    LocusPainter::paintGenes(painter, geometryAt(width()), m_genes, height());
}

void LocusGeneView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (event->size().width() != event->oldSize().width() && !m_folder.isEmpty())
        pack();
}

} // namespace quillmap
