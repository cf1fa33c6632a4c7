#pragma once

#include "browse/genetrack.h"
#include "browse/regionplotgeometry.h"
#include "dataset/regionsearch.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QtNumeric>

#include <vector>

class QPainter;

namespace quillmap::bypos {

// Everything the region plot draws, read from the position panel at paint time. The pointers
// are not owned and must stay valid while the picture is drawn.
struct RegionPlotInput {
    bool plotReady = false;
    int traitCount = 0;
    const std::vector<std::vector<double>> *traitPositions = nullptr; // per group, Mb
    const std::vector<std::vector<double>> *traitValues = nullptr;    // per group
    const std::vector<int> *traitOrder = nullptr;                     // rank -> group
    double valueMax = -100.0;
    double valueMin = 100.0;
    QList<QColor> rankColours; // ranks 1 to 9
    QColor laterColour;        // ranks 10 and later

    bool highlightOn = false;
    int highlightCount = 0;
    const float *highlightPositions = nullptr; // Mb
    const float *highlightValues = nullptr;

    bool snpMarkOn = false;
    double snpMarkPosition = 0.0; // Mb
    QString snpMarkName;

    QString regionText; // the region as the user sees it
    int region = 0;     // the region read as a whole number of Mb

    // The dashed significance line at this transformed value (NaN: none) and the y axis's title.
    double significanceValue = qQNaN();
    QString axisTitle;

    // What labels 1 to 9 stand for, best first; drawn under the plot of a figure.
    std::vector<LegendEntry> legend;
};

// Draws the plot (frame box, rank labels, highlight circles, the found SNP, position and value
// labels) under `geometry`'s viewport and window. Works on any paint device.
void paintRegionPlot(QPainter &painter, const RegionPlotInput &input, const PlotGeometry &geometry);

// Device centres of the rank labels paintRegionPlot draws under `geometry`, with the group and
// the point within the group of each: what the plot's hover look-up indexes.
struct LabelPoints {
    std::vector<float> x, y;
    std::vector<int> group, point;
};
LabelPoints labelPoints(const RegionPlotInput &input, const PlotGeometry &geometry);

// A figure of `size` device pixels: the title (when not empty) above the plot as the screen
// draws it, the legend (when plotReady and `input` has one) and the gene rows (when `genes`
// holds some) under it.
void paintRegionFigure(QPainter &painter, QSize size, const RegionPlotInput &input, const QString &title,
                       const RegionGenes *genes);

// The panel's gene track picture: `imageWidth` pixels wide, for a plot frame `frameWidth` wide.
// Null image for an empty layout is never returned; the height is geneTrackHeight().
QImage renderGeneTrack(const std::vector<RegionGene> &genes, const GeneTrackLayout &layout, int frameWidth,
                       int imageWidth);

// The exported page: title, plot with the default rank colours (the user's choices are not
// used) and the gene rows under it. `genes` may be null (no gene file or no genes).
// Drawn onto `painter` from its origin in device pixels, clipped to the page's 1000 x 600.
void paintExportPage(QPainter &painter, const QString &title, const RegionPlotInput &input,
                     const RegionGenes *genes);
// As an image.
QImage renderExportImage(const QString &title, const RegionPlotInput &input, const RegionGenes *genes);
// Drawn as shapes and text onto a one-page landscape PDF at `path` (as quillmap::writePagePdf);
// false when it could not be written.
bool writeExportPdf(const QString &path, const QString &title, const RegionPlotInput &input,
                    const RegionGenes *genes);

} // namespace quillmap::bypos
