#pragma once

#include "dataset/regionsearch.h"
#include "dataset/result.h"

#include <QString>

#include <functional>

// Reads the records of consecutive traits from table1.dat in one sequential pass, for the
// study-wide listings (every trait's lambda_GC, top loci across all traits). GUI-free.
namespace quillmap {

// One trait's records in file order (see ResultRows) and the trait's index.
struct TraitRows : ResultRows {
    int traitIndex = -1;
};

// Calls `visit` for every trait index in [firstTrait, lastTrait) that has records, in index
// order (the order of table1.dat); `visit` returns false to stop early (still Ok). The rows
// object is reused between calls. A table shorter than ID_Line.dat's counts, or a record of
// another trait or naming a SNP outside SNPlist.dat where a trait's records should be, gives
// Damaged (MissingFile when there is no table1.dat, Reimported when the folder was imported
// again); traits visited before then stay visited.
Status scanTraits(const Dataset &dataset, int firstTrait, int lastTrait,
                  const std::function<bool(const TraitRows &)> &visit);

} // namespace quillmap
