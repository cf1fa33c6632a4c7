#include "dataset/savefile.h"

#include <QSaveFile>

namespace quillmap {

bool saveFileAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && file.write(bytes) == bytes.size()
        && file.error() == QFileDevice::NoError && file.commit())
        return true;
    *error = QStringLiteral("%1 cannot be written: %2").arg(path, file.errorString());
    file.cancelWriting();
    return false;
}

} // namespace quillmap
