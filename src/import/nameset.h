#pragma once

#include <QByteArrayView>
#include <QHashFunctions>
#include <QtGlobal>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace quillmap {

// Names back to back in one buffer, as UTF-8; name i is at(i).
struct NameList {
    std::string bytes;
    std::vector<qint64> ends; // end offset of each name in bytes

    qint64 size() const { return qint64(ends.size()); }
    QByteArrayView at(qint64 i) const
    {
        const qint64 begin = i == 0 ? 0 : ends[size_t(i) - 1];
        return {bytes.data() + begin, qsizetype(ends[size_t(i)] - begin)};
    }
    void append(QByteArrayView name)
    {
        bytes.append(name.data(), size_t(name.size()));
        ends.push_back(qint64(bytes.size()));
    }
};

// Distinct names in order of first appearance, each with an id (0, 1, 2, ... in that order);
// finish() gives them their final indexes in plain string order. Open addressing over one byte
// arena keeps millions of names to a few dozen bytes each, with one allocation per doubling. A
// slot holds where its name starts and how long it is, so a lookup touches one slot and one
// arena place: callers with many names to look up hash them ahead and prefetch both (hashOf,
// prefetchSlot, prefetchName). Not thread-safe; a thread parsing part of a file keeps its own.
class NameSet final
{
public:
    static size_t hashOf(QByteArrayView name) { return qHash(name, 0); }

    // The id of `name`, added when new.
    qint32 idOf(QByteArrayView name) { return idOf(name, hashOf(name)); }
    // The same with `hash` = hashOf(name). Inline: it is the parse loop's hot path.
    qint32 idOf(QByteArrayView name, size_t hash);

    // The id of `name`, or -1 when it is not in the set.
    qint32 find(QByteArrayView name) const;

    void prefetchSlot(size_t hash) const
    {
        if (!m_slots.empty())
            __builtin_prefetch(&m_slots[hash & m_mask]);
    }
    // Prefetches the name of the slot the hash points at, when that slot may hold it.
    void prefetchName(size_t hash) const
    {
        if (m_slots.empty())
            return;
        const Slot &slot = m_slots[hash & m_mask];
        if (slot.id >= 0 && slot.tag == tagOf(hash))
            __builtin_prefetch(m_arena.data() + slot.begin);
    }

    qint64 size() const { return qint64(m_ends.size()); }
    // The name of id `id` (0 <= id < size()), valid until the next change of the set.
    QByteArrayView nameAt(qint32 id) const
    {
        const qint64 begin = id == 0 ? 0 : m_ends[size_t(id) - 1];
        return {m_arena.data() + begin, qsizetype(m_ends[size_t(id)] - begin)};
    }
    // Bytes of all names together.
    qint64 nameBytes() const { return qint64(m_arena.size()); }

    // Sorts the names by their UTF-16 code units (QString's operator<). Byte strings that decode
    // to the same text become one name. finalIndex maps ids to indexes in `sorted`.
    void finish(NameList &sorted, std::vector<qint32> &finalIndex) const;

    // Forgets every name and releases the memory.
    void clear();

private:
    static constexpr quint16 LongName = 0xFFFF; // length field of names this long or longer

    struct Slot {
        qint64 begin = 0; // the name's first byte in m_arena
        qint32 id = -1;
        quint16 tag = 0;    // bits of the hash, to skip most byte comparisons
        quint16 length = 0; // the name's length, or LongName
    };

    // memcmp(a, b, n) == 0 without a call for the usual names of 8 to 16 bytes: two words each,
    // overlapping.
    static bool sameBytes(const char *a, const char *b, size_t n)
    {
        if (n < 8 || n > 16)
            return std::memcmp(a, b, n) == 0;
        quint64 a0, a1, b0, b1;
        std::memcpy(&a0, a, 8);
        std::memcpy(&b0, b, 8);
        std::memcpy(&a1, a + n - 8, 8);
        std::memcpy(&b1, b + n - 8, 8);
        return ((a0 ^ b0) | (a1 ^ b1)) == 0;
    }
    static quint16 tagOf(size_t hash) { return quint16(quint64(hash) >> 48); }
    static Slot makeSlot(size_t hash, qint64 begin, qsizetype length, qint32 id)
    {
        return {begin, id, tagOf(hash), quint16(std::min<qsizetype>(length, LongName))};
    }

    qint32 add(Slot &slot, QByteArrayView name, size_t hash);
    qint32 remember(const Slot &slot, QByteArrayView name)
    {
        m_lastBegin = slot.begin;
        m_lastSize = name.size();
        return m_lastId = slot.id;
    }
    bool matches(const Slot &slot, size_t hash, QByteArrayView name) const
    {
        if (slot.tag != tagOf(hash))
            return false;
        if (slot.length != LongName)
            return slot.length == name.size()
                && (slot.length == 0 || sameBytes(m_arena.data() + slot.begin, name.data(), slot.length));
        return nameAt(slot.id) == name;
    }
    void grow();

    std::vector<Slot> m_slots;
    std::string m_arena;        // all names, back to back
    std::vector<qint64> m_ends; // end offset of each name in m_arena
    size_t m_mask = 0;
    qint32 m_lastId = -1;
    qint64 m_lastBegin = 0; // where the last name found lies in m_arena
    qsizetype m_lastSize = 0;
    bool m_beyondAscii = false;
};

