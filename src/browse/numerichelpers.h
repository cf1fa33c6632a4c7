#pragma once

#include <QString>
#include <QtGlobal>

namespace quillmap {

// Value transforms, the index-carrying sorts behind the table column sorts, qsort comparators
// and row-pointer float matrices.

// The value a transform returns when it has no result (a logarithm of x <= 0).
inline constexpr float MissingValue = -999999.0f;

// Transform codes, the positions of the panels' transform choices:
// 0 "NoTransformation", 1 "log(10)", 2 "-log(10)", 3 "log(2)", 4 "-log(2)", 5 "abs".
// Any other code gives MissingValue.
float applyTransform(float value, int transformCode);

// Why a logarithm of `value` has no result: "Can't take log of zero!" for 0, "Can't take log of
// negative value!" otherwise. The panels add their own advice after it.
QString logFailureText(float value);

// Sort keys[lo..hi] (inclusive) ascending / descending, moving index[] entries with their keys.
// Not stable. NaN keys go behind every number, in no defined order.
void sortAscendingWithIndex(double *keys, int *index, int lo, int hi);
void sortDescendingWithIndex(double *keys, int *index, int lo, int hi);

// qsort comparators. compareIntKey: the element's first field, an int32, ascending.
// compareBinKey: a position-bin-keyed element (struct BinKeyed below), ascending.
// compareTextAscending / compareTextDescending: elements whose first field is a QString.
// A staging record of the fixed-width fields of one results line, keyed by trait index (the
// first field) and by position bin. The import itself orders its records with a counting sort
// by trait index and then by bin (Import::writeTables) and uses neither comparator.
struct BinKeyed {
    qint32 traitIndex = 0;
    qint32 snpIndex = 0;
    float firstStat = 0.0f;
    qint32 rowNumber = 0;
    qint16 bin = 0;
};

int compareIntKey(const void *a, const void *b);
int compareBinKey(const void *a, const void *b);
int compareTextAscending(const void *a, const void *b);
int compareTextDescending(const void *a, const void *b);

// Row-pointer matrix of `rows` rows of `columns` floats, each row allocated separately.
// Returns null when any allocation fails (nothing is leaked then). Values are uninitialised.
float **allocMatrix(int rows, int columns);
// Releases the first `rows` rows (null rows are skipped) and the row array, then nulls *matrix.
// Does nothing when *matrix is null.
void freeMatrix(float ***matrix, int rows);

} // namespace quillmap
