#pragma once

#include <QString>
#include <QVariant>

class QStandardItem;
class QStandardItemModel;
class QTableView;

namespace quillmap {

// The role both study tabs sort by: the shown text is formatted, the key keeps numbers numeric.
inline constexpr int SortRole = Qt::UserRole + 1;

// A read-only cell showing `text` and sorting by `sortKey`. The caller's model takes ownership.
QStandardItem *sortableCell(const QString &text, const QVariant &sortKey);

// The list view of a study tab over `model`: whole rows selected, no row numbers, a header click
// sorts by SortRole, at first by `column` ascending. The caller's layout takes ownership.
QTableView *sortableTable(QStandardItemModel *model, int column, const QString &objectName);

} // namespace quillmap
