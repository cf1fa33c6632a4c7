#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace quillmap {

class InputDecoder;

// Reads an input file line by line as raw bytes. A line ends at "\n" or "\r\n", neither of which
// is part of the line; a last line without a line feed is still a line, and a file ending in a
// line feed has no empty last line. Gzip and zstd files are decompressed on the fly, known by
// their content whatever their name; every member or frame must be read to its end or the read
// fails. A UTF-8 byte order mark at the very start of the file is skipped.
class LineReader final
{
public:
    LineReader();
    ~LineReader();
    LineReader(const LineReader &) = delete;
    LineReader &operator=(const LineReader &) = delete;

    // False when the file cannot be opened for reading.
    bool open(const QString &path);
    // Reads the lines of `bytes` instead of a file, as they are (a compressed stream is
    // not decompressed). Always true.
    bool open(const QByteArray &bytes);
    void close();

    // The next line, valid until the next call; false at the end of the file or on a read error
    // (see failed()).
    bool readLine(QByteArrayView &line);

    // True after a read error or a line longer than maxLineBytes().
    bool failed() const { return m_failed; }
    // True when that failure was a line longer than maxLineBytes().
    bool lineTooLong() const { return m_lineTooLong; }
    // True when the first line read starts with a UTF-16 byte order mark (either byte order):
    // the file is not 8-bit text and its lines mean nothing to the checks.
    bool startsWithUtf16Mark() const { return m_utf16Mark; }
    static qsizetype maxLineBytes() { return s_maxLineBytes; }
    // Tests lower the limit rather than write a gigabyte (a buffer's worth, 4 MiB, still fits).
    static void setMaxLineBytesForTesting(qsizetype bytes) { s_maxLineBytes = bytes; }
    // The part of the file read so far, from 0 to 1 (bytes taken from the file, compressed or
    // not, over its size); 0 when unknown, as for a pipe.
    double readFraction() const;

    // The whole of a file as the lines above come from it: decompressed when it is gzip or zstd, without
    // a leading UTF-8 byte order mark. False when it cannot be opened or read to its end.
    static bool readFile(const QString &path, QByteArray &bytes);
    // True when a file starting with `head` (its first 4 bytes or all of a shorter file) is one
    // the reader decompresses.
    static bool isCompressed(QByteArrayView head);

private:
    void restart(qsizetype end, qint64 fileSize);
    bool fill();
    void stripMark(QByteArrayView &line);

    std::unique_ptr<InputDecoder> m_source; // plain files pass through it unchanged
    QByteArray m_buffer;
    qsizetype m_begin = 0; // first unread byte
    qsizetype m_end = 0;   // one past the last valid byte
    bool m_eof = false;
    bool m_failed = false;
    bool m_lineTooLong = false;
    bool m_atStart = true;
    bool m_utf16Mark = false;
    qint64 m_fileSize = 0; // 0 when not a regular file
    bool m_inMemory = false;
    qint64 m_dropped = 0; // bytes moved out of the buffer's front
    static inline qsizetype s_maxLineBytes = qsizetype(1) << 30;
};

// Splits a line at every tab, keeping empty fields; an empty line is one empty field. A line of
// more than `maxFields` fields stops there, its rest left as one more field: a count check still
// fails, and a hostile line of tabs costs no more than the fields it may have.
void splitTabs(QByteArrayView line, std::vector<QByteArrayView> &fields,
               qsizetype maxFields = std::numeric_limits<qsizetype>::max());

// Calls fn(begin, length) for every line of `data`; "\n" and "\r\n" both end a line, and an
// empty piece after the last line end is not a line (as every dataset reader splits lines).
template <typename Fn>
void forEachLine(QByteArrayView data, Fn fn)
{
    const char *p = data.data();
    const char *end = p + data.size();
    while (p < end) {
        const void *nl = std::memchr(p, '\n', size_t(end - p));
        const char *lineEnd = nl ? static_cast<const char *>(nl) : end;
        qsizetype length = lineEnd - p;
        if (length > 0 && p[length - 1] == '\r')
            --length;
        fn(p, length);
        p = nl ? lineEnd + 1 : end;
    }
}

} // namespace quillmap
