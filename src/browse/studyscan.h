#pragma once

#include "browse/significance.h"
#include "dataset/traitscan.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace quillmap {
class DatasetTables;
}

// Study-wide listings over table1.dat: per trait its row count, best p-value and lambda_GC, and
// the independent loci of every trait. These feed the "Traits" and "Top loci" tabs and
// quillmap-query alike. GUI-free.
namespace quillmap {

// Position in whole bp of a position in Mb (rounded to the nearest base).
qint64 positionBp(double positionMb);

// Scores (-log10 p) of one trait's p-value column; values that are not p-values are left out.
std::vector<double> traitScores(const TraitRows &trait, PValueColumn column);

struct TraitSummary {
    int traitIndex = -1;
    qint64 rows = 0;
    qint64 pValues = 0;     // rows whose value is a p-value
    double bestScore = 0.0; // largest score; NaN without p-values
    int bestSnp = -1;       // SNP index of the best p (genome order among equals); -1 without
    double lambda = 0.0;    // lambda_GC; NaN without p-values
};

struct TopLocus {
    int traitIndex = -1;
    Locus locus;
};

// One trait's summary; `values` receives the trait's stored values that have a score (scoreOf
// not NaN), in no particular order. `withLambda` false leaves lambda for a caller that has it
// from the values otherwise (qqPlotOfValues gives the same).
TraitSummary summarizeTrait(const DatasetTables &tables, const TraitRows &trait, PValueColumn column,
                            std::vector<float> &values, bool withLambda = true);
// Appends the trait's independent loci (see topLoci) to `loci`.
void traitLoci(const DatasetTables &tables, const TraitRows &trait, PValueColumn column, double threshold,
               qint64 windowBp, std::vector<TopLocus> &loci);

struct TraitSummaries {
    Status outcome;
    std::vector<TraitSummary> traits; // trait index order
};

// Every trait index in [firstTrait, lastTrait) with records, summarised on `column`.
TraitSummaries summarizeTraits(const Dataset &dataset, PValueColumn column, int firstTrait, int lastTrait);

struct TopLociResult {
    Status outcome;
    std::vector<TopLocus> loci; // trait index order; within a trait, best lead first
};

// Distance clumping of every trait's p-values at or below `threshold`, window +-windowBp.
TopLociResult topLoci(const Dataset &dataset, PValueColumn column, double threshold, qint64 windowBp);

// The listings' columns, shared by quillmap-query and the tabs' TSV export.
QStringList traitSummaryHeader(); // trait, rows, lambda_gc
QStringList traitSummaryFields(const DatasetTables &tables, const TraitSummary &summary);
QStringList topLociHeader(); // trait, snp, chr, pos, p, n
QStringList topLocusFields(const DatasetTables &tables, const TopLocus &locus);
// The same of every locus, in order.
std::vector<QStringList> topLocusFields(const DatasetTables &tables, const std::vector<TopLocus> &loci);
// Header and rows as TSV text, each line ended by "\n".
QByteArray tsvText(const QStringList &header, const std::vector<QStringList> &rows);

} // namespace quillmap
