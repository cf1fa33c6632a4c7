#include "browse/sortkeys.h"

#include "dataset/positionbin.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <cmath>
#include <numeric>

namespace quillmap {

GenomeKey genomeKey(int chromosome, double positionMb)
{
    GenomeKey key;
    key.chromosome = chromosome >= 1 && chromosome <= 23 ? chromosome : INT_MAX;
    key.bp = positionBasePairs(positionMb).value_or(0);
    return key;
}

FieldKey fieldKey(const QString &field)
{
    FieldKey key;
    bool ok = false;
    const double value = field.toDouble(&ok);
    if (ok && std::isfinite(value)) {
        key.isNumber = true;
        key.number = value;
    } else {
        key.text = field;
    }
    return key;
}

void orderByGenome(const std::vector<GenomeKey> &keys, bool byPosition, bool ascending, int *order)
{
    std::iota(order, order + keys.size(), 0);
    std::stable_sort(order, order + keys.size(), [&](int a, int b) {
        const GenomeKey &l = keys[size_t(a)];
        const GenomeKey &r = keys[size_t(b)];
        if (l.chromosome != r.chromosome)
            return ascending ? l.chromosome < r.chromosome : r.chromosome < l.chromosome;
        return ascending || !byPosition ? l.bp < r.bp : r.bp < l.bp;
    });
}

void orderByField(const std::vector<FieldKey> &keys, bool ascending, int *order)
{
    std::iota(order, order + keys.size(), 0);
    std::stable_sort(order, order + keys.size(), [&](int a, int b) {
        const FieldKey &l = keys[size_t(a)];
        const FieldKey &r = keys[size_t(b)];
        if (l.isNumber != r.isNumber)
            return l.isNumber;
        if (l.isNumber)
            return ascending ? l.number < r.number : r.number < l.number;
        return ascending ? l.text < r.text : r.text < l.text;
    });
}

quint64 numberKey(double value)
{
    if (value == 0.0)
        value = 0.0;
    quint64 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    // Negative numbers reverse their order with all bits flipped; positive ones go above them.
    return bits >> 63 ? ~bits : bits | (quint64(1) << 63);
}

namespace {

// LSD radix sort of items {key, row} by 16-bit digits; stable.
template <typename Key>
void radixOrder(const std::vector<quint64> &keys, int shiftOut, int *order)
{
    const size_t n = keys.size();
    struct Item {
        Key key;
        int row;
    };
    std::vector<Item> items(n), spare(n);
    for (size_t i = 0; i < n; ++i)
        items[i] = {Key(keys[i] >> shiftOut), int(i)};
    constexpr int Bits = 16;
    std::vector<size_t> count(size_t(1) << Bits);
    for (int shift = 0; shift < int(8 * sizeof(Key)); shift += Bits) {
        std::fill(count.begin(), count.end(), 0);
        for (const Item &item : items)
            ++count[(item.key >> shift) & 0xffff];
        // A digit every key shares moves nothing.
        if (n == 0 || count[(items[0].key >> shift) & 0xffff] == n)
            continue;
        size_t sum = 0;
        for (size_t &c : count) {
            const size_t here = c;
            c = sum;
            sum += here;
        }
        for (const Item &item : items)
            spare[count[(item.key >> shift) & 0xffff]++] = item;
        items.swap(spare);
    }
    for (size_t i = 0; i < n; ++i)
        order[i] = items[i].row;
}

} // namespace

void orderByKey(const std::vector<quint64> &keys, int *order)
{
    // Bits every key shares do not order anything: when the others fit in 32 bits (ranks, a
    // float's key) the rows are sorted as items of 8 bytes rather than 16, half the memory.
    quint64 all = ~quint64(0), any = 0;
    for (const quint64 k : keys) {
        all &= k;
        any |= k;
    }
    const quint64 varying = all ^ any;
    if (varying != 0 && 63 - __builtin_clzll(varying) - __builtin_ctzll(varying) < 32)
        radixOrder<quint32>(keys, __builtin_ctzll(varying), order);
    else
        radixOrder<quint64>(keys, 0, order);
}

} // namespace quillmap
