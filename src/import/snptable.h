#pragma once

#include <QByteArrayView>

#include <string>
#include <vector>

namespace quillmap {

// Every SNP ID seen, with where it lies, its alleles and where it was first seen. Names live back to back
// in one arena; the table holds entry numbers. Files of one study mostly list their SNPs in
// the same order, so the entry after the last one found is tried before hashing.
class SnpTable final
{
public:
    struct Entry {
        qint64 nameBegin;
        qint64 position;
        qint64 line;
        qint32 nameSize;
        qint32 allelesSize; // stored after the name
        qint32 file;
        qint32 chromosome;
    };

    // The entry of `name`, or -1.
    qint64 find(QByteArrayView name);
    void add(QByteArrayView name, QByteArrayView alleles, int chromosome, qint64 position, qint32 file,
             qint64 line);

    const Entry &at(qint64 e) const { return m_entries[size_t(e)]; }
    qint64 size() const { return qint64(m_entries.size()); }
    QByteArrayView nameOf(qint64 e) const
    {
        const Entry &entry = m_entries[size_t(e)];
        return {m_arena.data() + entry.nameBegin, entry.nameSize};
    }

    QByteArrayView allelesOf(qint64 e) const
    {
        const Entry &entry = m_entries[size_t(e)];
        return {m_arena.data() + entry.nameBegin + entry.nameSize, entry.allelesSize};
    }

private:
    void place(qint64 e);
    void grow();

    std::vector<Entry> m_entries;
    std::string m_arena;
    std::vector<qint64> m_slots;
    size_t m_mask = 0;
    qint64 m_last = -1;
};

} // namespace quillmap
