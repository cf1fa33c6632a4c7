#include "dataset/indexsort.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>
#include <vector>

namespace quillmap {

namespace {

template <typename Before>
void sortWithIndex(double *keys, int *index, int lo, int hi, Before before)
{
    if (!keys || !index || hi <= lo)
        return;
    std::vector<std::pair<double, int>> pairs;
    pairs.reserve(size_t(hi - lo) + 1);
    for (int i = lo; i <= hi; ++i)
        pairs.emplace_back(keys[i], index[i]);
    // NaN compares false both ways, which no sort accepts: NaN keys go behind every number.
    const auto numbers = std::partition(pairs.begin(), pairs.end(),
                                        [](const std::pair<double, int> &p) { return !std::isnan(p.first); });
    std::sort(pairs.begin(), numbers,
              [before](const std::pair<double, int> &a, const std::pair<double, int> &b) {
                  return before(a.first, b.first);
              });
    for (int i = lo; i <= hi; ++i) {
        keys[i] = pairs[size_t(i - lo)].first;
        index[i] = pairs[size_t(i - lo)].second;
    }
}

} // namespace

void sortAscendingWithIndex(double *keys, int *index, int lo, int hi)
{
    sortWithIndex(keys, index, lo, hi, std::less<double>());
}

void sortDescendingWithIndex(double *keys, int *index, int lo, int hi)
{
    sortWithIndex(keys, index, lo, hi, std::greater<double>());
}

} // namespace quillmap
