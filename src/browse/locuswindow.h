#pragma once

#include "dataset/genomebuild.h"

#include <QtGlobal>

// The stretch of one chromosome the locus view shows, in bp, and how zooming and panning move
// it. GUI-free: the tab turns wheel steps and drags into these calls.
namespace quillmap {

struct LocusWindow {
    static constexpr qint64 MinWidth = 20000;
    static constexpr qint64 MaxWidth = 10000000;
    static constexpr qint64 DefaultWidth = 1000000;

    int chromosome = 0; // 23 for X
    qint64 startBp = 0; // first base shown
    qint64 endBp = 0;   // one past the last

    qint64 width() const { return endBp - startBp; }
    bool contains(qint64 bp) const { return bp >= startBp && bp < endBp; }
    // The bins (chromosome x 1000 + Mb) the window touches, first and last.
    int firstBin() const;
    int lastBin() const;

    // `width` (clamped to MinWidth..MaxWidth) centred on `centreBp`, shifted to start at 0 at the
    // chromosome's start and to end at its end on `build` where the table knows it.
    static LocusWindow centred(int chromosome, qint64 centreBp, qint64 width,
                               GenomeBuild build = GenomeBuild::Hg38);
    // Width times `factor` (clamped), keeping `anchorBp` at the same fraction of the window, as a
    // wheel step about the pointer does.
    LocusWindow zoomed(double factor, double anchorBp, GenomeBuild build = GenomeBuild::Hg38) const;
    // Moved by `deltaBp` (positive: to the right), the width kept, stopped at the ends.
    LocusWindow panned(qint64 deltaBp, GenomeBuild build = GenomeBuild::Hg38) const;

    bool operator==(const LocusWindow &other) const = default;
};

// Last base of a chromosome the window may reach on `build`: the end of the region table's
// last megabase; 0 for a chromosome outside it.
qint64 chromosomeEndBp(int chromosome, GenomeBuild build);

} // namespace quillmap
