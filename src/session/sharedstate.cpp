#include "session/sharedstate.h"

#include <QDir>

namespace quillmap {

QString &currentDatasetFolder()
{
    static QString folder;
    return folder;
}

QStringList &datasetRegistry()
{
    static QStringList registry;
    return registry;
}

QStringList &linkTemplates()
{
    static QStringList templates;
    return templates;
}

QStringList &databaseNames()
{
    static QStringList names;
    return names;
}

int &chosenDatabase()
{
    static int index = 0;
    return index;
}

QString programFolder()
{
    static const QString folder = QDir::currentPath();
    return folder;
}

} // namespace quillmap
