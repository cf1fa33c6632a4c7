#include "app/browsingphase.h"

#include "app/mywidget.h"
#include "common/datasetopening.h"
#include "session/sharedstate.h"

#include <QApplication>
#include <QIcon>

namespace quillmap {

int runBrowsingPhase()
{
    // Opened once here and shared by every tab; a failure is reported before the window shows.
    MyWidget window(openDatasetForBrowsing(currentDatasetFolder()));
    window.setWindowIcon(QIcon(quillmap::picturePath(QStringLiteral("qtlogo.png"))));
    window.setGeometry(100, 100, 1000, 800);
    window.show();
    return QApplication::exec();
}

} // namespace quillmap
