#pragma once

#include <cstddef>
#include <vector>

// Storage of the big per-row vectors a panel keeps (a trait can have ten million rows).
namespace quillmap {

// Resizes `v` to `n` elements for a caller that overwrites all of them: storage too small is
// freed before the new is taken (the old contents would be copied and both held at once), and
// storage more than twice too big is given back; storage that fits is kept. (Huge pages were
// tried for these: their first faults in a process made the first trait shown slower.)
template <typename T>
void resizeForOverwrite(std::vector<T> &v, std::size_t n)
{
    if (v.capacity() < n || v.capacity() / 2 > n)
        v = std::vector<T>();
    v.resize(n);
}

} // namespace quillmap
