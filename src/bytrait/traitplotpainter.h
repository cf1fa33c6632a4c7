#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <QtNumeric>

#include <functional>
#include <vector>

class QImage;
class QPainter;
class QPaintDevice;

namespace quillmap {

// What the trait plot draws: the current trait's rows as the panel holds them. Arrays are not
// owned and hold rowCount entries; the highlight arrays hold highlightCount entries.
struct TraitPlotData {
    int rowCount = 0;
    const quint8 *chromosomes = nullptr; // 1..23 (23 for X); others are not drawn
    const float *positions = nullptr;    // Mb
    const float *values = nullptr;       // plotted (transformed) values
    float valueMin = 0.0f;
    float valueMax = 0.0f;
    double topThreshold = 0.0;
    double bottomThreshold = 0.0;
    bool plotReady = false;
    int highlightMode = 0; // 0 none, 1 top, 2 bottom, 3 top + bottom
    bool highlightOn = false;
    int highlightCount = 0;
    const quint8 *highlightChromosomes = nullptr;
    const float *highlightPositions = nullptr;
    const float *highlightValues = nullptr;
    // The dashed significance line at this plotted value (NaN: none) and the y axis's title.
    double significanceValue = qQNaN();
    QString axisTitle;
};

// The screen plot in the device rectangle `area` (on screen the whole device), in its parts.
// Progress is asked with the count of rows gone through (0, 4096, ...: points are gathered from
// the last row back) and returns false to cancel.
namespace traitplot {

void drawFrame(QPainter &painter, const QRect &area);
// Rows [from, to); returns false when cancelled.
bool drawPoints(QPainter &painter, const QRect &area, const TraitPlotData &data, int from, int to,
                const std::function<bool(int)> &progress = {});
void drawValueLabels(QPainter &painter, const QRect &area, const TraitPlotData &data);
void drawChromosomeStrip(QPainter &painter, const QRect &area);
void drawSelectionCircles(QPainter &painter, const QRect &area, const TraitPlotData &data);
// The dashed significance line across the genome and the y axis's title left of the labels,
// both only while plotReady; the line only where it falls inside the frame.
void drawSignificance(QPainter &painter, const QRect &area, const TraitPlotData &data);

// Device centres of the points drawPoints draws for `data` on a device of `size`, one per row
// (NaN for a row it does not draw): what the plot's hover and click look-ups index.
void pointCentres(QSize size, const TraitPlotData &data, std::vector<float> *x, std::vector<float> *y);

// A figure of `size` device units: the title (when not empty) above the whole screen plot,
// selection circles included. What the panel's SVG and PNG pictures and the query tool draw.
void paintTraitFigure(QPainter &painter, QSize size, const TraitPlotData &data, const QString &title);

// The whole screen plot (frame, points when plotReady, labels, strip) onto `device`, which is
// expected to be white already. Returns false when cancelled (the device is then half drawn).
bool renderTraitPlot(QPaintDevice *device, const TraitPlotData &data,
                     const std::function<bool(int)> &progress = {});

// The export page's picture: 1000 x 380 pixels with the title and the caption ("Group: ..."),
// drawn onto `painter` from its origin in device pixels and clipped to them.
inline constexpr QSize ExportPageSize(1000, 380);
void paintTraitExport(QPainter &painter, const TraitPlotData &data, const QString &title,
                      const QString &caption);
// That picture as an image.
QImage renderTraitExport(const TraitPlotData &data, const QString &title, const QString &caption);
// That picture drawn as shapes and text onto a one-page landscape PDF at `fileName` (as
// quillmap::writePagePdf). False when the file could not be written.
bool writeTraitExportPdf(const TraitPlotData &data, const QString &title, const QString &caption,
                         const QString &fileName);

} // namespace traitplot

} // namespace quillmap
