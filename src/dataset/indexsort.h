#pragma once

namespace quillmap {

// Sort keys[lo..hi] (inclusive) ascending / descending, moving index[] entries with their keys:
// the table column sorts and the region's trait ranking. Not stable. NaN keys go behind every
// number, in no defined order.
void sortAscendingWithIndex(double *keys, int *index, int lo, int hi);
void sortDescendingWithIndex(double *keys, int *index, int lo, int hi);

} // namespace quillmap
