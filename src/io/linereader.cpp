#include "io/linereader.h"

#include <zlib.h>

#include <QFile>

#include <algorithm>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmap {

namespace {

constexpr qsizetype ChunkBytes = qsizetype(4) << 20;
constexpr qsizetype SmallestBuffer = qsizetype(4) << 10;

// Buffers follow the file: a 200-byte input needs no 4 MiB. Gzip text is larger than the
// file on disk, so it starts bigger; either grows while a line does not fit.
qsizetype bufferBytesFor(qint64 fileSize, bool gzip)
{
    const qint64 wanted = gzip ? fileSize * 8 : fileSize + 1;
    return qsizetype(std::clamp<qint64>(wanted, SmallestBuffer, ChunkBytes));
}

// zlib passes a plain file through unchanged and decompresses a gzip one, telling them apart by
// their first bytes: a name without ".gz" cannot hide a gzip file. Null when the path cannot be
// opened or is a folder; `size` is the file's size on disk.
gzFile openInput(const QString &path, qint64 &size, bool *regular = nullptr)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat info;
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    // Pipes and devices have no size: they get the largest buffers.
    size = S_ISREG(info.st_mode) ? qint64(info.st_size) : qint64(ChunkBytes);
    if (regular)
        *regular = S_ISREG(info.st_mode);
    gzFile gz = gzdopen(fd, "rb");
    if (!gz) {
        ::close(fd);
        return nullptr;
    }
    gzbuffer(gz, unsigned(std::clamp<qint64>(size, SmallestBuffer, qint64(1) << 18)));
    return gz;
}

// zlib reports a stream cut off in the middle as a plain end of input.
bool endedCleanly(gzFile gz)
{
    int status = Z_OK;
    gzerror(gz, &status);
    return status == Z_OK;
}

} // namespace

LineReader::LineReader() = default;

LineReader::~LineReader()
{
    close();
}

void LineReader::restart(qsizetype end, qint64 fileSize)
{
    m_failed = false;
    m_atStart = true;
    m_utf16Mark = false;
    m_begin = 0;
    m_end = end;
    m_fileSize = fileSize;
    m_dropped = 0;
}

bool LineReader::open(const QString &path)
{
    close();
    restart(0, 0);
    m_eof = false;
    qint64 size = 0;
    bool regular = false;
    gzFile gz = openInput(path, size, &regular);
    if (!gz)
        return false;
    m_gz = gz;
    m_fileSize = regular ? size : 0;
    const qsizetype bytes = bufferBytesFor(size, gzdirect(gz) == 0);
    if (m_buffer.size() < bytes)
        m_buffer.resize(bytes);
    return true;
}

bool LineReader::open(const QByteArray &bytes)
{
    close();
    m_buffer = bytes;
    restart(bytes.size(), bytes.size());
    m_eof = true; // every byte is in the buffer already
    m_inMemory = true;
    return true;
}

void LineReader::close()
{
    m_inMemory = false;
    if (m_gz) {
        gzclose(static_cast<gzFile>(m_gz));
        m_gz = nullptr;
    }
}

void LineReader::stripMark(QByteArrayView &line)
{
    if (!m_atStart)
        return;
    m_atStart = false;
    if (line.startsWith(QByteArrayView("\xEF\xBB\xBF", 3)))
        line = line.sliced(3);
    m_utf16Mark = line.startsWith(QByteArrayView("\xFF\xFE", 2))
        || line.startsWith(QByteArrayView("\xFE\xFF", 2));
}

