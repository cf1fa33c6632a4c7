#include "browse/ctablemodel.h"

#include "dataset/indexsort.h"
#include "browse/sortkeys.h"
#include "dataset/dataset.h"
#include "dataset/positionbin.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace quillmap {

CTableModel::CTableModel(std::shared_ptr<const Dataset> dataset, QObject *parent)
    : QAbstractTableModel(parent),
      m_dataset(dataset ? std::move(dataset) : Dataset::unloaded(QString()))
{
}

CTableModel::~CTableModel() = default;

const DatasetTables &CTableModel::tables() const
{
    return m_dataset->tables();
}

void CTableModel::setRows(int rowCount, int columnCount, const RowRecord *records, float *const *stats)
{
    m_rowCount = rowCount > 0 ? rowCount : 0;
    m_columnCount = columnCount > 0 ? columnCount : 0;
    m_records = records;
    m_stats = stats;
    m_fieldsLine = -1;
    m_order.resize(size_t(m_rowCount));
    for (int i = 0; i < m_rowCount; ++i)
        m_order[size_t(i)] = i;
}

int CTableModel::rowCount(const QModelIndex &parent) const
{
    // A table has no children: the tester (and the views) expect 0 under a valid parent.
    return parent.isValid() ? 0 : m_rowCount;
}

int CTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columnCount;
}

QVariant CTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.model() != this || index.row() >= m_rowCount
        || index.column() >= m_columnCount || !m_records)
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return QVariant();

    const DatasetTables &tables = this->tables();
    const int recordIndex = m_order[size_t(index.row())];
    const RowRecord &rec = m_records[recordIndex];
    const int column = index.column();
    const int k = tables.extraSnpColumns;

    if (column == 0)
        return tables.traitNames.value(rec.traitIndex);
    if (column == 1)
        return tables.snpNames.value(rec.snpIndex);
    if (column == k + 4)
        return double(rec.firstStat);
    if (column > k + 4) {
        const int stat = column - k - 5;
        if (!m_stats || !m_stats[recordIndex] || stat >= tables.extraStats)
            return QVariant();
        return double(m_stats[recordIndex][stat]);
    }

    // A SNP without a line in the SNP information file shows the first line.
    int line = tables.snpLineOfIndex(rec.snpIndex);
    if (line < 0)
        line = 0;
    // The view asks for a row's cells one after another: its line is split once, not per cell.
    if (line != m_fieldsLine) {
        m_fields = tables.snpFields(line);
        m_fieldsLine = line;
    }
    const QStringList &fields = m_fields;
    if (column == 2)
        return fields.value(0);
    if (column == 3) {
        // The file holds megabases; the table shows base pairs.
        return int(quillmap::positionBasePairs(fields.value(1).toDouble()).value_or(0));
    }
    return fields.value(column - 2);
}

void CTableModel::sort(int column, Qt::SortOrder order)
{
    beginResetModel();
    const int n = m_rowCount;
    std::iota(m_order.begin(), m_order.end(), 0);
    const DatasetTables &tables = this->tables();
    const int m = tables.extraSnpColumns;
    const bool ascending = order == Qt::AscendingOrder;
    const auto lineOf = [&tables](const RowRecord &row) {
        // As data(): a SNP without a line in the SNP information file is its first line.
        const int line = tables.snpLineOfIndex(row.snpIndex);
        return line < 0 ? 0 : line;
    };
    const bool text = column == 0 || column == 1;
    const int stat = column - m - 5;
    if (!m_records || n <= 1 || column < 0 || (column > m + 4 && (!m_stats || stat >= tables.extraStats))) {
        endResetModel();
        return;
    }
    if (column == 2 || column == 3) {
        // Genome order: by chromosome, X last, and by position within each chromosome.
        std::vector<quillmap::GenomeKey> keys;
        keys.reserve(size_t(n));
        for (int i = 0; i < n; ++i) {
            const int line = lineOf(m_records[i]);
            keys.push_back(quillmap::genomeKey(tables.snpChromosome(line), tables.snpPosition(line)));
        }
        quillmap::orderByGenome(keys, column == 3, ascending, m_order.data());
    } else if (column >= 4 && column <= m + 3) {
        // SNP information fields that hold numbers sort by value.
        std::vector<qint32> lines(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            lines[size_t(i)] = lineOf(m_records[i]);
        // As snpFields(line).value(column - 2), the SNP name being field 0 of the whole line;
        // only that field is decoded.
        std::vector<quillmap::FieldKey> keys(static_cast<size_t>(n));
        tables.readSnpLines(lines, [&](size_t i, QByteArrayView line) {
            for (int f = 1; f < column && !line.isEmpty(); ++f) {
                const qsizetype tab = line.indexOf('\t');
                line = tab < 0 ? QByteArrayView() : line.sliced(tab + 1);
            }
            const qsizetype tab = line.indexOf('\t');
            keys[i] = quillmap::fieldKey(QString::fromUtf8(tab < 0 ? line : line.first(tab)));
        });
        quillmap::orderByField(keys, ascending, m_order.data());
    } else if (text) {
        std::vector<QString> snps;
        if (column == 1) {
            std::vector<qint32> indexes(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i)
                indexes[size_t(i)] = m_records[i].snpIndex;
            snps = tables.snpNamesOf(indexes);
        }
        std::vector<std::pair<QString, int>> keyed;
        keyed.reserve(size_t(n));
        for (int i = 0; i < n; ++i) {
            keyed.emplace_back(column == 0 ? tables.traitNames.value(m_records[i].traitIndex)
                                           : std::move(snps[size_t(i)]),
                               i);
        }
        std::stable_sort(keyed.begin(), keyed.end(), [ascending](const auto &a, const auto &b) {
            return ascending ? a.first < b.first : b.first < a.first;
        });
        for (int i = 0; i < n; ++i)
            m_order[size_t(i)] = keyed[size_t(i)].second;
    } else {
        std::vector<double> keys(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            const RowRecord &row = m_records[i];
            if (column == m + 4)
                keys[size_t(i)] = row.firstStat;
            else
                keys[size_t(i)] = m_stats[i] ? double(m_stats[i][stat]) : 0.0;
        }
        if (ascending)
            sortAscendingWithIndex(keys.data(), m_order.data(), 0, n - 1);
        else
            sortDescendingWithIndex(keys.data(), m_order.data(), 0, n - 1);
    }
    endResetModel();
}

QVariant CTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Vertical)
        return QString::number(section);
    return tables().columnHeaders.value(section);
}

} // namespace quillmap
