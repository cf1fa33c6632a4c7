#include "browse/regionplotgeometry.h"

#include <algorithm>
#include <cmath>

namespace quillmap::bypos {

namespace {
// Beyond this a coordinate is off any picture anyway; keeps int conversions defined.
constexpr double CoordinateLimit = 1e8;
} // namespace

int toCoordinate(double value)
{
    if (std::isnan(value))
        return 0;
    return int(std::clamp(std::trunc(value), -CoordinateLimit, CoordinateLimit));
}

int PlotScale::x(double positionMb) const
{
    return toCoordinate(positionMb * 1000.0 - double(region) * 1000.0);
}

int PlotScale::y(double value) const
{
    if (!(hi > lo))
        return middle();
    const double y = std::floor(0.85 * R - 0.8 * R * (value - lo) / (hi - lo));
    return toCoordinate(y);
}

int PlotScale::middle() const
{
    return toCoordinate(std::floor(0.85 * R - 0.5 * R));
}

double PlotScale::exactY(double value) const
{
    if (!(hi > lo))
        return middle();
    return 0.85 * R - 0.8 * R * (value - lo) / (hi - lo);
}

bool PlotScale::lineY(double value, int boxBottom, double *y) const
{
    if (!std::isfinite(value) || !(hi > lo))
        return false;
    const double at = exactY(value);
    if (at < 0.0 || at > double(boxBottom))
        return false;
    *y = at;
    return true;
}

PlotScale makeScale(double R, int region, double valueMin, double valueMax)
{
    PlotScale scale;
    scale.R = R;
    scale.region = region;
    scale.lo = std::floor(valueMin);
    scale.hi = std::ceil(valueMax);
    return scale;
}

PlotGeometry screenGeometry(int frameWidth, int frameHeight)
{
    PlotGeometry g;
    const int width = std::max(1, frameWidth - 50);
    const int height = std::max(1, frameHeight - 40);
    g.R = 1000.0 * double(height) / double(width);
    const int H = toCoordinate(g.R);
    g.viewport = QRect(0, 50, width, height);
    g.window = QRect(-50, 0, 1030, std::max(1, H));
    g.boxBottom = toCoordinate(0.9 * g.R);
    g.markerBottom = H - 50;
    g.positionLabelY = H;
    g.snpNameY = H - 8;
    g.valueLabelX = -30;
    return g;
}

QPointF labelCentre(const PlotGeometry &geometry, int x, int y)
{
    // The highlight circle's box runs from (x - 5, y - 12), 15 units wide.
    const double sx = double(geometry.viewport.width()) / double(geometry.window.width());
    const double sy = double(geometry.viewport.height()) / double(geometry.window.height());
    return QPointF(geometry.viewport.x() + (x + 2.5 - geometry.window.x()) * sx,
                   geometry.viewport.y() + (y - 4.5 - geometry.window.y()) * sy);
}

PlotGeometry figureGeometry(int width, int height, int top, int bottom)
{
    // The screen's viewport is the frame's height less 40; the texts under the plot hang from
    // its bottom edge, so 6 pixels are kept for their descent.
    const int plotHeight = std::max(20, height - top - bottom - 6);
    PlotGeometry g = screenGeometry(width, plotHeight + 40);
    g.viewport.moveTop(top);
    return g;
}

PlotGeometry exportGeometry()
{
    PlotGeometry g;
    g.R = 1000.0 * 0.3435897435897436;
    g.viewport = QRect(0, 10, 975, 335);
    g.window = QRect(-50, -50, 1050, 343);
    g.boxBottom = 293;
    g.markerBottom = 293;
    g.positionLabelY = toCoordinate(0.95 * g.R);
    g.snpNameY = 335;
    g.valueLabelX = -20;
    g.exportPage = true;
    return g;
}

std::vector<int> valueLabels(double valueMin, double valueMax)
{
    return quillmap::valueLabels(valueMin, valueMax, valueLabelStep(valueMin, valueMax));
}

QString midScaleText(double valueMin, double valueMax)
{
    return QString::asprintf("%.1lf", (std::ceil(valueMax) + std::floor(valueMin)) * 0.5);
}

int midScaleY(double R)
{
    return toCoordinate(std::floor(0.85 * R - 0.8 * R * 0.5));
}

QString regionEndText(int region)
{
    return QString::asprintf("%d ", region + 1);
}

QString regionMiddleText(const QString &regionText)
{
    return QString::asprintf("%4.1lf ", regionText.toDouble() + 0.5);
}

} // namespace quillmap::bypos
