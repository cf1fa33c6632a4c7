#pragma once

#include <QString>

#include <vector>

// The gene track under the region plot: the genes of one position bin from pos2gene.dat,
// packed into rows of horizontal bars.
namespace quillmap::bypos {

struct RegionGene {
    QString name;
    double start = 0.0; // Mb
    double end = 0.0;   // Mb
};

struct RegionGenes {
    bool fileOpened = false; // pos2gene.dat exists and is readable
    bool found = false;      // it has a line for the bin
    std::vector<RegionGene> genes;
};

// Megabases before a region whose genes may still reach into it: every gene up to 2.5 Mb long
// shows in each region it overlaps.
inline constexpr int GeneLookBackBins = 3;

// The genes of region `bin` (chromosome x 1000 + Mb): those of the first line of
// folder/pos2gene.dat whose first field is `bin` in decimal, after the genes of the
// GeneLookBackBins earlier bins of the same chromosome that end beyond the region start (in bin
// order, each bin's first line). Every line takes part, the first included. `found` is set when
// any gene or the region's own line was found.
RegionGenes readRegionGenes(const QString &folder, int bin);

// One bar of the drawing pass, in logical units: x in kb from the region start.
struct GenePlacement {
    int row = 0;
    int x1 = 0;    // bar start, clipped at the region start (0)
    int x2 = 0;    // bar end, clipped at the megabase end (1000)
    int nameX = 0; // left end of the name
};

struct GeneTrackLayout {
    std::vector<GenePlacement> placements; // one per gene, in line order
    int sizingLastRow = 0;                 // last row the sizing pass opened
    int drawingLastRow = 0;                // last row the drawing pass opened
};

// Packs the genes of region `region` (whole Mb) into rows, first fit from row 0: a bar joins a
// row when it starts more than 70 kb after the row's last bar ends. The sizing pass (which
// decides the track's height) keeps a row open behind a bar that reaches the megabase end; the
// drawing pass does not.
GeneTrackLayout layoutGenes(const std::vector<RegionGene> &genes, int region);

// Height in pixels of the panel's gene track image for a frame `frameWidth` pixels wide: 15
// pixels per sizing row plus one, at least 300, and tall enough for every drawn row; never more
// than MaxGeneTrackHeight.
int geneTrackHeight(const GeneTrackLayout &layout, int frameWidth);
inline constexpr int MaxGeneTrackHeight = 32000;

// Logical height of the gene track image's window for an image `height` pixels high.
int geneTrackWindowHeight(int height, int frameWidth);

} // namespace quillmap::bypos
