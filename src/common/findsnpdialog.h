#pragma once

#include "ui_findsnpdialog.h"

#include <QDialog>

namespace quillmap {

// Asks for a SNP name: r or s in either case followed by digits. Callers run it through
// DialogProvider::exec and, when accepted, read lineEdit->text().
class FindSNPDialog final : public QDialog, public Ui::FindSNPDialog
{
    Q_OBJECT

public:
    explicit FindSNPDialog(QWidget *parent = nullptr);

private slots:
    void on_lineEdit_textChanged();
};

} // namespace quillmap
