#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>

#include <memory>

// Reads an input file line by line as raw bytes. A line ends at "\n" or "\r\n", neither of which
// is part of the line; a last line without a line feed is still a line, and a file ending in a
// line feed has no empty last line. Files whose name ends in ".gz" are decompressed on the fly.
// A UTF-8 byte order mark at the very start of the file is skipped.
class LineReader final
{
public:
    LineReader();
    ~LineReader();
    LineReader(const LineReader &) = delete;
    LineReader &operator=(const LineReader &) = delete;

    // False when the file cannot be opened for reading.
    bool open(const QString &path);
    void close();

    // The next line, valid until the next call; false at the end of the file or on a read error
    // (see failed()).
    bool readLine(QByteArrayView &line);

    // True after a read error or a line longer than maxLineBytes().
    bool failed() const { return m_failed; }
    // True when the first line read starts with a UTF-16 byte order mark (either byte order):
    // the file is not 8-bit text and its lines mean nothing to the checks.
    bool startsWithUtf16Mark() const { return m_utf16Mark; }
    static constexpr qsizetype maxLineBytes() { return qsizetype(1) << 30; }

private:
    bool fill();
    void stripMark(QByteArrayView &line);

    std::unique_ptr<QFile> m_file;
    void *m_gz = nullptr; // gzFile, kept opaque here
    QByteArray m_buffer;
    qsizetype m_begin = 0; // first unread byte
    qsizetype m_end = 0;   // one past the last valid byte
    bool m_eof = false;
    bool m_failed = false;
    bool m_atStart = true;
    bool m_utf16Mark = false;
};
