#include "import/importerror.h"

#include "io/linereader.h"

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

ImportError ImportError::lineTooLong(const char *role, const QString &path)
{
    const qsizetype limit = LineReader::maxLineBytes();
    const QByteArray size = limit >= (1 << 20) ? QByteArray::number(limit >> 20) + " MiB"
                                               : QByteArray::number(limit) + " bytes";
    return of(ImportFailure::UnreadableInput,
              "error : the " + QByteArray(role) + " file " + path.toUtf8() + " has a line longer than " + size
                  + ", more than a line may hold!");
}

ImportError ImportError::cannotRead(const char *role, const QString &path, const LineReader &reader)
{
    return reader.lineTooLong() ? lineTooLong(role, path) : cannotRead(role, path);
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
