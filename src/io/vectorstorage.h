#pragma once

#include <cstddef>
#include <vector>

// Storage of the big per-row vectors a panel keeps (a trait can have ten million rows).
namespace quillmap {

// Asks the kernel for huge pages over [data, data + bytes) before it is first written: a fresh
// vector of hundreds of megabytes then costs a page fault per 2 MB instead of per 4 kB. A no-op
// where that is not available.
void adviseHugePages(void *data, std::size_t bytes);

// Resizes `v` to `n` elements for a caller that overwrites all of them: storage too small is
// freed before the new is taken (the old contents would be copied and both held at once), and
// storage more than twice too big is given back; storage that fits is kept.
template <typename T>
void resizeForOverwrite(std::vector<T> &v, std::size_t n)
{
    if (v.capacity() < n || v.capacity() / 2 > n) {
        v = std::vector<T>();
        v.reserve(n);
        adviseHugePages(v.data(), n * sizeof(T));
    }
    v.resize(n);
}

} // namespace quillmap
