#include "io/positionedio.h"

#include <cerrno>
#include <unistd.h>

#include <algorithm>

namespace quillmap {

namespace {

// At most 1 GiB a read: larger transfers are cut short anyway on Linux. Writes go a megabyte at
// a time: one write of tens of megabytes spent several times the processor time in the kernel
// copying it into the page cache.
constexpr qint64 MaxRead = qint64(1) << 30;
constexpr qint64 MaxWrite = qint64(1) << 20;

template <typename Byte, typename Transfer>
bool whole(Byte *p, qint64 size, qint64 offset, qint64 most, Transfer transfer)
{
    while (size > 0) {
        const ssize_t n = transfer(p, size_t(std::min(size, most)), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= n;
        offset += n;
    }
    return true;
}

} // namespace

bool readAt(int fd, void *data, qint64 size, qint64 offset)
{
    return whole(static_cast<char *>(data), size, offset, MaxRead,
                 [fd](char *p, size_t n, off_t at) { return ::pread(fd, p, n, at); });
}

bool writeAt(int fd, const void *data, qint64 size, qint64 offset)
{
    return whole(static_cast<const char *>(data), size, offset, MaxWrite,
                 [fd](const char *p, size_t n, off_t at) { return ::pwrite(fd, p, n, at); });
}

} // namespace quillmap
