#include "common/pointtooltip.h"

#include <QHelpEvent>
#include <QToolTip>

namespace quillmap {

bool answerPointToolTip(QWidget *widget, QEvent *event, const std::function<QString(QPointF)> &textAt)
{
    if (event->type() != QEvent::ToolTip)
        return false;
    auto *help = static_cast<QHelpEvent *>(event);
    const QString text = textAt(help->pos());
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), text, widget);
    return true;
}

} // namespace quillmap
