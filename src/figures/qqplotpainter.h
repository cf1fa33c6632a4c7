#pragma once

#include "browse/significance.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

class QPainter;

// The QQ plot of one trait's p-values: observed against expected -log10 p, the diagonal, the 95%
// band of the expected order statistics, and lambda_GC in the title. One routine for the screen,
// the export and the tests.
namespace quillmap::figures {

struct QqGeometry {
    QRectF plot;        // the plot frame in device units
    double xMax = 1.0;  // expected -log10 p at the right edge
    double yMax = 1.0;  // observed -log10 p at the top edge
    double xStep = 1.0; // label steps of the two axes
    double yStep = 1.0;

    // Device point of (expected, observed); values beyond the axes are drawn at the edge.
    QPointF map(double expected, double observed) const;
};

// Axes that hold every point and the band, in whole units; margins for the labels.
QqGeometry qqGeometry(QSizeF size, const QqPlotData &data);

// Title line: "TRAIT   lambda_GC = 1.0234   (N p-values)".
QString qqTitle(const QString &trait, const QqPlotData &data);

void paintQqPlot(QPainter &painter, QSizeF size, const QqPlotData &data, const QString &trait);

} // namespace quillmap::figures
