#pragma once

#include "dataset/rowrecord.h"

#include <QString>

#include <functional>
#include <vector>

class DatasetTables;

// Reads the records of consecutive traits from table1.dat in one sequential pass, for the
// study-wide listings (every trait's lambda_GC, top loci across all traits). GUI-free.
namespace quillmap {

// One trait's records in file order: row k has rowNumber k; its E extra statistics are
// extraStats[k * E .. k * E + E - 1].
struct TraitRows {
    int traitIndex = -1;
    std::vector<RowRecord> rows;
    std::vector<float> extraStats;
    int extraCount = 0;

    int count() const { return int(rows.size()); }
    // Statistic s of row k: the first statistic for s = 0, extra statistic s otherwise.
    float statistic(int k, int s) const;
};

struct TraitScanOutcome {
    enum class Status { Ok, MissingTable, Damaged };
    Status status = Status::Ok;
    QString message;   // the text the user sees for every status but Ok
};

// Calls `visit` for every trait index in [firstTrait, lastTrait) that has records, in index
// order (the order of table1.dat); `visit` returns false to stop early (still Ok). The rows
// object is reused between calls. A table shorter than ID_Line.dat's counts, or a record of
// another trait or naming a SNP outside SNPlist.dat where a trait's records should be, gives
// Damaged; traits visited before then stay visited.
TraitScanOutcome scanTraits(const QString &folder, const DatasetTables &tables, int firstTrait,
                            int lastTrait, const std::function<bool(const TraitRows &)> &visit);

} // namespace quillmap
