#pragma once

#include <QString>
#include <QVariant>

class QStandardItem;

namespace quillmap {

// The role both study tabs sort by: the shown text is formatted, the key keeps numbers numeric.
inline constexpr int SortRole = Qt::UserRole + 1;

// A read-only cell showing `text` and sorting by `sortKey`. The caller's model takes ownership.
QStandardItem *sortableCell(const QString &text, const QVariant &sortKey);

} // namespace quillmap
