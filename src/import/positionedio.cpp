#include "import/positionedio.h"

#include <cerrno>
#include <unistd.h>

#include <algorithm>

namespace quillmap {

namespace {

// At most 1 GiB a call: larger transfers are cut short anyway on Linux.
constexpr qint64 MaxTransfer = qint64(1) << 30;

template <typename Byte, typename Transfer>
bool whole(Byte *p, qint64 size, qint64 offset, Transfer transfer)
{
    while (size > 0) {
        const ssize_t n = transfer(p, size_t(std::min(size, MaxTransfer)), off_t(offset));
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
    return whole(static_cast<char *>(data), size, offset,
                 [fd](char *p, size_t n, off_t at) { return ::pread(fd, p, n, at); });
}

bool writeAt(int fd, const void *data, qint64 size, qint64 offset)
{
    return whole(static_cast<const char *>(data), size, offset,
                 [fd](const char *p, size_t n, off_t at) { return ::pwrite(fd, p, n, at); });
}

} // namespace quillmap
