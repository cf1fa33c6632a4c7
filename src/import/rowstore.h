#pragma once

#include <QtGlobal>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace quillmap {

// Result rows as the import holds them: a trait id, a SNP id and `statsPerRow` statistics (the
// first statistic, then the extra ones) each. Kept in chunks so that growing never copies what
// was read; the last chunk starts small and doubles, so a few rows cost a few bytes.
class RowStore final
{
public:
    RowStore() { reset(1); }

    // Drops every row and releases the memory; rows to come have `statsPerRow` statistics.
    void reset(int statsPerRow);

    // Appends a row; `stats` points at statsPerRow() floats. Inline: called once a row.
    void append(qint32 trait, qint32 snp, const float *stats)
    {
        if (m_size == m_capacity)
            extend();
        const qint64 offset = m_size & m_mask;
        Chunk &chunk = m_chunks.back();
        chunk.trait[offset] = trait;
        chunk.snp[offset] = snp;
        std::memcpy(chunk.stats.get() + offset * m_statsPerRow, stats, sizeof(float) * size_t(m_statsPerRow));
        ++m_size;
    }

    qint64 size() const { return m_size; }
    int statsPerRow() const { return m_statsPerRow; }
    qint32 &trait(qint64 row) { return m_chunks[size_t(row >> m_shift)].trait[row & m_mask]; }
    qint32 &snp(qint64 row) { return m_chunks[size_t(row >> m_shift)].snp[row & m_mask]; }
    qint32 trait(qint64 row) const { return m_chunks[size_t(row >> m_shift)].trait[row & m_mask]; }
    qint32 snp(qint64 row) const { return m_chunks[size_t(row >> m_shift)].snp[row & m_mask]; }
    const float *stats(qint64 row) const
    {
        return m_chunks[size_t(row >> m_shift)].stats.get() + (row & m_mask) * m_statsPerRow;
    }

    // Calls f(trait, snp, stats, n) for the rows in order, a chunk of n rows at a time.
    template <typename F>
    void forEachChunk(F &&f) const
    {
        for (size_t c = 0; c < m_chunks.size(); ++c) {
            const qint64 n = std::min(m_size - (qint64(c) << m_shift), m_mask + 1);
            if (n <= 0)
                break;
            f(static_cast<const qint32 *>(m_chunks[c].trait.get()),
              static_cast<const qint32 *>(m_chunks[c].snp.get()),
              static_cast<const float *>(m_chunks[c].stats.get()), n);
        }
    }

private:
    struct Chunk {
        std::unique_ptr<qint32[]> trait;
        std::unique_ptr<qint32[]> snp;
        std::unique_ptr<float[]> stats;
    };

    void extend();

    std::vector<Chunk> m_chunks;
    qint64 m_size = 0;
    qint64 m_capacity = 0; // rows the chunks have room for
    qint64 m_lastRows = 0; // rows the last chunk has room for
    int m_statsPerRow = 1;
    int m_shift = 16;
    qint64 m_mask = (qint64(1) << 16) - 1;
};

} // namespace quillmap
