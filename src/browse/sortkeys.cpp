#include "browse/sortkeys.h"

#include "dataset/positionbin.h"

#include <algorithm>
#include <climits>
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

} // namespace quillmap
