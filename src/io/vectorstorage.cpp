#include "io/vectorstorage.h"

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace quillmap {

void adviseHugePages(void *data, std::size_t bytes)
{
#ifdef __linux__
    constexpr std::uintptr_t Huge = std::uintptr_t(2) << 20;
    const std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(data) + Huge - 1) & ~(Huge - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(Huge - 1);
    if (data && end > start)
        madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

} // namespace quillmap
