#include "io/linereader.h"

#include <zlib.h>
#include <zstd.h>

#include <QFile>

#include <algorithm>
#include <memory>
#include <climits>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmap {

namespace {

constexpr qsizetype ChunkBytes = qsizetype(4) << 20;
constexpr qsizetype SmallestBuffer = qsizetype(4) << 10;
constexpr qsizetype LargestInput = qsizetype(1) << 18;

// Buffers follow the file: a 200-byte input needs no 4 MiB. Compressed text is larger than the
// file on disk, so it starts bigger; either grows while a line does not fit.
qsizetype bufferBytesFor(qint64 fileSize, bool compressed)
{
    const qint64 wanted = compressed ? fileSize * 8 : fileSize + 1;
    return qsizetype(std::clamp<qint64>(wanted, SmallestBuffer, ChunkBytes));
}

} // namespace

// A file's bytes as text: gzip and zstd are known by their first bytes, whatever the name, and
// every member or frame must decode to its end; anything after the last one but zero bytes (which
// gzip -t also lets pass) is damage, never a silent end.
class InputDecoder final
{
public:
    ~InputDecoder()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (m_kind == Kind::Gzip)
            inflateEnd(&m_z);
        if (m_zstd)
            ZSTD_freeDStream(m_zstd);
    }

    // False when the path cannot be opened or is a folder.
    bool open(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0)
            return false;
        struct stat info;
        if (::fstat(m_fd, &info) != 0 || S_ISDIR(info.st_mode))
            return false;
        // Pipes and devices have no size: they get the largest buffers.
        m_regular = S_ISREG(info.st_mode);
        m_size = m_regular ? qint64(info.st_size) : qint64(ChunkBytes);
        m_in.resize(std::clamp<qint64>(m_size, SmallestBuffer, LargestInput));
        // A pipe may hand out the first bytes one at a time.
        while (m_have < 4 && !m_eof && refill()) { }
        if (m_failed)
            return false;
        const auto *head = reinterpret_cast<const unsigned char *>(m_in.constData());
        if (!LineReader::isCompressed(QByteArrayView(m_in.constData(), std::min<qsizetype>(m_have, 4))))
            return true;
        if (head[0] == 0x1f) {
            m_kind = Kind::Gzip;
            std::memset(&m_z, 0, sizeof m_z);
            if (inflateInit2(&m_z, 15 + 16) != Z_OK) {
                m_kind = Kind::Plain;
                return false;
            }
        } else {
            m_kind = Kind::Zstd;
            m_zstd = ZSTD_createDStream();
            if (!m_zstd)
                return false;
        }
        return true;
    }

    bool compressed() const { return m_kind != Kind::Plain; }
    qint64 size() const { return m_size; }
    bool regular() const { return m_regular; }
    // Bytes taken from the file so far.
    qint64 taken() const { return m_taken - (m_have - m_used); }

    // Bytes of text into `out`: more than 0, 0 at a clean end, -1 on damage or a read error.
    qint64 read(char *out, qsizetype room)
    {
        if (m_failed)
            return -1;
        switch (m_kind) {
        case Kind::Plain:
            return readPlain(out, room);
        case Kind::Gzip:
            return readGzip(out, room);
        case Kind::Zstd:
            return readZstd(out, room);
        }
        return -1;
    }

