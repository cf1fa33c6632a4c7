#pragma once

#include "dataset/rowrecord.h"

#include <QTableView>

#include <functional>

namespace quillmap {

class CTableModel;

// The result table widget. Selection follows presses and drags only: a release does nothing.
class CTableView : public QTableView
{
    Q_OBJECT

public:
    explicit CTableView(QWidget *parent = nullptr);

    // Keeps references to the panel's rows; nothing in the view reads them.
    void attachRows(const RowRecord *records, RowStats stats, int *rowOrder, int rowCount);

private slots:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    const RowRecord *m_records = nullptr;
    int *m_rowOrder = nullptr;
    RowStats m_stats;
    int m_rowCount = 0;
};

// Shows a new row set in `view` in the fixed order: detach the model, setRows, attachRows,
// re-attach, connect the new selection model's selectionChanged to `onSelectionChanged`
// (with `context` as the connection's context), make the header's sort indicator shown and its
// sections clickable, resize the columns to their contents.
void fillResultTable(CTableView *view, CTableModel *model, int rowCount, int columnCount,
                     const RowRecord *records, RowStats stats, QObject *context,
                     const std::function<void()> &onSelectionChanged);

// After a panel rewrote the model's row order: re-attach the model (detach first), resize the
// columns and reconnect selectionChanged as above.
void reattachResultTable(CTableView *view, CTableModel *model, QObject *context,
                         const std::function<void()> &onSelectionChanged);

} // namespace quillmap
