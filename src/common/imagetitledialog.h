#pragma once

#include "ui_imagetitle.h"

#include <QDialog>

namespace quillmap {

// Asks for the title of a plot before it is exported. Any text is accepted, the empty one
// included; callers read lineEdit->text() after an accepted run.
class ImageTitleDialog final : public QDialog, public Ui::imagetitle
{
    Q_OBJECT

public:
    explicit ImageTitleDialog(QWidget *parent = nullptr);

private slots:
    void on_lineEdit_textChanged();
};

} // namespace quillmap
