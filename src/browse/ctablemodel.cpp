#include "browse/ctablemodel.h"

#include "browse/tablesort.h"
#include "dataset/dataset.h"
#include "dataset/positionbin.h"
#include "io/vectorstorage.h"

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

void CTableModel::setRows(int rowCount, int columnCount, const RowRecord *records, RowStats stats)
{
    m_rowCount = rowCount > 0 ? rowCount : 0;
    m_columnCount = columnCount > 0 ? columnCount : 0;
    m_records = records;
    m_stats = stats;
    m_fieldsLine = -1;
    // Kept between row sets (a panel detaches with 0 rows first).
    if (m_rowCount > 0)
        resizeForOverwrite(m_order, size_t(m_rowCount));
    else
        m_order.clear();
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
        const float *stats = m_stats.of(recordIndex);
        if (!stats || stat >= tables.extraStats)
            return QVariant();
        return double(stats[stat]);
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
    sortTableRows(tables(), m_records, m_stats, m_rowCount, column, order == Qt::AscendingOrder,
                  m_order.data());
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
