#include "import/snptable.h"

#include <QHashFunctions>

namespace quillmap {

qint64 SnpTable::find(QByteArrayView name)
{
    const qint64 next = m_last + 1;
    if (next > 0 && next < qint64(m_entries.size()) && nameOf(next) == name)
        return m_last = next;
    if (m_slots.empty())
        return -1;
    for (size_t i = qHash(name, 0) & m_mask;; i = (i + 1) & m_mask) {
        const qint64 e = m_slots[i];
        if (e < 0)
            return -1;
        if (nameOf(e) == name)
            return m_last = e;
    }
}

void SnpTable::add(QByteArrayView name, QByteArrayView alleles, int chromosome, qint64 position, qint32 file,
                   qint64 line)
{
    if (4 * (m_entries.size() + 1) > 3 * m_slots.size())
        grow();
    m_entries.push_back({qint64(m_arena.size()), position, line, qint32(name.size()), qint32(alleles.size()),
                         file, chromosome});
    m_arena.append(name.data(), size_t(name.size()));
    m_arena.append(alleles.data(), size_t(alleles.size()));
    const qint64 e = qint64(m_entries.size()) - 1;
    place(e);
    m_last = e;
}

void SnpTable::place(qint64 e)
{
    size_t i = qHash(nameOf(e), 0) & m_mask;
    while (m_slots[i] >= 0)
        i = (i + 1) & m_mask;
    m_slots[i] = e;
}

void SnpTable::grow()
{
    const size_t capacity = m_slots.empty() ? 1024 : 2 * m_slots.size();
    m_slots.assign(capacity, -1);
    m_mask = capacity - 1;
    for (qint64 e = 0; e < qint64(m_entries.size()); ++e)
        place(e);
}

} // namespace quillmap
