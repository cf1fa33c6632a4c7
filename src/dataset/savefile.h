#pragma once

#include <QByteArray>
#include <QString>

namespace quillmap {

// Writes `bytes` to `path` through a temporary file renamed into place, every write checked
// (unbuffered, so a full disk shows at the write and not only at the commit). On failure
// `error` holds "PATH cannot be written: REASON" and whatever was at `path` is unchanged.
bool saveFileAtomically(const QString &path, const QByteArray &bytes, QString *error);

} // namespace quillmap
