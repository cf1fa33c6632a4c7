#pragma once

#include "dataset/regionsearch.h"

#include <QByteArray>

namespace quillmap {
class DatasetTables;
class SnpInfoIndex;
} // namespace quillmap

// A result table as tab-separated text, byte for byte what the result table shows (the cells of
// CTableModel, numbers as a listing writes them: 6 significant digits), written in bulk: one
// pass over the rows with the SNP information lines read through the mapped index, no string
// objects per cell. This is how quillmap-query lists a trait of ten million rows. GUI-free.
namespace quillmap {

// A float as QString::number(double(value), 'g', 6) writes it ("1e-09", "0.000123457",
// "-2678.13", "nan", "inf"; ties away from zero; -0 as "0"), at `out` (room for 16 bytes).
// Returns the end.
char *formatNumber6(float value, char *out);

class TableText final
{
public:
    // `tables` must stay loaded while this lives.
    explicit TableText(const DatasetTables &tables);

    // The header line: the column titles.
    QByteArray header() const;
    // One line per row k of `rows` for k in [begin, end), in their order, appended to `out`. A
    // field's tabs and line ends are written as blanks, so a field never splits a line or a
    // column.
    void appendRows(const ResultRows &rows, int begin, int end, QByteArray &out) const;

private:
    // Trait `traitIndex`'s name as written; empty outside the list.
    QByteArrayView traitText(int traitIndex) const;

    const DatasetTables &m_tables;
    const SnpInfoIndex *m_index;
    // Each trait's name as it is written, filled as traits come up.
    mutable std::vector<QByteArray> m_traitText;
};

} // namespace quillmap
