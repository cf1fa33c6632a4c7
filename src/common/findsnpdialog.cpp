#include "common/findsnpdialog.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>

FindSNPDialog::FindSNPDialog(QWidget *parent)
    : QDialog(parent)
{
    setupUi(this);
    // The validator refuses any keystroke that cannot lead to a name, so only prefixes of a
    // name ever reach the line edit; OK follows whether the whole text is a name.
    const QRegularExpression name(QRegularExpression::anchoredPattern(QStringLiteral("[rR][sS][0-9][0-9]*")));
    lineEdit->setValidator(new QRegularExpressionValidator(name, this));
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void FindSNPDialog::on_lineEdit_textChanged()
{
    okButton->setEnabled(lineEdit->hasAcceptableInput());
}
