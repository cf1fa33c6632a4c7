#pragma once

#include "common/formdialog.h"
#include "ui_otherlinkdialog.h"

namespace quillmap {

// Asks for a custom link template; OK stores it as the "Other" database's template and chooses
// it, but only when it holds the placeholder "######".
class OtherlinkDialog final : public FormDialog<Ui::otherlinkDialog>
{
    Q_OBJECT

public:
    using FormDialog::FormDialog;

    void accept() override;
};

} // namespace quillmap
