#pragma once

#include <QByteArray>
#include <QString>

namespace quillmap {

class LineReader;

// Why an import failed: a check of the input files, an input file that could not be opened or
// read to its end, a dataset file that could not be written, or too little memory for the result
// rows. Two refusals leave the folder untouched (summary.txt is not written): UnusablePath, a
// folder or input path holding a tab or line break that summary.txt could not record, and Busy,
// another import holding the folder's lock.
enum class ImportFailure { None, Validation, UnreadableInput, WriteFailure, OutOfMemory, UnusablePath, Busy };

// The one error of the import and of its steps: the kind, line 6 of summary.txt (followed by a
// line feed when lineFeed is set) and the text shown to the user.
struct ImportError {
    ImportFailure failure = ImportFailure::Validation;
    QByteArray reportLine;
    bool lineFeed = true;
    QString text;

    // The text shown is the report line.
    static ImportError of(ImportFailure failure, const QByteArray &reportLine, bool lineFeed = true);
    static ImportError invalid(const QByteArray &reportLine, bool lineFeed = true);
    // "error : can't open the ROLE file PATH!" and "... can't read the ROLE file PATH to its end!"
    static ImportError cannotOpen(const char *role, const QString &path);
    static ImportError cannotRead(const char *role, const QString &path);
    // A line longer than the line reader takes, which would otherwise read as a damaged file.
    static ImportError lineTooLong(const char *role, const QString &path);
    // cannotRead, or lineTooLong when that is why `reader` failed.
    static ImportError cannotRead(const char *role, const QString &path, const LineReader &reader);
    // A file saved as UTF-16 would fail some later check with a message that hides the cause.
    static ImportError utf16Text(const char *role, const QString &path);
    // "error : can't write the file PATH!"
    static ImportError cannotWrite(const QString &path);
};

} // namespace quillmap