// Names split by hash among a few NameSets, so that each part may be filled by its own thread:
// the part of a name is partOf(its hash), and its id is (its id in the part) x parts() + part.
// With one part the ids are those of a plain NameSet. finish() gives what one NameSet holding
// every name gives.
class SplitNameSet final
{
public:
    SplitNameSet() { reset(1); }

    // Forgets every name; names to come go to `parts` parts (at least 1).
    void reset(int parts);
    int parts() const { return int(m_parts.size()); }
    int partOf(size_t hash) const { return int((quint64(hash) >> 32) % quint64(m_parts.size())); }
    NameSet &part(int p) { return m_parts[size_t(p)]; }
    // The id of `name` (of hash `hash`) in part `p`, added when new: call only from that part's thread.
    qint32 idOf(int p, QByteArrayView name, size_t hash)
    {
        return m_parts[size_t(p)].idOf(name, hash) * parts() + p;
    }

    // The id of `name`, or -1 when it is not in the set.
    qint32 find(QByteArrayView name) const;
    // Names in all parts.
    qint64 size() const;
    // Every id is below this.
    qint64 idBound() const;

    // As NameSet::finish; finalIndex has idBound() entries.
    void finish(NameList &sorted, std::vector<qint32> &finalIndex) const;

    // Forgets every name and releases the memory.
    void clear() { reset(1); }

private:
    std::vector<NameSet> m_parts;
};

// Trait and SNP name pairs, one a line, looked up a batch after their lines are split and hashed:
// by then each SNP's slot (fetched at add) and mostly its stored name (fetched a few pairs
// ahead) are in the cache. The names are copied here, unless they lie in one buffer (`source`)
// that stays as it is until the batch is looked up.
class NamePairBatch final
{
public:
    static constexpr size_t Capacity = 64;

    NamePairBatch() { m_pending.reserve(Capacity); }
    explicit NamePairBatch(QByteArrayView source)
        : m_source(source.data()),
          m_copies(false)
    {
        m_pending.reserve(Capacity);
    }

    size_t size() const { return m_pending.size(); }

    // Adds a line's names and fetches the SNP's slot in `snps`; true when the batch is full.
    bool add(QByteArrayView trait, QByteArrayView snp, const NameSet &snps)
    {
        Pending p{NameSet::hashOf(trait), NameSet::hashOf(snp), placeOf(trait),
                  trait.size(),           placeOf(snp),         snp.size()};
        snps.prefetchSlot(p.snpHash);
        m_pending.push_back(p);
        return m_pending.size() == Capacity;
    }

    // Calls store(j, trait id, SNP id) for the pairs in the order they were added, then empties
    // the batch.
    template <typename Store>
    void lookUp(NameSet &traits, NameSet &snps, Store &&store)
    {
        constexpr size_t NameAhead = 8;
        const char *const base = m_copies ? m_names.data() : m_source;
        for (size_t j = 0; j < m_pending.size(); ++j) {
            if (j + NameAhead < m_pending.size())
                snps.prefetchName(m_pending[j + NameAhead].snpHash);
            const Pending &p = m_pending[j];
            store(j, traits.idOf(QByteArrayView(base + p.traitBegin, p.traitSize), p.traitHash),
                  snps.idOf(QByteArrayView(base + p.snpBegin, p.snpSize), p.snpHash));
        }
        m_pending.clear();
        m_names.clear();
    }

private:
    struct Pending {
        size_t traitHash;
        size_t snpHash;
        qsizetype traitBegin; // in m_names, or from m_source
        qsizetype traitSize;
        qsizetype snpBegin;
        qsizetype snpSize;
    };

    qsizetype placeOf(QByteArrayView name)
    {
        if (!m_copies)
            return name.data() - m_source;
        const qsizetype begin = qsizetype(m_names.size());
        m_names.append(name.data(), size_t(name.size()));
        return begin;
    }

    std::vector<Pending> m_pending;
    std::string m_names;
    const char *m_source = nullptr;
    bool m_copies = true;
};

inline qint32 NameSet::idOf(QByteArrayView name, size_t hash)
{
    // Results files are usually grouped by trait, so the same name comes many times in a row.
    // The last name is compared where it lies in the arena: its end offset may be cold.
    if (m_lastId >= 0 && m_lastSize == name.size()
        && (m_lastSize == 0 || sameBytes(m_arena.data() + m_lastBegin, name.data(), size_t(m_lastSize))))
        return m_lastId;
    // Up to three quarters full: slots are 16 bytes, four to a cache line, so the longer probes
    // stay cheap, and the table is at most a third larger than 8-byte slots kept half full.
    if (4 * (size() + 1) > 3 * qint64(m_slots.size()))
        grow();
    for (size_t i = hash & m_mask;; i = (i + 1) & m_mask) {
        Slot &slot = m_slots[i];
        if (slot.id < 0)
            return add(slot, name, hash);
        if (matches(slot, hash, name))
            return remember(slot, name);
    }
}

} // namespace quillmap
