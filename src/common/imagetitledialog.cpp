#include "common/imagetitledialog.h"

namespace quillmap {

ImageTitleDialog::ImageTitleDialog(QWidget *parent)
    : FormDialog(parent)
{
    acceptOnOk();
}

} // namespace quillmap
