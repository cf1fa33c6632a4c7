#include "io/alignedbuffer.h"

#include <fcntl.h>

namespace quillmap {

bool bypassPageCache(int fd)
{
#ifdef O_DIRECT
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_DIRECT) == 0;
#else
    Q_UNUSED(fd);
    return false;
#endif
}

void usePageCache(int fd)
{
#ifdef O_DIRECT
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_DIRECT);
#else
    Q_UNUSED(fd);
#endif
}

} // namespace quillmap
