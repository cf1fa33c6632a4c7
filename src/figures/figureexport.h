#pragma once

#include <QSize>
#include <QString>

#include <functional>
#include <optional>

class QPainter;
class QPaintDevice;

// Writes a picture as PDF, SVG or PNG, the format following the file name's extension. The
// picture is drawn by the same routine as the screen, given a painter on the output device.
namespace quillmap::figures {

enum class FigureFormat { Pdf, Svg, Png };

// Format of ".pdf", ".svg", ".png" (any letter case); nothing for another extension.
std::optional<FigureFormat> figureFormatOf(const QString &path);

// `size`: the picture in device units (pixels for PNG; 1/dpi inch for PDF and SVG). `dpi`:
// the resolution recorded in the file, which also sets how large point-sized text comes out.
// `paint` draws on a painter already begun on a white device of `size`. The file is written
// through a temporary file renamed into place; on failure `error` says why and nothing at
// `path` changed.
bool exportFigure(const QString &path, QSize size, int dpi,
                  const std::function<void(QPainter &painter, QSize size)> &paint, QString *error);

} // namespace quillmap::figures