// Moves the unread tail to the front and appends more bytes; false when nothing more came.
bool LineReader::fill()
{
    if (m_eof || m_failed)
        return false;
    const qsizetype tail = m_end - m_begin;
    if (m_begin > 0) {
        m_dropped += m_begin;
        if (tail > 0)
            std::memmove(m_buffer.data(), m_buffer.constData() + m_begin, size_t(tail));
        m_begin = 0;
        m_end = tail;
    }
    if (m_end == m_buffer.size()) {
        if (m_buffer.size() >= maxLineBytes()) {
            m_failed = true;
            return false;
        }
        m_buffer.resize(m_buffer.size() * 2);
    }
    const qsizetype room = std::min<qsizetype>(m_buffer.size() - m_end, INT_MAX / 2);
    qint64 got;
    if (m_gz)
        got = gzread(static_cast<gzFile>(m_gz), m_buffer.data() + m_end, unsigned(room));
    else
        got = -1;
    if (got < 0) {
        m_failed = true;
        return false;
    }
    if (got == 0) {
        m_failed = !endedCleanly(static_cast<gzFile>(m_gz));
        m_eof = true;
        return false;
    }
    m_end += got;
    return true;
}

double LineReader::readFraction() const
{
    if (m_inMemory)
        return m_fileSize > 0 ? double(m_begin) / double(m_fileSize) : 0.0;
    if (!m_gz || m_fileSize <= 0)
        return 0.0;
    gzFile gz = static_cast<gzFile>(m_gz);
    // A plain file: the bytes of the lines returned. Gzip: the compressed bytes zlib took.
    const qint64 taken = gzdirect(gz) ? m_dropped + m_begin : qint64(gzoffset(gz));
    return std::clamp(double(taken) / double(m_fileSize), 0.0, 1.0);
}

bool LineReader::readLine(QByteArrayView &line)
{
    qsizetype searchFrom = m_begin;
    for (;;) {
        const char *base = m_buffer.constData();
        const void *hit = searchFrom < m_end
            ? std::memchr(base + searchFrom, '\n', size_t(m_end - searchFrom))
            : nullptr;
        if (hit) {
            const qsizetype nl = static_cast<const char *>(hit) - base;
            qsizetype stop = nl;
            if (stop > m_begin && base[stop - 1] == '\r')
                --stop;
            line = QByteArrayView(base + m_begin, stop - m_begin);
            m_begin = nl + 1;
            stripMark(line);
            return true;
        }
        const qsizetype scanned = m_end - m_begin;
        if (!fill()) {
            if (m_failed || m_end == m_begin)
                return false;
            line = QByteArrayView(m_buffer.constData() + m_begin, m_end - m_begin);
            m_begin = m_end;
            stripMark(line);
            return true;
        }
        searchFrom = m_begin + scanned;
    }
}

bool LineReader::readFile(const QString &path, QByteArray &bytes)
{
    bytes.clear();
    qint64 size = 0;
    gzFile gz = openInput(path, size);
    if (!gz)
        return false;
    // A plain file comes out at its size on disk; gzip text grows as it comes.
    bytes.reserve(qsizetype(std::min<qint64>(size, qint64(1) << 40)) + 1);
    bool ok = true;
    for (;;) {
        if (bytes.capacity() == bytes.size())
            bytes.reserve(bytes.size() + std::max<qsizetype>(bytes.size() / 2, SmallestBuffer));
        const qsizetype room = std::min<qsizetype>(bytes.capacity() - bytes.size(), INT_MAX / 2);
        const qsizetype at = bytes.size();
        bytes.resize(at + room);
        const int got = gzread(gz, bytes.data() + at, unsigned(room));
        bytes.resize(at + std::max(got, 0));
        if (got < 0) {
            ok = false;
            break;
        }
        if (got == 0) {
            ok = endedCleanly(gz);
            break;
        }
    }
    gzclose(gz);
    if (!ok) {
        bytes.clear();
        return false;
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    return true;
}

void splitTabs(QByteArrayView line, std::vector<QByteArrayView> &fields, qsizetype maxFields)
{
    fields.clear();
    const char *p = line.data();
    const char *const end = p + line.size();
    while (p != end && qsizetype(fields.size()) < maxFields) {
        const void *tab = std::memchr(p, '\t', size_t(end - p));
        if (!tab)
            break;
        const char *t = static_cast<const char *>(tab);
        fields.emplace_back(p, t - p);
        p = t + 1;
    }
    fields.emplace_back(p, end - p);
}

} // namespace quillmap
