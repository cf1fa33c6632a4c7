#include "io/atomicfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmap {

namespace {

constexpr qsizetype BufferBytes = qsizetype(1) << 20;
constexpr qint64 BlockBufferBytes = qint64(4) << 20;

} // namespace

namespace {
std::atomic<AtomicFile::Sync> g_defaultSync{AtomicFile::Sync::Durable};
} // namespace

AtomicFile::Sync AtomicFile::defaultSync()
{
    return g_defaultSync.load(std::memory_order_relaxed);
}

void AtomicFile::setDefaultSync(Sync sync)
{
    g_defaultSync.store(sync, std::memory_order_relaxed);
}

AtomicFile::AtomicFile(QString path, Sync sync)
    : m_path(std::move(path)),
      m_sync(sync)
{
}

AtomicFile::~AtomicFile()
{
    discard();
}

bool AtomicFile::fail(const QString &what, int error)
{
    if (m_error.isEmpty())
        m_error = what + QStringLiteral(": ") + qt_error_string(error);
    return false;
}

bool AtomicFile::open(Cache cache)
{
    discard();
    m_error.clear();
    const QFileInfo target(m_path);
    if (target.fileName().isEmpty())
        return fail(QStringLiteral("cannot write %1").arg(m_path), EISDIR);
    // Beside the destination, so the rename stays within one file system; the name is cut short
    // so a long destination name still leaves room for it.
    const QString stem = target.absolutePath() + QStringLiteral("/.") + target.fileName().left(64)
        + QLatin1Char('.');
    for (int attempt = 0; attempt < 64; ++attempt) {
        const QString candidate = stem
            + QString::number(QRandomGenerator::global()->generate64() & 0xFFFFFFFFFFull, 36)
            + QStringLiteral(".tmp");
        const QByteArray encoded = QFile::encodeName(candidate);
        // O_EXCL never opens an existing name, a planted link included; 0666 leaves the umask
        // to decide what a new file's mode is.
        const int fd = ::open(encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                              0666);
        if (fd >= 0) {
            m_fd = fd;
            m_temporary = encoded;
            if (cache == Cache::Bypass && bypassPageCache(fd)) {
                m_bypassing = true;
                m_blocks = AlignedBuffer(BlockBufferBytes);
            }
            return true;
        }
        if (errno != EEXIST)
            return fail(QStringLiteral("cannot create a file in %1").arg(target.absolutePath()), errno);
    }
    return fail(QStringLiteral("cannot create a file in %1").arg(target.absolutePath()), EEXIST);
}

bool AtomicFile::writeOut(const char *data, qsizetype size)
{
    // A megabyte a call: one write of tens of megabytes spent several times the processor time
    // in the kernel copying it into the page cache.
    constexpr qsizetype MostPerWrite = qsizetype(1) << 20;
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data,
                                        size_t(m_bypassing ? size : std::min(size, MostPerWrite)));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            // A file system may take O_DIRECT and still refuse these blocks: the cache then.
            if (errno == EINVAL && m_bypassing) {
                usePageCache(m_fd);
                m_bypassing = false;
                continue;
            }
            return fail(QStringLiteral("cannot write %1").arg(m_path), errno);
        }
        if (written == 0)
            return fail(QStringLiteral("cannot write %1").arg(m_path), ENOSPC);
        data += written;
        size -= written;
    }
    return true;
}

bool AtomicFile::write(QByteArrayView bytes)
{
    if (failed())
        return false;
    if (m_fd < 0)
        return fail(QStringLiteral("cannot write %1").arg(m_path), EBADF);
    if (m_blocks.size() > 0) {
        m_length += bytes.size();
        while (!bytes.isEmpty()) {
            const qsizetype take = qsizetype(
                std::min<qint64>(bytes.size(), m_blocks.size() - m_blocksFilled));
            std::memcpy(m_blocks.data() + m_blocksFilled, bytes.data(), size_t(take));
            m_blocksFilled += take;
            bytes = bytes.sliced(take);
            if (m_blocksFilled == m_blocks.size()) {
                m_blocksFilled = 0;
                if (!writeOut(m_blocks.data(), qsizetype(m_blocks.size())))
                    return false;
            }
        }
        return true;
    }
    if (qsizetype(m_buffer.size()) + bytes.size() > BufferBytes) {
        if (!flush())
            return false;
        if (bytes.size() >= BufferBytes)
            return writeOut(bytes.data(), bytes.size());
    }
    m_buffer.append(bytes.data(), size_t(bytes.size()));
    return true;
}

