#pragma once

#include <QString>
#include <QStringList>

// Process-wide values shared between the windows. They live from program start to program end.
namespace quillmap {

// The dataset folder being imported or browsed; empty at start.
QString &currentDatasetFolder();

// The folder of the input file the load wizard was given last; empty at start (its file
// dialogs then start in the working directory).
QString &lastInputFolder();

// Registered dataset folders, in the order of the settings key "path".
QStringList &datasetRegistry();

// Link-out: entry i of the template list is the URL template of database i ("######" marks the
// term), entry i of the name list the label shown while database i is chosen.
QStringList &linkTemplates();
QStringList &databaseNames();
int &chosenDatabase();

// The placeholder that a link template holds where the term goes.
inline constexpr char SearchPlaceholder[] = "######";

// The process's working directory when first asked; icons, the splash image and proposed export
// file names are looked up in it.
QString programFolder();

// The folder an installed program keeps its pictures in: share/quillmap beside the bin folder
// EXECUTABLEFOLDER, wherever the whole installation was moved.
QString installedDataFolder(const QString &executableFolder);

// NAME in the first of FOLDERS that holds it, or in the first folder when none does (a missing
// picture then stays missing, unreported).
QString findPicture(const QString &name, const QStringList &folders);

// A picture ("qtlogo.png", "splash.png"): from the program folder, else from the installed data
// folder of the running executable.
QString picturePath(const QString &name);

} // namespace quillmap
