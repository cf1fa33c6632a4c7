#pragma once

#include "browse/locuswindow.h"
#include "browse/significance.h"
#include "dataset/dataset.h"
#include "dataset/regionsearch.h"
#include "dataset/result.h"

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

// One trait's results inside a locus window, read across the position bins the window touches,
// and their linkage disequilibrium with an index variant. GUI-free: the Locus tab and
// `quillmap-query locus` call the same functions.
namespace quillmap {

class LdReference;

class LocusQuery final
{
public:
    struct Locus {
        LocusWindow window;
        int traitIndex = -1;
        QString trait;
        // The trait's rows in the window, by position (then SNP index); row k has rowNumber k.
        ResultRows rows;
        std::vector<qint64> bp;     // per row
        std::vector<double> scores; // per row: -log10 p; NaN without a p-value
        std::vector<double> r2;     // per row, with the index variant; empty until addR2
        PValueColumn pColumn;       // the statistic the scores come from
        int effectColumn = -1;      // as findEffectColumn

        int count() const { return rows.count(); }
        // The row with the largest score (the first in position order on ties); -1 if none.
        int leadRow() const;
        // The row of SNP `snpIndex`; -1 when the window has none.
        int rowOfSnp(int snpIndex) const;
    };

    // Trait `traitIndex`'s rows in `window`. Fails as the bin reads fail; a window without rows
    // is not a failure.
    static Result<Locus> read(const Dataset &dataset, int traitIndex, const LocusWindow &window);

    // r2 of every row with row `indexRow` from the fileset `ld`: variants are matched by ID,
    // else by chromosome, position and the SNP information file's two allele columns. Rows the
    // fileset lacks stay NaN, and all do when it lacks the index variant. Returns how many rows
    // were matched; fails when the .bed cannot be read.
    static Result<int> addR2(Locus &locus, const Dataset &dataset, const LdReference &ld, int indexRow);

    // The colour class of an r2: 0 for [0, 0.2) .. 4 for [0.8, 1]; -1 for NaN.
    static int r2Bin(double r2);

    // The two alleles of SNP information line `line` from the extra columns named as alleles
    // (REF/ALT, A1/A2, ALLELE0/ALLELE1, other_allele/effect_allele); empty when the file has
    // no such pair.
    static std::pair<QByteArray, QByteArray> alleles(const DatasetTables &tables, int line);
};

} // namespace quillmap
