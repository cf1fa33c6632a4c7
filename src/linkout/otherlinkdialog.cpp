#include "linkout/otherlinkdialog.h"

#include "common/dialogprovider.h"
#include "session/sharedstate.h"
#include "session/linktemplates.h"

namespace quillmap {

OtherlinkDialog::OtherlinkDialog(QWidget *parent)
    : FormDialog(parent)
{
    connect(okButton, &QPushButton::clicked, this, &OtherlinkDialog::okSlot);
}

void OtherlinkDialog::okSlot()
{
    const QString text = lineEdit->text();
    if (!text.contains(QLatin1String(quillmap::SearchPlaceholder), Qt::CaseSensitive)) {
        dialogs::information(this, tr("Invalid format: can't find '######'!"));
        return;
    }
    linkout::setCustomTemplate(text);
    accept();
}

} // namespace quillmap
