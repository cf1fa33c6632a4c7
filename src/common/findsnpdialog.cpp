#include "common/findsnpdialog.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace quillmap {

FindSNPDialog::FindSNPDialog(QWidget *parent)
    : FormDialog(parent)
{
    // Any SNP name a dataset can hold (rs names, 1:14181, chr1:14181:A:G): the validator refuses
    // whitespace, which no name holds; OK follows whether the text is non-empty.
    const QRegularExpression name(QRegularExpression::anchoredPattern(QStringLiteral("\\S+")));
    lineEdit->setValidator(new QRegularExpressionValidator(name, this));
    connect(lineEdit, &QLineEdit::textChanged, this, &FindSNPDialog::enableOk);
}

void FindSNPDialog::enableOk()
{
    okButton->setEnabled(lineEdit->hasAcceptableInput());
}

} // namespace quillmap
