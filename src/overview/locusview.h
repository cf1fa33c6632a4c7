#pragma once

#include "browse/locusgeometry.h"
#include "overview/locuspainter.h"

#include <QWidget>

#include <vector>

namespace quillmap {

// The locus plot at the widget's size. The wheel zooms about the pointer, a drag pans (the
// points move with the pointer at once; the window is read again when the button is let go), a
// click on a point of the first trait makes it the index variant; the hover names a point.
class LocusView final : public QWidget
{
    Q_OBJECT

public:
    explicit LocusView(QWidget *parent = nullptr);

    // `series` (the shown trait first, then overlays) of `window`.
    void setScene(const LocusWindow &window, std::vector<LocusQuery::Locus> series, int indexRow,
                  double significanceScore, bool withLd);
    void setRates(std::vector<std::pair<qint64, double>> rates) { m_rates = std::move(rates); }
    const LocusWindow &window() const { return m_window; }
    const std::vector<LocusQuery::Locus> &series() const { return m_series; }
    int indexRow() const { return m_indexRow; }
    LocusPainter::Scene scene() const;
    LocusGeometry geometryNow() const;
    // The largest finite score shown; the y axis reaches past it.
    double scoreMax() const;
    // Series and row of the point under `pos` (the nearest within 6 pixels); {-1, -1} for none.
    std::pair<int, int> pointAt(QPointF pos) const;
    QString toolTipAt(QPointF pos) const;
    // Set by the tab: names and statistics for the hover.
    void setStatisticNames(QStringList names) { m_names = std::move(names); }
    void setSnpText(std::function<QString(int snpIndex)> snpText) { m_snpText = std::move(snpText); }

    QSize sizeHint() const override { return {900, 420}; }

signals:
    void zoomRequested(double factor, double anchorBp);
    void panRequested(qint64 deltaBp);
    void indexChosen(int row);
    // Painted while dragging: the window the drag has reached so far.
    void windowDragged(const LocusWindow &window);

protected:
    void paintEvent(QPaintEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool event(QEvent *event) override;

private:
    LocusWindow m_window;
    std::vector<LocusQuery::Locus> m_series;
    std::vector<std::pair<qint64, double>> m_rates;
    int m_indexRow = -1;
    double m_significance = 0;
    bool m_withLd = false;
    QStringList m_names;
    std::function<QString(int)> m_snpText;
    // A drag in progress: where it started and how far it has moved.
    bool m_dragging = false;
    double m_pressX = 0;
    double m_dragDx = 0;
};

} // namespace quillmap
