#pragma once

#include "common/formdialog.h"
#include "ui_imagetitle.h"

namespace quillmap {

// Asks for the title of a plot before it is exported. Any text is accepted, the empty one
// included; callers read lineEdit->text() after an accepted run.
class ImageTitleDialog final : public FormDialog<Ui::imagetitle>
{
    Q_OBJECT

public:
    using FormDialog::FormDialog;
};

} // namespace quillmap
