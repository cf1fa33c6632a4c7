#include "app/programentry.h"

#include "app/browsingphase.h"
#include "app/startupdialog.h"
#include "browse/studysummaries.h"
#include "common/dialogprovider.h"
#include "import/importer.h"
#include "session/sharedstate.h"

#include <QIcon>

namespace quillmap {

int runProgram()
{
    quillmap::programFolder(); // taken now, before anything could change the working directory
    setImportFinishedHook(&StudySummaries::prepare);

    // The dialog stays alive, hidden, until the main window has closed.
    StartupDialog dialog;
    dialog.setWindowIcon(QIcon(quillmap::picturePath(QStringLiteral("qtlogo.png"))));
    DialogProvider::instance().exec(&dialog);
    if (!dialog.isAccepted())
        return 0;
    return runBrowsingPhase();
}

} // namespace quillmap
