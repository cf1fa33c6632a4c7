#include "common/literaltext.h"

#include <QTextDocument>

namespace quillmap {

QString literalToolTip(const QString &text)
{
    if (!Qt::mightBeRichText(text))
        return text;
    // Pre: a plain tip never wraps, so neither does this one.
    return Qt::convertFromPlainText(text, Qt::WhiteSpacePre);
}

} // namespace quillmap
