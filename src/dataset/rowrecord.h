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

} // namespace quillmap
