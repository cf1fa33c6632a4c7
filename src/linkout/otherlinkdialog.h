#pragma once

#include "ui_otherlinkdialog.h"

#include <QDialog>

namespace quillmap {

// Asks for a custom link template; OK stores it as the "Other" database's template and chooses
// it, but only when it holds the placeholder "######".
class OtherlinkDialog final : public QDialog, public Ui::otherlinkDialog
{
    Q_OBJECT

public:
    explicit OtherlinkDialog(QWidget *parent = nullptr);

private slots:
    void okSlot();
    void cancelSlot();
};

} // namespace quillmap
