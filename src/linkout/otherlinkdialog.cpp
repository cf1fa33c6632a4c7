#include "linkout/otherlinkdialog.h"

#include "common/dialogprovider.h"
#include "session/sharedstate.h"
#include "session/linktemplates.h"

namespace quillmap {

OtherlinkDialog::OtherlinkDialog(QWidget *parent)
    : QDialog(parent)
{
    setupUi(this);
    connect(okButton, &QPushButton::clicked, this, &OtherlinkDialog::okSlot);
    connect(cancelButton, &QPushButton::clicked, this, &OtherlinkDialog::cancelSlot);
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

void OtherlinkDialog::cancelSlot()
{
    reject();
}

} // namespace quillmap
