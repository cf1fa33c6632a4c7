#include "import/linereader.h"

#include <zlib.h>

#include <climits>
#include <cstring>

namespace {

constexpr qsizetype ChunkBytes = qsizetype(4) << 20;

} // namespace

LineReader::LineReader() = default;

LineReader::~LineReader()
{
    close();
}

bool LineReader::open(const QString &path)
{
    close();
    m_failed = false;
    m_eof = false;
    m_atStart = true;
    m_utf16Mark = false;
    m_begin = m_end = 0;
    if (path.endsWith(QLatin1String(".gz"))) {
        gzFile gz = gzopen(QFile::encodeName(path).constData(), "rb");
        if (!gz)
            return false;
        gzbuffer(gz, 1 << 18);
        m_gz = gz;
    } else {
        m_file = std::make_unique<QFile>(path);
        if (!m_file->open(QIODevice::ReadOnly)) {
            m_file.reset();
            return false;
        }
    }
    if (m_buffer.size() < ChunkBytes)
        m_buffer.resize(ChunkBytes);
    return true;
}

void LineReader::close()
{
    if (m_gz) {
        gzclose(static_cast<gzFile>(m_gz));
        m_gz = nullptr;
    }
    m_file.reset();
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
    if (m_gz) {
        got = gzread(static_cast<gzFile>(m_gz), m_buffer.data() + m_end, unsigned(room));
    } else if (m_file) {
        got = m_file->read(m_buffer.data() + m_end, room);
    } else {
        got = -1;
    }
    if (got < 0) {
        m_failed = true;
        return false;
    }
    if (got == 0) {
        // zlib reports a stream cut off in the middle as a plain end of input.
        int status = Z_OK;
        if (m_gz)
            gzerror(static_cast<gzFile>(m_gz), &status);
        m_failed = status != Z_OK;
        m_eof = true;
        return false;
    }
    m_end += got;
    return true;
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
