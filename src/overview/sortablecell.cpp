#include "overview/sortablecell.h"

#include <QStandardItem>

namespace quillmap {

QStandardItem *sortableCell(const QString &text, const QVariant &sortKey)
{
    auto *item = new QStandardItem(text);
    item->setData(sortKey, SortRole);
    item->setEditable(false);
    return item;
}

} // namespace quillmap
