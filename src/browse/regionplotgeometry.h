#pragma once

#include "browse/valuelabels.h"

#include <QPointF>
#include <QRect>
#include <QString>

#include <vector>

// Geometry of the region plot: where positions and values land in the plot's logical
// coordinates and where the fixed texts go, for the panel and for the exported page.
// Logical x is in kb from the region's first base (0 .. 1000 is the megabase); logical y runs
// downwards, the unit being R / 1000 of the plot's width.
namespace quillmap::bypos {

// Truncates toward zero into the int range; NaN gives 0. Coordinates of absurd values stay far
// outside the picture instead of overflowing.
int toCoordinate(double value);

struct PlotScale {
    double R = 0.0;
    int region = 0;  // the region's first megabase
    double lo = 0.0; // floor of the smallest value, drawn at 0.85 R
    double hi = 0.0; // ceil of the largest value, drawn at 0.05 R

    // Position in Mb -> logical x (kb from the region start).
    int x(double positionMb) const;
    // Transformed value -> logical y. A flat scale (lo == hi) puts every value at middle().
    int y(double value) const;
    // The middle height, used when there is nothing to scale.
    int middle() const;
    // Logical y of `value` itself, not rounded: where its tick and the line at it are drawn.
    double exactY(double value) const;
    // exactY(value) when it falls inside the frame box, 0 .. boxBottom; false for NaN, a flat
    // scale or a value beyond.
    bool lineY(double value, int boxBottom, double *y) const;
};

PlotScale makeScale(double R, int region, double valueMin, double valueMax);

// Where one picture of the plot goes. The viewport is in device pixels, the window in logical
// units.
struct PlotGeometry {
    QRect viewport;
    QRect window;
    double R = 0.0;
    int boxBottom = 0;       // lower edge of the frame box
    int markerBottom = 0;    // lower end of the found SNP's line
    int positionLabelY = 0;  // baseline of the region start / middle / end labels
    int snpNameY = 0;        // baseline of the found SNP's name
    int valueLabelX = 0;     // left end of the value labels
    bool exportPage = false; // the page: title, fixed colours, mid-scale label on narrow ranges
};

// The panel: viewport at (0, 50) of (frame width - 50) x (frame height - 40) pixels.
PlotGeometry screenGeometry(int frameWidth, int frameHeight);
// The exported page: a 1000 x 600 image, viewport (0, 10, 975, 335).
PlotGeometry exportGeometry();

inline constexpr int ExportImageWidth = 1000;
inline constexpr int ExportImageHeight = 600;
// Row k of the gene track on the exported page is drawn at ExportGeneTop + 15 k.
inline constexpr int ExportGeneTop = 385;

using quillmap::MaxFixedStepLabels;
using quillmap::MaxValueLabels;
using quillmap::valueLabelStep;
// Every multiple m of valueLabelStep(valueMin, valueMax) with valueMin - 1 < m < valueMax + 1,
// ascending.
std::vector<int> valueLabels(double valueMin, double valueMax);
// The mid-scale label of the page for ranges narrower than 1: its text and logical position.
QString midScaleText(double valueMin, double valueMax);
int midScaleY(double R);

// Device centre of a rank label drawn at logical (x, y), its baseline origin: the centre of the
// circle that highlights it. What the plot's hover look-up indexes.
QPointF labelCentre(const PlotGeometry &geometry, int x, int y);

// A figure of `width` x `height` device pixels: the screen geometry with `top` pixels above the
// plot (for a title) and `bottom` pixels kept free under the texts below it (for gene rows).
PlotGeometry figureGeometry(int width, int height, int top, int bottom);

// Texts under the plot: the region's end ("%d ") and middle ("%4.1lf ").
QString regionEndText(int region);
QString regionMiddleText(const QString &regionText);

} // namespace quillmap::bypos
