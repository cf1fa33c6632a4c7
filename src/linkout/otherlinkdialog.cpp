#include "linkout/otherlinkdialog.h"

#include "common/dialogprovider.h"
#include "session/sharedstate.h"
#include "session/linktemplates.h"

namespace quillmap {

void OtherlinkDialog::accept()
{
    const QString text = lineEdit->text();
    if (!text.contains(QLatin1String(quillmap::SearchPlaceholder), Qt::CaseSensitive)) {
        dialogs::information(this, tr("Invalid format: can't find '######'!"));
        return;
    }
    linkout::setCustomTemplate(text);
    FormDialog::accept();
}

} // namespace quillmap
