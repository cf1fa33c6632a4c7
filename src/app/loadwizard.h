#pragma once

#include <QString>

class QWidget;

namespace quillmap {

// What one run of the load wizard came to. The caller (the startup dialog) registers the folder
// after Imported and closes itself after Failed; Stopped leaves everything as it was, except the
// current dataset folder, which moves as soon as a folder is chosen.
struct LoadWizardResult {
    enum Outcome { Stopped, Failed, Imported };
    Outcome outcome = Stopped;
    QString folder;
};

// Asks for the dataset folder and the input files through the program's dialogs (all parented
// to `parent`), runs the import under a wait cursor with a progress window, and shows the
// closing error box or notice.
LoadWizardResult runLoadWizard(QWidget *parent);

} // namespace quillmap
