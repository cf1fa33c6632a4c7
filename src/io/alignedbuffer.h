#pragma once

#include <QtGlobal>

#include <cstdlib>
#include <memory>
#include <new>

namespace quillmap {

// Memory for transfers that bypass the page cache (O_DIRECT): it starts on a block boundary and
// holds whole blocks, which is what such a transfer needs of its buffer, offset and length.
class AlignedBuffer final
{
public:
    static constexpr qint64 Block = 4096;

    AlignedBuffer() = default;
    explicit AlignedBuffer(qint64 bytes)
        : m_size(roundUp(bytes)),
          m_data(m_size > 0 ? static_cast<char *>(std::aligned_alloc(size_t(Block), size_t(m_size)))
                            : nullptr)
    {
        if (m_size > 0 && !m_data)
            throw std::bad_alloc();
    }

    char *data() const { return m_data.get(); }
    qint64 size() const { return m_size; }

    static qint64 roundUp(qint64 bytes) { return (bytes + Block - 1) & ~(Block - 1); }
    static qint64 roundDown(qint64 bytes) { return bytes & ~(Block - 1); }

private:
    struct Free {
        void operator()(char *p) const { std::free(p); }
    };
    qint64 m_size = 0;
    std::unique_ptr<char, Free> m_data;
};

// Makes the transfers of `fd` bypass the page cache; false where the file system cannot, and
// the file then stays as it was.
bool bypassPageCache(int fd);
// Undoes bypassPageCache(), for a file system that refuses an aligned transfer after all.
void usePageCache(int fd);

} // namespace quillmap
