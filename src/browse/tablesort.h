#pragma once

#include "dataset/rowrecord.h"

namespace quillmap {
class DatasetTables;
}

// The result table's sort by one column, for tables of tens of millions of rows: every column's
// key becomes one integer per row (names by rank, numbers by an order-keeping code, SNP
// information fields read once through the mapped index) and one radix sort orders the rows.
// GUI-free.
namespace quillmap {

// Writes into order[0..n-1] the rows of `records` ordered by `column` of the table (see
// CTableModel::sort for what each column's order is); rows with equal keys keep their order.
// `stats` holds each row's E extra statistics (a null row reads as 0). A column without a key
// writes the identity.
void sortTableRows(const DatasetTables &tables, const RowRecord *records, RowStats stats, int n, int column,
                   bool ascending, int *order);

} // namespace quillmap
