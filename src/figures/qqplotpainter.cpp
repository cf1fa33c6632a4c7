#include "figures/qqplotpainter.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace quillmap::figures {

namespace {

constexpr double LeftMargin = 62.0;
constexpr double RightMargin = 20.0;
constexpr double TopMargin = 34.0;
constexpr double BottomMargin = 48.0;
constexpr double PointRadius = 2.5;

double niceStep(double span)
{
    for (const double step : {0.5, 1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0}) {
        if (span / step <= 10.0)
            return step;
    }
    return std::ceil(span / 10.0 / 100.0) * 100.0;
}

} // namespace

QPointF QqGeometry::map(double expected, double observed) const
{
    const double x = std::clamp(expected, 0.0, xMax);
    const double y = std::clamp(observed, 0.0, yMax);
    return {plot.left() + x / xMax * plot.width(), plot.bottom() - y / yMax * plot.height()};
}

QqGeometry qqGeometry(QSizeF size, const QqPlotData &data)
{
    QqGeometry g;
    g.plot = QRectF(LeftMargin, TopMargin, std::max(10.0, size.width() - LeftMargin - RightMargin),
                    std::max(10.0, size.height() - TopMargin - BottomMargin));
    double top = std::max(data.maxObserved, data.maxExpected);
    for (const double u : data.bandUpper)
        top = std::max(top, u);
    g.xMax = std::max(1.0, std::ceil(data.maxExpected));
    g.yMax = std::max(1.0, std::ceil(top));
    g.xStep = niceStep(g.xMax);
    g.yStep = niceStep(g.yMax);
    return g;
}

QString qqTitle(const QString &trait, const QqPlotData &data)
{
    return QStringLiteral("%1   lambda_GC = %2   (%3 p-values)")
        .arg(trait, formatLambda(data.lambda), QString::number(data.count));
}

void paintQqPlot(QPainter &painter, QSizeF size, const QqPlotData &data, const QString &trait)
{
    const QqGeometry g = qqGeometry(size, data);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);

    // Band first, so the points stay on top of it.
    if (data.bandExpected.size() >= 2) {
        QPolygonF band;
        for (size_t i = 0; i < data.bandExpected.size(); ++i)
            band << g.map(data.bandExpected[i], data.bandUpper[i]);
        for (size_t i = data.bandExpected.size(); i-- > 0;)
            band << g.map(data.bandExpected[i], data.bandLower[i]);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(210, 210, 210));
        painter.drawPolygon(band);
    }

    QFont font(QStringLiteral("Helvetica"));
    font.setPixelSize(12);
    painter.setFont(font);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(120, 120, 120), 1.0));
    for (double t = 0.0; t <= g.xMax + 1e-9; t += g.xStep) {
        const QPointF at = g.map(t, 0.0);
        painter.drawLine(at, at + QPointF(0, 4));
        painter.drawText(QRectF(at.x() - 20, at.y() + 6, 40, 16), Qt::AlignHCenter | Qt::AlignTop,
                         QString::number(t));
    }
    for (double t = 0.0; t <= g.yMax + 1e-9; t += g.yStep) {
        const QPointF at = g.map(0.0, t);
        painter.drawLine(at, at - QPointF(4, 0));
        painter.drawText(QRectF(at.x() - 46, at.y() - 8, 40, 16), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(t));
    }
    painter.drawText(QRectF(g.plot.left(), g.plot.bottom() + 24, g.plot.width(), 18), Qt::AlignCenter,
                     QStringLiteral("Expected -log10(p)"));
    painter.save();
    painter.translate(14, g.plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-g.plot.height() / 2, -9, g.plot.height(), 18), Qt::AlignCenter,
                     QStringLiteral("Observed -log10(p)"));
    painter.restore();

    const double diagonal = std::min(g.xMax, g.yMax);
    painter.setPen(QPen(Qt::red, 1.0));
    painter.drawLine(g.map(0.0, 0.0), g.map(diagonal, diagonal));

    painter.setPen(QPen(Qt::blue, 1.0));
    painter.setBrush(Qt::blue);
    for (size_t i = 0; i < data.expected.size(); ++i)
        painter.drawEllipse(g.map(data.expected[i], data.observed[i]), PointRadius, PointRadius);

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::black, 1.0));
    painter.drawRect(g.plot);
    QFont titleFont = font;
    titleFont.setPixelSize(14);
    painter.setFont(titleFont);
    painter.drawText(QRectF(g.plot.left(), 6, g.plot.width(), 22), Qt::AlignLeft | Qt::AlignVCenter,
                     qqTitle(trait, data));
    painter.restore();
}

} // namespace quillmap::figures
