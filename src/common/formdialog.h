#pragma once

#include <QDialog>
#include <QPushButton>

namespace quillmap {

// A dialog made of one Designer form, which it derives from so that callers and tests reach the
// form's widgets by their object names. The form is set up here and its cancelButton rejects.
// Subclasses connect their slots themselves: slots named for by-name connection would not be
// found, since the form is set up before the subclass exists.
template <typename Form>
class FormDialog : public QDialog, public Form
{
public:
    explicit FormDialog(QWidget *parent)
        : QDialog(parent)
    {
        Form::setupUi(this);
        QObject::connect(this->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    }

protected:
    // For forms whose okButton simply accepts.
    void acceptOnOk() { QObject::connect(this->okButton, &QPushButton::clicked, this, &QDialog::accept); }
};

} // namespace quillmap
