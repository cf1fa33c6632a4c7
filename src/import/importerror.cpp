#include "import/importerror.h"

namespace quillmap {

ImportError ImportError::of(ImportFailure failure, const QByteArray &reportLine, bool lineFeed)
{
    return {failure, reportLine, lineFeed, QString::fromUtf8(reportLine)};
}

ImportError ImportError::invalid(const QByteArray &reportLine, bool lineFeed)
{
    return of(ImportFailure::Validation, reportLine, lineFeed);
}

ImportError ImportError::cannotOpen(const char *role, const QString &path)
{
    return of(ImportFailure::UnreadableInput,
              "error : can't open the " + QByteArray(role) + " file " + path.toUtf8() + '!');
}

ImportError ImportError::cannotRead(const char *role, const QString &path)
{
    return of(ImportFailure::UnreadableInput,
              "error : can't read the " + QByteArray(role) + " file " + path.toUtf8() + " to its end!");
}

ImportError ImportError::utf16Text(const char *role, const QString &path)
{
    return invalid("error : the " + QByteArray(role) + " file " + path.toUtf8()
                   + " is UTF-16 text, please save it as UTF-8 text!");
}

ImportError ImportError::cannotWrite(const QString &path)
{
    return of(ImportFailure::WriteFailure, "error : can't write the file " + path.toUtf8() + '!');
}

} // namespace quillmap
