#pragma once

#include "browse/studyscan.h"

#include <QString>

#include <memory>
#include <vector>

namespace quillmap {
class Dataset;
class DatasetTables;
} // namespace quillmap

// The study-wide answers of the default p-value column, computed once per import and kept in
// the dataset folder as `trait_summaries.dat`, so that the Traits and Top loci tabs and
// quillmap-query's lambda and top-loci answer at once. Other columns, thresholds and windows are
// computed when asked, as before. GUI-free.
//
// The file names the identity (device, inode, size, modification time) of every dataset file
// the answers come from, and the column; any difference, or a file that is truncated, of
// another version, or whose checksum does not match, is ignored and rebuilt, never trusted. It
// is replaced only by renaming a finished file over it. When the folder cannot be written the
// answers are kept in memory for this session.
namespace quillmap {

class StudySummaries final
{
public:
    static constexpr char FileName[] = "trait_summaries.dat";
    // The defaults the cached top loci are computed at: p <= 5e-8, +-500,000 bp.
    static constexpr double DefaultThreshold = GenomeWideP;
    static constexpr qint64 DefaultWindowBp = 500000;

    // A trait's QQ points as the Traits tab draws them (qqPlotData's thinned points); the band
    // is computed again from the count.
    struct QqPoints {
        qint64 count = 0;
        double maxExpected = 0.0;
        double maxObserved = 0.0;
        std::vector<double> expected;
        std::vector<double> observed;
    };

    // Reads the cache of the dataset's folder, or builds it (one pass over table1.dat) and writes it when it
    // is missing, stale or damaged. Fails only as the scan of table1.dat fails. The column is
    // findPValueColumn of the dataset's statistic names; without one, every trait is listed with
    // NaN lambda and no loci.
    static Result<std::shared_ptr<const StudySummaries>> open(const Dataset &dataset);
    // open() on the dataset in `folder`, for the end of an import (setImportFinishedHook): the
    // first listings then read the file. A folder that does not load is left alone.
    static void prepare(const QString &folder);

    PValueColumn column() const { return m_column; }
    // Every trait with records, in trait index order; as summarizeTraits gives them.
    const std::vector<TraitSummary> &traits() const { return m_traits; }
    // topLoci(dataset, column(), DefaultThreshold, DefaultWindowBp).loci.
    const std::vector<TopLocus> &topLoci() const { return m_loci; }
    // The QQ plot of trait `traitIndex`, as qqPlotData gives it; empty (count 0, NaN lambda)
    // for a trait without records or p-values.
    QqPlotData qqPlot(int traitIndex) const;

    // The listings as summarizeTraits, topLoci and qqPlotData(traitScores) give them, from the
    // folder's cache when they are asked at its column (and, for loci, at the defaults), which
    // they then open or build; computed otherwise.
    static TraitSummaries listTraits(const Dataset &dataset, PValueColumn column, int firstTrait,
                                     int lastTrait);
    static TopLociResult listLoci(const Dataset &dataset, PValueColumn column, double threshold,
                                  qint64 windowBp);
    static Result<QqPlotData> traitQqPlot(const Dataset &dataset, PValueColumn column, int traitIndex);

    // True when this open computed the answers rather than reading them from the folder.
    bool computed() const { return m_computed; }

private:
    StudySummaries() = default;
    struct Io;
    friend struct Io;

    PValueColumn m_column;
    std::vector<TraitSummary> m_traits;
    std::vector<TopLocus> m_loci;
    std::vector<QqPoints> m_qq; // parallel to m_traits
    bool m_computed = false;
};

} // namespace quillmap
