#pragma once

#include <QDialog>
#include <QPushButton>

namespace quillmap {

// A dialog made of one Designer form, which it derives from so that callers and tests reach the
// form's widgets by their object names. The form is set up here: its cancelButton rejects and its
// okButton, where it has one, accepts; a dialog that checks the input first overrides accept().
// Subclasses connect their other slots themselves: slots named for by-name connection would not
// be found, since the form is set up before the subclass exists.
template <typename Form>
class FormDialog : public QDialog, public Form
{
public:
    explicit FormDialog(QWidget *parent = nullptr)
        : QDialog(parent)
    {
        Form::setupUi(this);
        QObject::connect(this->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
        if constexpr (requires(Form & form) { form.okButton; })
            QObject::connect(this->okButton, &QPushButton::clicked, this, &QDialog::accept);
    }
};

} // namespace quillmap
