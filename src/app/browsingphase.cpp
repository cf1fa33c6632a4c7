#include "app/browsingphase.h"

#include "app/mywidget.h"
#include "session/sharedstate.h"

#include <QApplication>
#include <QIcon>

namespace quillmap {

int runBrowsingPhase()
{
    MyWidget window;
    window.setWindowIcon(QIcon(quillmap::picturePath(QStringLiteral("qtlogo.png"))));
    window.setGeometry(100, 100, 1000, 800);
    window.show();
    return QApplication::exec();
}

} // namespace quillmap
