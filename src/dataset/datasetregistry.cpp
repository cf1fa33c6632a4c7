#include "dataset/datasetregistry.h"

#include <QDir>
#include <QSettings>
#include <QVariant>

namespace {
const QString Organisation = QStringLiteral("Diravizi");
const QString Application = QStringLiteral("Quillmap");
const QString PathKey = QStringLiteral("path");
} // namespace

namespace registrystore {

QStringList read()
{
    QSettings settings(Organisation, Application);
    // A damaged or unreadable store must not leave half a list or stray entries behind.
    if (settings.status() != QSettings::NoError)
        return {};
    // A one-entry list comes back from the file as a plain string; toStringList covers both.
    // Entries that no folder dialog could have returned are debris of a damaged file.
    QStringList folders = settings.value(PathKey).toStringList();
    folders.removeIf([](const QString &folder) { return !QDir::isAbsolutePath(folder); });
    return folders;
}

void write(const QStringList &folders)
{
    QSettings settings(Organisation, Application);
    settings.remove(PathKey);
    settings.setValue(PathKey, folders);
    settings.sync();
}

} // namespace registrystore
