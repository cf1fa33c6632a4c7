#include "browse/numerichelpers.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <new>
#include <utility>
#include <vector>

namespace quillmap {

float applyTransform(float value, int transformCode)
{
    // Written as "x <= 0 has no logarithm", so a NaN passes through the log codes as NaN.
    switch (transformCode) {
    case 0:
        return value;
    case 1:
        return value <= 0 ? MissingValue : float(std::log10(double(value)));
    case 2:
        return value <= 0 ? MissingValue : float(-std::log10(double(value)));
    case 3:
        return value <= 0 ? MissingValue : float(std::log2(double(value)));
    case 4:
        return value <= 0 ? MissingValue : float(-std::log2(double(value)));
    case 5:
        return std::fabs(value);
    default:
        return MissingValue;
    }
}

QString logFailureText(float value)
{
    return value == 0.0f ? QStringLiteral("Can't take log of zero!")
                         : QStringLiteral("Can't take log of negative value!");
}

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

int compareIntKey(const void *a, const void *b)
{
    const qint32 x = *static_cast<const qint32 *>(a);
    const qint32 y = *static_cast<const qint32 *>(b);
    // a - b overflows for keys of opposite sign far apart; the sign is what qsort needs.
    return (x > y) - (x < y);
}

int compareBinKey(const void *a, const void *b)
{
    const int x = static_cast<const BinKeyed *>(a)->bin;
    const int y = static_cast<const BinKeyed *>(b)->bin;
    return x - y;
}

int compareTextAscending(const void *a, const void *b)
{
    return QString::compare(*static_cast<const QString *>(a), *static_cast<const QString *>(b),
                            Qt::CaseSensitive);
}

int compareTextDescending(const void *a, const void *b)
{
    return compareTextAscending(b, a);
}

float **allocMatrix(int rows, int columns)
{
    if (rows < 0 || columns < 0)
        return nullptr;
    auto **matrix = new (std::nothrow) float *[rows > 0 ? rows : 1];
    if (!matrix)
        return nullptr;
    for (int r = 0; r < rows; ++r) {
        matrix[r] = new (std::nothrow) float[columns > 0 ? columns : 1];
        if (!matrix[r]) {
            for (int k = r - 1; k >= 0; --k)
                delete[] matrix[k];
            delete[] matrix;
            return nullptr;
        }
    }
    return matrix;
}

void freeMatrix(float ***matrix, int rows)
{
    if (!matrix || !*matrix)
        return;
    float **rowsOf = *matrix;
    for (int r = 0; r < rows; ++r)
        delete[] rowsOf[r];
    delete[] rowsOf;
    *matrix = nullptr;
}

} // namespace quillmap
