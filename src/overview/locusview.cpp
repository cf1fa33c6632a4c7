#include "overview/locusview.h"

#include "browse/significance.h"
#include "common/pointtooltip.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

namespace quillmap {

LocusView::LocusView(QWidget *parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    setMinimumHeight(160);
}

void LocusView::setScene(const LocusWindow &window, std::vector<LocusQuery::Locus> series, int indexRow,
                         double significanceScore, bool withLd)
{
    m_window = window;
    m_series = std::move(series);
    m_indexRow = indexRow;
    m_significance = significanceScore;
    m_withLd = withLd;
    m_dragDx = 0;
    update();
}

LocusPainter::Scene LocusView::scene() const
{
    LocusPainter::Scene scene;
    for (const LocusQuery::Locus &locus : m_series)
        scene.series.push_back(&locus);
    scene.indexRow = m_indexRow;
    if (!m_series.empty() && m_indexRow >= 0 && m_snpText)
        scene.indexName = m_snpText(m_series.front().rows.rows[size_t(m_indexRow)].snpIndex);
    scene.significanceScore = m_significance;
    scene.withLd = m_withLd;
    scene.rates = m_rates;
    return scene;
}

double LocusView::scoreMax() const
{
    double most = 0;
    for (const LocusQuery::Locus &locus : m_series) {
        for (const double s : locus.scores) {
            if (std::isfinite(s))
                most = std::max(most, s);
        }
    }
    return most;
}

LocusGeometry LocusView::geometryNow() const
{
    LocusWindow shown = m_window;
    if (m_dragDx != 0)
        shown = m_window.panned(LocusGeometry(m_window, 0, width(), height()).panOf(m_dragDx));
    return LocusGeometry(shown, scoreMax(), width(), height());
}

std::pair<int, int> LocusView::pointAt(QPointF pos) const
{
    const LocusGeometry geometry = geometryNow();
    std::pair<int, int> best{-1, -1};
    double bestDistance = 36; // 6 pixels, squared
    for (int s = 0; s < int(m_series.size()); ++s) {
        const LocusQuery::Locus &locus = m_series[size_t(s)];
        for (int k = 0; k < locus.count(); ++k) {
            if (std::isnan(locus.scores[size_t(k)]))
                continue;
            const double dx = geometry.xOf(double(locus.bp[size_t(k)])) - pos.x();
            const double dy = geometry.yOf(locus.scores[size_t(k)]) - pos.y();
            if (dx * dx + dy * dy < bestDistance) {
                bestDistance = dx * dx + dy * dy;
                best = {s, k};
            }
        }
    }
    return best;
}

QString LocusView::toolTipAt(QPointF pos) const
{
    const auto [s, k] = pointAt(pos);
    if (s < 0)
        return {};
    const LocusQuery::Locus &locus = m_series[size_t(s)];
    const int snp = locus.rows.rows[size_t(k)].snpIndex;
    QStringList lines{m_snpText ? m_snpText(snp) : QString::number(snp), locus.trait,
                      tr("Position: %1").arg(locus.bp[size_t(k)])};
    lines << pointStatisticLines(m_names, [&](int statistic) { return locus.rows.statistic(k, statistic); });
    if (!locus.r2.empty() && !std::isnan(locus.r2[size_t(k)]))
        lines << tr("r2: %1").arg(locus.r2[size_t(k)], 0, 'g', 3);
    return lines.join(u'\n');
}

void LocusView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    LocusPainter::paintPlot(painter, geometryNow(), scene());
}

void LocusView::wheelEvent(QWheelEvent *event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0)
        emit zoomRequested(std::pow(0.8, steps), geometryNow().bpAt(event->position().x()));
    event->accept();
}

void LocusView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_pressX = event->position().x();
        m_dragDx = 0;
    }
    QWidget::mousePressEvent(event);
}

void LocusView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton)) {
        m_dragDx = event->position().x() - m_pressX;
        emit windowDragged(geometryNow().window());
        update();
    }
    QWidget::mouseMoveEvent(event);
}

void LocusView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_dragging)
        return QWidget::mouseReleaseEvent(event);
    m_dragging = false;
    const double dx = event->position().x() - m_pressX;
    if (std::abs(dx) < 3) {
        // A click, not a drag.
        m_dragDx = 0;
        const auto [s, k] = pointAt(event->position());
        if (s == 0)
            emit indexChosen(k);
        return;
    }
    const qint64 delta = LocusGeometry(m_window, 0, width(), height()).panOf(dx);
    emit panRequested(delta);
}

bool LocusView::event(QEvent *event)
{
    return answerPointToolTip(this, event, [this](QPointF pos) { return toolTipAt(pos); })
        || QWidget::event(event);
}

} // namespace quillmap
