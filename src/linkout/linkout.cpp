#include "linkout/linkout.h"

#include "session/linktemplates.h"

#include <QDesktopServices>

namespace quillmap {

namespace linkout {

void openLink(const QString &term)
{
    QDesktopServices::openUrl(linkUrl(term));
}

} // namespace linkout

} // namespace quillmap
