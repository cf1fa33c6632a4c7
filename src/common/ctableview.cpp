#include "common/ctableview.h"

#include "browse/ctablemodel.h"

#include <QHeaderView>
#include <QItemSelectionModel>

namespace quillmap {

CTableView::CTableView(QWidget *parent)
    : QTableView(parent)
{
}

void CTableView::attachRows(const RowRecord *records, RowStats stats, int *rowOrder, int rowCount)
{
    m_records = records;
    m_stats = stats;
    m_rowOrder = rowOrder;
    m_rowCount = rowCount;
}

void CTableView::mouseReleaseEvent(QMouseEvent *event)
{
    // Selection follows presses and drags; the release is swallowed on purpose.
    Q_UNUSED(event);
}

namespace {

void detachModel(CTableView *view)
{
    QItemSelectionModel *old = view->selectionModel();
    view->setModel(nullptr);
    // The view leaves replaced selection models to their owner; they would pile up otherwise.
    if (old && old != view->selectionModel())
        old->deleteLater();
}

void attachModel(CTableView *view, CTableModel *model, QObject *context,
                 const std::function<void()> &onSelectionChanged)
{
    QItemSelectionModel *old = view->selectionModel();
    view->setModel(model);
    // setModel gives the view a new selection model and leaves the old one to us.
    if (old && old != view->selectionModel())
        old->deleteLater();
    if (QItemSelectionModel *selection = view->selectionModel()) {
        QObject::connect(selection, &QItemSelectionModel::selectionChanged, context,
                         [onSelectionChanged](const QItemSelection &, const QItemSelection &) {
                             if (onSelectionChanged)
                                 onSelectionChanged();
                         });
    }
}

} // namespace

void fillResultTable(CTableView *view, CTableModel *model, int rowCount, int columnCount,
                     const RowRecord *records, RowStats stats, QObject *context,
                     const std::function<void()> &onSelectionChanged)
{
    detachModel(view);
    model->setRows(rowCount, columnCount, records, stats);
    view->attachRows(records, stats, model->rowOrder(), rowCount);
    attachModel(view, model, context, onSelectionChanged);
    view->horizontalHeader()->setSortIndicatorShown(true);
    view->horizontalHeader()->setSectionsClickable(true);
    view->resizeColumnsToContents();
}

void reattachResultTable(CTableView *view, CTableModel *model, QObject *context,
                         const std::function<void()> &onSelectionChanged)
{
    detachModel(view);
    attachModel(view, model, context, onSelectionChanged);
    view->resizeColumnsToContents();
}

} // namespace quillmap
