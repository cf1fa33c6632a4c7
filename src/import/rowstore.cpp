#include "import/rowstore.h"

#include <algorithm>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace quillmap {

namespace {

constexpr qint64 FirstRows = 256; // rows of a first chunk, before it doubles

} // namespace

void RowStore::reset(int statsPerRow)
{
    const bool released = !m_chunks.empty();
    m_chunks.clear();
#ifdef __GLIBC__
    // Chunks below the allocator's map threshold come from the heap, which keeps them once
    // freed: a run's worth of rows would stay resident beside the next run and its sorted copies.
    if (released)
        malloc_trim(0);
#endif
    m_size = 0;
    m_capacity = 0;
    m_lastRows = 0;
    m_statsPerRow = statsPerRow;
    // About 8 MiB of statistics per chunk, whatever the width of a row.
    m_shift = 16;
    while (m_shift > 0 && (qint64(1) << m_shift) * statsPerRow > (qint64(1) << 21))
        --m_shift;
    m_mask = (qint64(1) << m_shift) - 1;
}

void RowStore::extend()
{
    const qint64 full = m_mask + 1;
    if (m_lastRows == full || m_chunks.empty()) {
        m_chunks.emplace_back();
        m_lastRows = 0;
    }
    // The first chunk doubles up to its full size (only it is ever copied); later ones start full.
    const qint64 rows = m_chunks.size() == 1 ? std::min(full, std::max(FirstRows, 2 * m_lastRows)) : full;
    const qint64 kept = m_lastRows;
    Chunk grown;
    grown.trait = std::make_unique_for_overwrite<qint32[]>(size_t(rows));
    grown.snp = std::make_unique_for_overwrite<qint32[]>(size_t(rows));
    grown.stats = std::make_unique_for_overwrite<float[]>(size_t(rows) * size_t(m_statsPerRow));
    Chunk &last = m_chunks.back();
    if (kept > 0) {
        std::copy_n(last.trait.get(), kept, grown.trait.get());
        std::copy_n(last.snp.get(), kept, grown.snp.get());
        std::copy_n(last.stats.get(), kept * m_statsPerRow, grown.stats.get());
    }
    last = std::move(grown);
    m_capacity += rows - kept;
    m_lastRows = rows;
}

} // namespace quillmap
