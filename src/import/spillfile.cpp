#include "import/spillfile.h"

#include "io/positionedio.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace quillmap {

namespace {

constexpr qint64 AppendBytes = qint64(4) << 20;

} // namespace

bool SpillFile::create(const QString &path, bool bypassCache)
{
    close();
    m_path = path;
    // O_EXCL: a name planted since the folder was cleared is never opened, nor a link followed.
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  0600);
    if (m_fd < 0)
        return false;
    m_bypassing = bypassCache && bypassPageCache(m_fd);
    if (m_buffer.size() == 0)
        m_buffer = AlignedBuffer(AppendBytes);
    return true;
}

void SpillFile::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
        QFile::remove(m_path);
    }
    m_buffered = 0;
    m_size = 0;
    m_written = 0;
}

bool SpillFile::writeBlocks(const char *data, qint64 size)
{
    if (writeAt(m_fd, data, size, m_written)) {
        m_written += size;
        return true;
    }
    // A file system may take O_DIRECT and still refuse these blocks: the cache then.
    if (errno != EINVAL || !m_bypassing)
        return false;
    usePageCache(m_fd);
    m_bypassing = false;
    return writeBlocks(data, size);
}

bool SpillFile::readBlocks(char *data, qint64 size, qint64 offset)
{
    if (readAt(m_fd, data, size, offset))
        return true;
    if (errno != EINVAL || !m_bypassing)
        return false;
    usePageCache(m_fd);
    m_bypassing = false;
    return readBlocks(data, size, offset);
}

bool SpillFile::append(const void *data, qint64 size)
{
    const char *p = static_cast<const char *>(data);
    m_size += size;
    while (size > 0) {
        const qint64 take = std::min(size, m_buffer.size() - m_buffered);
        std::memcpy(m_buffer.data() + m_buffered, p, size_t(take));
        m_buffered += take;
        p += take;
        size -= take;
        if (m_buffered == m_buffer.size()) {
            m_buffered = 0;
            if (!writeBlocks(m_buffer.data(), m_buffer.size()))
                return false;
        }
    }
    return true;
}

bool SpillFile::finishAppending()
{
    if (m_buffered == 0)
        return true;
    const qint64 blocks = AlignedBuffer::roundUp(m_buffered);
    std::memset(m_buffer.data() + m_buffered, 0, size_t(blocks - m_buffered));
    m_size = m_written + blocks;
    m_buffered = 0;
    return writeBlocks(m_buffer.data(), blocks);
}

SpillFile::Reader::Reader(SpillFile &file, qint64 windowBytes)
    : m_file(file),
      m_window(windowBytes)
{
}

bool SpillFile::Reader::read(void *data, qint64 size, qint64 offset)
{
    char *p = static_cast<char *>(data);
    while (size > 0) {
        if (offset < m_start || offset >= m_end) {
            m_start = AlignedBuffer::roundDown(offset);
            m_end = std::min(m_start + m_window.size(), m_file.m_written);
            if (m_end <= offset || !m_file.readBlocks(m_window.data(), m_end - m_start, m_start)) {
                m_start = m_end = 0;
                return false;
            }
        }
        const qint64 take = std::min(size, m_end - offset);
        std::memcpy(p, m_window.data() + (offset - m_start), size_t(take));
        p += take;
        size -= take;
        offset += take;
    }
    return true;
}

} // namespace quillmap
