#include "import/nameset.h"

#include <QString>

#include <thread>
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

void SplitNameSet::reset(int parts)
{
    m_parts = std::vector<NameSet>(size_t(std::max(parts, 1)));
}

qint32 SplitNameSet::find(QByteArrayView name) const
{
    const int p = partOf(NameSet::hashOf(name));
    const qint32 id = m_parts[size_t(p)].find(name);
    return id < 0 ? -1 : id * parts() + p;
}

qint64 SplitNameSet::size() const
{
    qint64 names = 0;
    for (const NameSet &set : m_parts)
        names += set.size();
    return names;
}

qint64 SplitNameSet::idBound() const
{
    qint64 most = 0;
    for (const NameSet &set : m_parts)
        most = std::max(most, set.size());
    return most * parts();
}

void SplitNameSet::finish(NameList &sorted, std::vector<qint32> &finalIndex) const
{
    if (parts() == 1) {
        m_parts[0].finish(sorted, finalIndex);
        return;
    }
    // Each part sorted on its own thread, then the sorted parts merged.
    const size_t count = m_parts.size();
    std::vector<NameList> lists(count);
    std::vector<std::vector<qint32>> indexes(count);
    {
        std::vector<std::thread> threads;
        for (size_t p = 1; p < count; ++p)
            threads.emplace_back([&, p] { m_parts[p].finish(lists[p], indexes[p]); });
        m_parts[0].finish(lists[0], indexes[0]);
        for (std::thread &thread : threads)
            thread.join();
    }
    auto ascii = [](QByteArrayView name) {
        return std::none_of(name.begin(), name.end(), [](char c) { return (uchar(c) & 0x80) != 0; });
    };
    // The order finish() sorts by: UTF-16 code units, which is byte order for ASCII names. A
    // part's names beyond ASCII come out as UTF-8 of their text, so texts alike are bytes alike.
    auto compare = [&](QByteArrayView a, QByteArrayView b) {
        if (ascii(a) && ascii(b))
            return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
        const QString x = QString::fromUtf8(a);
        const QString y = QString::fromUtf8(b);
        return x < y ? -1 : (x == y ? 0 : 1);
    };
    std::vector<std::vector<qint32>> merged(count); // index in a part's list -> index in sorted
    std::vector<qint64> at(count, 0);
    for (size_t p = 0; p < count; ++p)
        merged[p].resize(size_t(lists[p].size()));
    sorted = {};
    for (;;) {
        qint64 least = -1;
        for (size_t p = 0; p < count; ++p) {
            if (at[p] < lists[p].size()
                && (least < 0 || compare(lists[p].at(at[p]), lists[size_t(least)].at(at[size_t(least)])) < 0))
                least = qint64(p);
        }
        if (least < 0)
            break;
        const QByteArrayView name = lists[size_t(least)].at(at[size_t(least)]);
        sorted.append(name);
        // The same text in other parts (byte strings that decode alike) is the same name.
        for (size_t p = 0; p < count; ++p) {
            if (at[p] < lists[p].size() && (p == size_t(least) || lists[p].at(at[p]) == name))
                merged[p][size_t(at[p]++)] = qint32(sorted.size() - 1);
        }
    }
    finalIndex.assign(size_t(idBound()), 0);
    for (size_t p = 0; p < count; ++p) {
        for (size_t id = 0; id < indexes[p].size(); ++id)
            finalIndex[id * count + p] = merged[p][size_t(indexes[p][id])];
    }
}

} // namespace quillmap
