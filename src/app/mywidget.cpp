#include "app/mywidget.h"

MyWidget::MyWidget(QWidget *parent)
    : QWidget(parent)
{
    setWindowTitle(tr("Quillmap 0.0.2 (2008.10)"));
}
