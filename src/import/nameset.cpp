#include "import/nameset.h"

#include <QString>

#include <utility>

namespace quillmap {

qint32 NameSet::add(Slot &slot, QByteArrayView name, size_t hash)
{
    slot = makeSlot(hash, qint64(m_arena.size()), name.size(), qint32(size()));
    m_arena.append(name.data(), size_t(name.size()));
    m_ends.push_back(qint64(m_arena.size()));
    if (!m_beyondAscii)
        m_beyondAscii = std::any_of(name.begin(), name.end(), [](char c) { return (uchar(c) & 0x80) != 0; });
    return remember(slot, name);
}

qint32 NameSet::find(QByteArrayView name) const
{
    if (m_slots.empty())
        return -1;
    const size_t hash = hashOf(name);
    for (size_t i = hash & m_mask;; i = (i + 1) & m_mask) {
        const Slot &slot = m_slots[i];
        if (slot.id < 0)
            return -1;
        if (matches(slot, hash, name))
            return slot.id;
    }
}

void NameSet::finish(NameList &sorted, std::vector<qint32> &finalIndex) const
{
    sorted = {};
    finalIndex.assign(size_t(size()), 0);
    if (!m_beyondAscii) {
        // ASCII bytes sort exactly as their UTF-16 code units; no text conversion needed.
        std::vector<qint32> ids(static_cast<size_t>(size()));
        for (qint32 id = 0; id < size(); ++id)
            ids[size_t(id)] = id;
        std::sort(ids.begin(), ids.end(), [this](qint32 a, qint32 b) { return nameAt(a) < nameAt(b); });
        sorted.bytes.reserve(m_arena.size());
        sorted.ends.reserve(ids.size());
        for (size_t i = 0; i < ids.size(); ++i) {
            sorted.append(nameAt(ids[i]));
            finalIndex[size_t(ids[i])] = qint32(i);
        }
        return;
    }
    std::vector<std::pair<QString, qint32>> items;
    items.reserve(size_t(size()));
    for (qint32 id = 0; id < size(); ++id)
        items.emplace_back(QString::fromUtf8(nameAt(id)), id);
    std::sort(items.begin(), items.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    const QString *previous = nullptr;
    for (const auto &item : items) {
        if (!previous || *previous != item.first)
            sorted.append(item.first.toUtf8());
        previous = &item.first;
        finalIndex[size_t(item.second)] = qint32(sorted.size() - 1);
    }
}

void NameSet::clear()
{
    m_slots = {};
    m_arena = {};
    m_ends = {};
    m_mask = 0;
    m_lastId = -1;
    m_lastBegin = 0;
    m_lastSize = 0;
    m_beyondAscii = false;
}

void NameSet::grow()
{
    const size_t capacity = m_slots.empty() ? 64 : 2 * m_slots.size();
    std::vector<Slot> table(capacity);
    const size_t mask = capacity - 1;
    for (qint32 id = 0; id < size(); ++id) {
        const QByteArrayView name = nameAt(id);
        const size_t hash = hashOf(name);
        size_t i = hash & mask;
        while (table[i].id >= 0)
            i = (i + 1) & mask;
        table[i] = makeSlot(hash, name.data() - m_arena.data(), name.size(), id);
    }
    m_slots = std::move(table);
    m_mask = mask;
}

} // namespace quillmap