bool AtomicFile::flush()
{
    if (failed())
        return false;
    if (m_blocks.size() > 0) {
        // Whole blocks only; the rest waits for more bytes or for commit().
        const qint64 whole = AlignedBuffer::roundDown(m_blocksFilled);
        if (whole == 0)
            return true;
        const bool written = writeOut(m_blocks.data(), qsizetype(whole));
        std::memmove(m_blocks.data(), m_blocks.data() + whole, size_t(m_blocksFilled - whole));
        m_blocksFilled -= whole;
        return written;
    }
    if (m_buffer.empty())
        return true;
    const bool written = writeOut(m_buffer.data(), qsizetype(m_buffer.size()));
    m_buffer.clear();
    return written;
}

bool AtomicFile::commit()
{
    if (m_fd < 0 && !failed())
        return fail(QStringLiteral("cannot write %1").arg(m_path), EBADF);
    if (!flush()) {
        discard();
        return false;
    }
    if (m_blocks.size() > 0) {
        const qint64 tail = AlignedBuffer::roundUp(m_blocksFilled);
        std::memset(m_blocks.data() + m_blocksFilled, 0, size_t(tail - m_blocksFilled));
        if ((tail > 0 && !writeOut(m_blocks.data(), qsizetype(tail)))
            || ::ftruncate(m_fd, off_t(m_length)) != 0) {
            fail(QStringLiteral("cannot write %1").arg(m_path), errno);
            discard();
            return false;
        }
        m_blocksFilled = 0;
    }
    const QByteArray destination = QFile::encodeName(m_path);
    // A regular file being replaced keeps its permissions; a link or a new name gets the
    // temporary file's umask mode.
    struct stat existing;
    if (::lstat(destination.constData(), &existing) == 0 && S_ISREG(existing.st_mode)
        && ::fchmod(m_fd, existing.st_mode & 07777) != 0)
        fail(QStringLiteral("cannot set the permissions of %1").arg(m_path), errno);
    // Some file systems report a full disk only when the data is synced or the file closed.
    if (!failed() && m_sync == Sync::Durable && ::fsync(m_fd) != 0)
        fail(QStringLiteral("cannot write %1").arg(m_path), errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        fail(QStringLiteral("cannot write %1").arg(m_path), errno);
    if (!failed() && ::rename(m_temporary.constData(), destination.constData()) != 0)
        fail(QStringLiteral("cannot replace %1").arg(m_path), errno);
    if (failed()) {
        discard();
        return false;
    }
    m_temporary.clear();
    if (m_sync == Sync::Unsynced)
        return true;
    // The rename itself reaches the disk with the folder; a folder that cannot be synced still
    // holds the complete file.
    const QByteArray folder = QFile::encodeName(QFileInfo(m_path).absolutePath());
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

void AtomicFile::cancel()
{
    discard();
}

void AtomicFile::discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.isEmpty()) {
        ::unlink(m_temporary.constData());
        m_temporary.clear();
    }
    m_buffer.clear();
    m_buffer.shrink_to_fit();
    m_blocks = AlignedBuffer();
    m_blocksFilled = 0;
    m_length = 0;
    m_bypassing = false;
}

bool AtomicFile::writeWhole(const QString &path, QByteArrayView content, QString *error, Sync sync)
{
    AtomicFile file(path, sync);
    const bool written = file.open() && file.write(content) && file.commit();
    if (!written && error)
        *error = file.errorString();
    return written;
}

bool AtomicFile::adopt(const QString &path, const QString &complete, QString *error)
{
    AtomicFile file(path);
    const QByteArray encoded = QFile::encodeName(complete);
    file.m_fd = ::open(encoded.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    struct stat info;
    if (file.m_fd < 0)
        file.fail(QStringLiteral("cannot read %1").arg(complete), errno);
    else if (::fstat(file.m_fd, &info) != 0 || !S_ISREG(info.st_mode))
        file.fail(QStringLiteral("cannot read %1").arg(complete), EINVAL);
    else
        file.m_temporary = encoded;
    const bool adopted = !file.failed() && file.commit();
    if (!adopted && error)
        *error = file.errorString();
    return adopted;
}

} // namespace quillmap
