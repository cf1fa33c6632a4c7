#include "app/browsingphase.h"
#include "app/startupdialog.h"
#include "common/dialogprovider.h"
#include "common/sharedstate.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    quillmap::programFolder(); // taken now, before anything could change the working directory

    StartupDialog dialog;
    dialog.setWindowIcon(QIcon(QDir::currentPath() + QStringLiteral("/qtlogo.png")));
    DialogProvider::instance().exec(&dialog);
    if (!dialog.isAccepted())
        return 0;
    return runBrowsingPhase();
}
