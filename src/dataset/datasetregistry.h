#pragma once

#include <QString>
#include <QStringList>

namespace quillmap {

// The dataset registry as kept in the per-user settings (organisation "Diravizi", application
// "Quillmap", key "path"): the whole list of dataset folders, in registry order. The store is the
// toolkit's settings file for that name (on Linux $XDG_CONFIG_HOME/Diravizi/Quillmap.conf), read
// and written here in the toolkit's own text form, so either can read what the other wrote.
namespace registrystore {

// The settings file's path.
QString storePath();

// Every readable entry of the stored list. A damaged line elsewhere in the file, or an entry
// that is not an absolute path, costs only itself. Empty when the file is absent, unreadable or
// not a regular file (a FIFO there would block the read for ever).
QStringList read();

// Rewrites key "path" whole with `folders`, keeping the file's other lines, through AtomicFile.
// False (with `error` set) when it could not be written; the file on disk is then as it was.
bool write(const QStringList &folders, QString *error = nullptr);

// What an update left on disk: the merged list (also when saving failed, so the caller can
// still show it), whether it was saved and, if not, why.
struct Update {
    QStringList folders;
    bool saved = false;
    QString error;
};

// Read, change and write under the settings file's lock, so that programs updating the list at
// once (several imports, the startup dialog beside an import) lose nothing: add appends the
// folder unless it is listed (exact, case-sensitive comparison); remove drops its first entry.
Update add(const QString &folder);
Update remove(const QString &folder);

} // namespace registrystore

} // namespace quillmap
