#include "session/sharedstate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace quillmap {

namespace {

struct Shared {
    QString datasetFolder;
    QString inputFolder;
    QStringList registry;
    QStringList linkTemplates;
    QStringList databaseNames;
    int chosenDatabase = 0;
};

Shared &shared()
{
    static Shared values;
    return values;
}

} // namespace

QString &currentDatasetFolder()
{
    return shared().datasetFolder;
}

QString &lastInputFolder()
{
    return shared().inputFolder;
}

QStringList &datasetRegistry()
{
    return shared().registry;
}

QStringList &linkTemplates()
{
    return shared().linkTemplates;
}

QStringList &databaseNames()
{
    return shared().databaseNames;
}

int &chosenDatabase()
{
    return shared().chosenDatabase;
}

QString programFolder()
{
    static const QString folder = QDir::currentPath();
    return folder;
}

QString installedDataFolder(const QString &executableFolder)
{
    // Relative, so that an installation moved to another prefix still finds its pictures.
    return QDir::cleanPath(executableFolder + u'/' + QLatin1StringView(QUILLMAP_DATA_FROM_BIN));
}

QString findPicture(const QString &name, const QStringList &folders)
{
    for (const QString &folder : folders) {
        QString path = folder + u'/' + name;
        if (QFileInfo(path).isFile())
            return path;
    }
    return folders.isEmpty() ? name : folders.first() + u'/' + name;
}

QString picturePath(const QString &name)
{
    static const QString installed = installedDataFolder(QCoreApplication::applicationDirPath());
    return findPicture(name, {programFolder(), installed});
}

} // namespace quillmap
