#pragma once

#include <QSize>
#include <QString>

#include <functional>
#include <optional>

class QPainter;
class QPen;
class QTransform;
class QPaintDevice;

// Writes a picture as PDF, SVG or PNG, the format following the file name's extension. The
// picture is drawn by the same routine as the screen, given a painter on the output device.
namespace quillmap::figures {

enum class FigureFormat { Pdf, Svg, Png };

// Format of ".pdf", ".svg", ".png" (any letter case); nothing for another extension.
std::optional<FigureFormat> figureFormatOf(const QString &path);

// `size`: the picture in device units (pixels for PNG; 1/dpi inch for PDF and SVG). `dpi`:
// the resolution recorded in the file. PDF and SVG: it also sets how large point-sized text
// comes out, and `paint` draws on a white device of `size`. PNG: `paint` draws on a white
// device of size x 96 / dpi screen pixels at 96 dpi, rendered dpi / 96 times finer, so the
// picture looks like the screen's at any resolution. The file is written
// through a temporary file renamed into place; on failure `error` says why and nothing at
// `path` changed.
// A y axis's title, in device pixels: rotated to read upwards, its baseline `baselineX` from
// the left, centred on `centreY`; blue 8-point Helvetica as the plots' labels. Leaves the
// painter as it was.
void paintAxisTitle(QPainter &painter, const QString &title, double baselineX, double centreY);

// The painter's world and view transforms together, onto the device's own pixels less its pixel
// ratio: where a point lands when drawn with both transforms switched off. (combinedTransform()
// also holds a high-resolution device's ratio, which the painter applies again.)
QTransform unscaledTransform(const QPainter &painter);

// A value label of a y axis in the painter's current coordinates and pen: a tick from tickLeft
// to tickRight at `y`, and `text` starting at textX with its digits' middle on the tick (a
// baseline at `y` would make every value read high by half a digit).
void paintValueLabel(QPainter &painter, const QString &text, double textX, double y, double tickLeft,
                     double tickRight);

// Pen of the plots' dashed significance line.
QPen significancePen();

bool exportFigure(const QString &path, QSize size, int dpi,
                  const std::function<void(QPainter &painter, QSize size)> &paint, QString *error);

} // namespace quillmap::figures
