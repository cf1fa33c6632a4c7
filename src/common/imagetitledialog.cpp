#include "common/imagetitledialog.h"

namespace quillmap {

ImageTitleDialog::ImageTitleDialog(QWidget *parent)
    : QDialog(parent)
{
    setupUi(this);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

// Every title is acceptable; the slot exists so the form's by-name connection has a target.
void ImageTitleDialog::on_lineEdit_textChanged()
{
}

} // namespace quillmap
