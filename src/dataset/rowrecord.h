#pragma once

#include <QtGlobal>

namespace quillmap {

// One result row held by a browsing panel. The result table reads the first three fields; the
// fourth is the row's 0-based position among the panel's rows (its row in the extra statistics
// matrix).
struct RowRecord {
    qint32 traitIndex = 0;
    qint32 snpIndex = 0;
    float firstStat = 0.0f;
    qint32 rowNumber = 0;
};

// Each row's E extra statistics: one matrix of E floats a row (what a panel holds: no pointer
// a row for millions of rows), or one pointer a row (a null row has none).
struct RowStats {
    RowStats() = default;
    RowStats(float *const *perRow)
        : rows(perRow)
    {
    }
    RowStats(const float *rowMajor, int perRowCount)
        : matrix(rowMajor),
          count(perRowCount)
    {
    }
    // Row `record`'s statistics; null when it has none.
    const float *of(qint64 record) const
    {
        if (rows)
            return rows[record];
        return matrix && count > 0 ? matrix + record * count : nullptr;
    }
    bool isNull() const { return !rows && !matrix; }

    float *const *rows = nullptr;
    const float *matrix = nullptr;
    int count = 0;
};

} // namespace quillmap
