#include "overview/sortablecell.h"

#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>

namespace quillmap {

QStandardItem *sortableCell(const QString &text, const QVariant &sortKey)
{
    auto *item = new QStandardItem(text);
    item->setData(sortKey, SortRole);
    item->setEditable(false);
    return item;
}

QTableView *sortableTable(QStandardItemModel *model, int column, const QString &objectName)
{
    model->setSortRole(SortRole);
    auto *table = new QTableView;
    table->setObjectName(objectName);
    table->setModel(model);
    table->horizontalHeader()->setSortIndicator(column, Qt::AscendingOrder);
    table->setSortingEnabled(true);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    return table;
}

} // namespace quillmap
