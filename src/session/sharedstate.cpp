#include "session/sharedstate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

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

QString installedDataFolder(const QString &executableFolder)
{
    // Relative, so that an installation moved to another prefix still finds its pictures.
    return QDir::cleanPath(executableFolder + u'/' + QLatin1StringView(QUILLMAP_DATA_FROM_BIN));
}

QString findPicture(const QString &name, const QStringList &folders)
{
    for (const QString &folder : folders) {
        const QString path = folder + u'/' + name;
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
