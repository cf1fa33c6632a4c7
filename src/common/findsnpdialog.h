#pragma once

#include "common/formdialog.h"
#include "ui_findsnpdialog.h"

namespace quillmap {

// Asks for a SNP name (any text without whitespace). Callers run it through
// DialogProvider::exec and, when accepted, read lineEdit->text().
class FindSNPDialog final : public FormDialog<Ui::FindSNPDialog>
{
    Q_OBJECT

public:
    explicit FindSNPDialog(QWidget *parent = nullptr);

private:
    void enableOk();
};

} // namespace quillmap
