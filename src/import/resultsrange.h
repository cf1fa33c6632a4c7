#pragma once

#include "io/linereader.h"
#include "import/nameset.h"
#include "import/rowstore.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <cstring>
#include <optional>
#include <vector>

// Parsing and checking the data lines of a results file, a byte range at a time, so that parts
// of one file can be read on several threads or machines and joined in file order.
//
// How to use it:
//   1. Read the header line and make the layout: ResultsLayout::fromHeader(header, dataBegin),
//      then set negLog10[k] = 1 for columns stored as -log10(p). Or readResultsLayout(path).
//   2. Cut [layout.dataBegin, file size) into ranges anywhere (no need to find line starts):
//      parseResultsRange(path, begin, end, layout) takes exactly the lines that START within
//      [begin, end), so ranges that tile the file take every line once.
//   3. Join the ranges in file order: lines of earlier ranges are added to line numbers
//      (error->reportLine(linesBefore)); a range's trait and SNP ids are its own, so map each of
//      its names (traits.nameAt(id)) to an id of a set shared by all ranges; the first error in
//      file order is the first range's error, as parsing stops at a range's first bad line.
// Plain files only: a gzip file has no byte ranges (decompress it, or read it whole with
// LineReader). Thread-safe: ranges share nothing but the layout, which is only read.
namespace quillmap {

// What the data lines of a results file look like, from its header line.
struct ResultsLayout {
    // Columns of the header (F >= 3): trait, SNP and F - 2 statistics.
    qsizetype fields = 0;
    // Per column: 1 when its values are p-values stored as their -log10 (columns 2 and up).
    std::vector<char> negLog10;
    // The header's column names, for messages that name a column.
    QList<QByteArray> header;
    // Byte offset of the first data line in the file: just past the header's line feed.
    qint64 dataBegin = 0;

    // The layout of a header line (without its line end), no column stored as -log10.
    static ResultsLayout fromHeader(QByteArrayView header, qint64 dataBegin);
    // Statistics per row: F - 2 (the first statistic, then the extra ones).
    int statsPerRow() const { return int(fields) - 2; }
};

// The layout of the plain results file at `path` (its first line, a UTF-8 byte order mark
// skipped); nothing when it cannot be read or has fewer than 3 columns.
std::optional<ResultsLayout> readResultsLayout(const QString &path);

// The first bad data line of a range, with the import's message for it.
struct ResultsLineError {
    // Validation: a check failed. Unreadable: a line of LineReader::maxLineBytes() bytes or more,
    // which the import reports as a file it cannot read to its end.
    enum class Kind { Validation, Unreadable };
    Kind kind = Kind::Validation;
    qint64 line = 0;         // 1-based data line within the range
    QByteArray detail;       // the report line after "error : <line number>"
    bool spaceAfter = false; // the text shown ends with a space (an invalid number)

    // The report line (summary.txt) and the text shown, with `linesBefore` data lines in the
    // ranges before this one. Kind::Unreadable has neither: say the file cannot be read.
    QByteArray reportLine(qint64 linesBefore) const;
    QString text(qint64 linesBefore) const;
};

// The good lines of one range, in file order.
struct ResultsRange {
    qint64 begin = 0; // the bytes of the lines taken: [begin, end) of the file
    qint64 end = 0;
    qint64 lines = 0; // good data lines, one row each (a bad line is not counted)
    NameSet traits;   // trait names in order of first appearance; rows' trait ids index them
    NameSet snps;     // SNP names likewise
    RowStore rows;    // per line: trait id, SNP id, the layout's statsPerRow() values
    // Per column: nonzero values single precision keeps only as 0 or subnormal, and the first
    // line (1-based within the range) holding one; 0 for none.
    std::vector<qint64> lostCount;
    std::vector<qint64> lostFirst;
    // The first bad line; parsing stopped there.
    std::optional<ResultsLineError> error;
    // The file could not be opened or read; nothing else is set.
    bool readFailed = false;
};

// Parses and checks the data lines that start within bytes [begin, end) of the plain results
// file at `path` (begin is raised to layout.dataBegin). At most `maxLines` lines are read when
// it is not negative.
ResultsRange parseResultsRange(const QString &path, qint64 begin, qint64 end, const ResultsLayout &layout,
                               qint64 maxLines = -1);
// The same on a file already in memory: `file` holds all of it (a QFile::map, say).
ResultsRange parseResultsRange(QByteArrayView file, qint64 begin, qint64 end, const ResultsLayout &layout,
                               qint64 maxLines = -1);

// The whole lines that start within bytes [begin, end) of the plain results file at `path`
// (begin raised to layout.dataBegin) into `bytes`, and the offset of their first byte; false
// when the file cannot be read.
bool readResultsRangeBytes(const QString &path, qint64 begin, qint64 end, const ResultsLayout &layout,
                           QByteArray &bytes, qint64 &start);

// Checks one data line (its line end removed), numbered `line` in messages, and reads its
// statistics into stats[0 .. statsPerRow()). `fields` gets the line's fields (the names are
// fields[0] and fields[1]); lost counts go to lostCount and lostFirst as in ResultsRange.
std::optional<ResultsLineError> parseResultsLine(QByteArrayView text, qint64 line,
                                                 const ResultsLayout &layout,
                                                 std::vector<QByteArrayView> &fields, float *stats,
                                                 std::vector<qint64> &lostCount,
                                                 std::vector<qint64> &lostFirst);

// Calls parse(line, n) for the whole lines of a range's bytes in order (their line ends
// removed; n counts from 1) until it returns an error or maxLines lines were parsed (-1: no
// limit). Returns that error, or an Unreadable one for a line the line reader would refuse as
// too long.
template <typename Parse>
std::optional<ResultsLineError> forEachRangeLine(QByteArrayView bytes, qint64 maxLines, Parse &&parse)
{
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    qint64 n = 0;
    while (p < end && n != maxLines) {
        const void *nl = std::memchr(p, '\n', size_t(end - p));
        const char *lineEnd = nl ? static_cast<const char *>(nl) : end;
        qsizetype length = lineEnd - p;
        ++n;
        // The line reader gives up on such a line: the file cannot be read to its end.
        if (length >= LineReader::maxLineBytes())
            return ResultsLineError{ResultsLineError::Kind::Unreadable, n, {}, false};
        if (nl && length > 0 && p[length - 1] == '\r')
            --length;
        const QByteArrayView line(p, length);
        p = nl ? lineEnd + 1 : end;
        if (std::optional<ResultsLineError> error = parse(line, n))
            return error;
    }
    return std::nullopt;
}

} // namespace quillmap
