#pragma once

#include "dataset/rowrecord.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <memory>
#include <vector>

namespace quillmap {

class Dataset;
class DatasetTables;

// Read-only table of a panel's result rows, with the dataset's column layout: trait, SNP, "Chr",
// "Pos" (base pairs), the extra SNP columns, then the statistics. It owns only the row order;
// names, SNP fields and headers come from the dataset it shares with its panel.
class CTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // A null dataset is taken for one without tables.
    explicit CTableModel(std::shared_ptr<const Dataset> dataset, QObject *parent = nullptr);
    ~CTableModel() override;

    // Starts a new row set with the identity row order. `records` and `stats` (rowCount rows of
    // E floats) stay owned by the caller and must outlive the attachment to a view. Callers
    // detach the model from its view before and re-attach it after.
    void setRows(int rowCount, int columnCount, const RowRecord *records, RowStats stats);

    // Displayed row r shows record rowOrder()[r].
    int *rowOrder() { return m_order.data(); }
    const RowRecord *records() const { return m_records; }
    RowStats stats() const { return m_stats; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Both panels' sort by a column: the row order starts again from the identity and is sorted
    // by the column's key. Names are texts (code-unit order, stable); "Chr" and "Pos" sort in
    // genome order (orderByGenome); extra SNP columns as numbers where they hold numbers, text
    // after them (orderByField); the raw statistics are numbers, NaN last either way. A column
    // without a key keeps the identity.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    const DatasetTables &tables() const;

    std::shared_ptr<const Dataset> m_dataset;
    int m_columnCount = 0;
    const RowRecord *m_records = nullptr;
    RowStats m_stats;
    std::vector<int> m_order;
    // The SNP information line last split for data(), and its fields.
    mutable int m_fieldsLine = -1;
    mutable QStringList m_fields;
    int m_rowCount = 0;
};

} // namespace quillmap