private:
    enum class Kind { Plain, Gzip, Zstd };

    // Appends file bytes after the unused ones; false when none came (end or error).
    bool refill()
    {
        if (m_used > 0) {
            std::memmove(m_in.data(), m_in.constData() + m_used, size_t(m_have - m_used));
            m_have -= m_used;
            m_used = 0;
        }
        if (m_have == m_in.size())
            return true;
        for (;;) {
            const ssize_t got = ::read(m_fd, m_in.data() + m_have, size_t(m_in.size() - m_have));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                m_failed = true;
            if (got <= 0) {
                m_eof = true;
                return false;
            }
            m_have += got;
            m_taken += got;
            return true;
        }
    }

    qint64 readPlain(char *out, qsizetype room)
    {
        if (m_used == m_have && !refill())
            return m_failed ? -1 : 0;
        const qsizetype n = std::min(room, m_have - m_used);
        std::memcpy(out, m_in.constData() + m_used, size_t(n));
        m_used += n;
        return n;
    }

    // Between gzip members: another member, the end, or a tail of zero bytes.
    bool nextMember()
    {
        while (m_have - m_used < 2 && !m_eof)
            refill();
        if (m_failed)
            return false;
        const auto *at = reinterpret_cast<const unsigned char *>(m_in.constData() + m_used);
        const qsizetype left = m_have - m_used;
        if (left == 0) {
            m_done = true;
            return true;
        }
        if (left >= 2 && at[0] == 0x1f && at[1] == 0x8b) {
            if (inflateReset(&m_z) != Z_OK)
                return false;
            m_memberOpen = true;
            return true;
        }
        for (;;) {
            const char *from = m_in.constData() + m_used;
            if (std::any_of(from, m_in.constData() + m_have, [](char c) { return c != 0; }))
                return false;
            m_used = m_have;
            if (!refill()) {
                m_done = !m_failed;
                return m_done;
            }
        }
    }

    qint64 readGzip(char *out, qsizetype room)
    {
        for (;;) {
            if (!m_done && !m_memberOpen && !nextMember())
                m_failed = true;
            if (m_failed)
                return -1;
            if (m_done)
                return 0;
            if (m_used == m_have && !m_eof)
                refill();
            if (m_failed)
                return -1;
            m_z.next_in = reinterpret_cast<Bytef *>(m_in.data() + m_used);
            m_z.avail_in = uInt(m_have - m_used);
            m_z.next_out = reinterpret_cast<Bytef *>(out);
            m_z.avail_out = uInt(std::min<qsizetype>(room, INT_MAX / 2));
            const int status = inflate(&m_z, Z_NO_FLUSH);
            m_used = m_have - qsizetype(m_z.avail_in);
            const qint64 got = reinterpret_cast<char *>(m_z.next_out) - out;
            if (status == Z_STREAM_END)
                m_memberOpen = false;
            else if (status != Z_OK && status != Z_BUF_ERROR)
                m_failed = true;
            else if (got == 0 && m_used == m_have && m_eof)
                m_failed = true; // the file ends inside a member
            if (m_failed)
                return -1;
            if (got > 0)
                return got;
        }
    }

    qint64 readZstd(char *out, qsizetype room)
    {
        for (;;) {
            if (m_used == m_have && !m_eof)
                refill();
            if (m_failed)
                return -1;
            if (m_used == m_have && m_eof && m_frameLeft == 0)
                return 0;
            ZSTD_inBuffer in{m_in.constData() + m_used, size_t(m_have - m_used), 0};
            ZSTD_outBuffer output{out, size_t(room), 0};
            const size_t left = ZSTD_decompressStream(m_zstd, &output, &in);
            m_used += qsizetype(in.pos);
            if (ZSTD_isError(left)) {
                m_failed = true;
                return -1;
            }
            m_frameLeft = left;
            if (output.pos > 0)
                return qint64(output.pos);
            if (m_used == m_have && m_eof) {
                m_failed = true; // the file ends inside a frame
                return -1;
            }
        }
    }

    int m_fd = -1;
    Kind m_kind = Kind::Plain;
    bool m_regular = false;
    qint64 m_size = 0;
    QByteArray m_in;
    qsizetype m_have = 0; // valid bytes in m_in
    qsizetype m_used = 0; // of them, handed to the decoder
    qint64 m_taken = 0;
    bool m_eof = false;
    bool m_failed = false;
    z_stream m_z;
    bool m_memberOpen = true;
    bool m_done = false;
    ZSTD_DStream *m_zstd = nullptr;
    size_t m_frameLeft = 0;
};

LineReader::LineReader() = default;

LineReader::~LineReader()
{
    close();
}

void LineReader::restart(qsizetype end, qint64 fileSize)
{
    m_failed = false;
    m_lineTooLong = false;
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
    auto source = std::make_unique<InputDecoder>();
    if (!source->open(path))
        return false;
    m_source = std::move(source);
    m_fileSize = m_source->regular() ? m_source->size() : 0;
    const qsizetype bytes = bufferBytesFor(m_source->size(), m_source->compressed());
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
    m_source.reset();
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
            m_lineTooLong = true;
            return false;
        }
        m_buffer.resize(m_buffer.size() * 2);
    }
    const qsizetype room = std::min<qsizetype>(m_buffer.size() - m_end, INT_MAX / 2);
    const qint64 got = m_source ? m_source->read(m_buffer.data() + m_end, room) : -1;
    if (got < 0) {
        m_failed = true;
        return false;
    }
    if (got == 0) {
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
    if (!m_source || m_fileSize <= 0)
        return 0.0;
    // A plain file: the bytes of the lines returned. Compressed: the bytes the decoder took.
    const qint64 taken = m_source->compressed() ? m_source->taken() : m_dropped + m_begin;
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
    InputDecoder source;
    if (!source.open(path))
        return false;
    // A plain file comes out at its size on disk; compressed text grows as it comes.
    bytes.reserve(qsizetype(std::min<qint64>(source.size(), qint64(1) << 40)) + 1);
    bool ok = true;
    for (;;) {
        if (bytes.capacity() == bytes.size())
            bytes.reserve(bytes.size() + std::max<qsizetype>(bytes.size() / 2, SmallestBuffer));
        const qsizetype room = std::min<qsizetype>(bytes.capacity() - bytes.size(), INT_MAX / 2);
        const qsizetype at = bytes.size();
        bytes.resize(at + room);
        const qint64 got = source.read(bytes.data() + at, room);
        bytes.resize(at + std::max<qint64>(got, 0));
        if (got <= 0) {
            ok = got == 0;
            break;
        }
    }
    if (!ok) {
        bytes.clear();
        return false;
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    return true;
}

bool LineReader::isCompressed(QByteArrayView head)
{
    const auto *at = reinterpret_cast<const unsigned char *>(head.data());
    return (head.size() >= 2 && at[0] == 0x1f && at[1] == 0x8b)
        || (head.size() >= 4 && at[0] == 0x28 && at[1] == 0xb5 && at[2] == 0x2f && at[3] == 0xfd)
        // A zstd file may open with a skippable frame.
        || (head.size() >= 4 && (at[0] & 0xf0) == 0x50 && at[1] == 0x2a && at[2] == 0x4d && at[3] == 0x18);
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
