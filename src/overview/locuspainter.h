#pragma once

#include "browse/locusgeometry.h"
#include "browse/locusquery.h"

#include <QColor>
#include <QStringList>

#include <utility>
#include <vector>

class QPainter;

namespace quillmap {

// Draws the locus view, on the screen and into a figure alike: the plot of one trait coloured
// by r2 with its index variant, further traits overlaid, and the gene track.
class LocusPainter final
{
public:
    // What one picture shows: the first series is the trait the index variant belongs to.
    struct Scene {
        std::vector<const LocusQuery::Locus *> series;
        int indexRow = -1; // in series[0]
        QString indexName;
        double significanceScore = 0; // the dashed line; none when not above 0
        bool withLd = false;          // r2 was asked for (else no r2 legend)
        // Recombination rate (bp, cM/Mb), each holding to the next; drawn on a right-hand axis.
        std::vector<std::pair<qint64, double>> rates;
    };

    static constexpr int MaxOverlays = 4;
    static constexpr double GeneRowHeight = 16;

    // The colour of r2 class `bin` (0..4, as LocusQuery::r2Bin); grey for -1.
    static QColor r2Colour(int bin);
    // The colour of overlaid series `s` (1..MaxOverlays).
    static QColor seriesColour(int s);

    // Plot on a white geometry.width() x geometry.height() area from the painter's origin.
    static void paintPlot(QPainter &painter, const LocusGeometry &geometry, const Scene &scene);
    // Gene track `height` pixels high under a plot of `geometry`'s x axis.
    static void paintGenes(QPainter &painter, const LocusGeometry &geometry,
                           const std::vector<PackedGene> &genes, double height);
    // Pixels the gene track needs for `rows` rows.
    static double genesHeight(int rows) { return 8 + GeneRowHeight * std::max(rows, 1); }
};

} // namespace quillmap
