#pragma once

#include <QPointF>
#include <QString>

#include <functional>

class QEvent;
class QWidget;

namespace quillmap {

// Answers `event` when it asks `widget` for a tool tip: the text `textAt` gives for the point
// under the pointer, or no tip where it gives none. True when the event was such a request.
bool answerPointToolTip(QWidget *widget, QEvent *event, const std::function<QString(QPointF)> &textAt);

} // namespace quillmap
