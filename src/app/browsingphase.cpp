#include "app/browsingphase.h"

#include "app/mywidget.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

int runBrowsingPhase()
{
    MyWidget window;
    window.setWindowIcon(QIcon(QDir::currentPath() + QStringLiteral("/qtlogo.png")));
    window.setGeometry(100, 100, 1000, 800);
    window.show();
    return QApplication::exec();
}
