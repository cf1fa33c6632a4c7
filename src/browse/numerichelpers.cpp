#include "browse/numerichelpers.h"

#include <QString>

#include <cmath>
#include <cstdlib>
#include <new>
#include <utility>

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

// Ranges at most this long are left to the final insertion pass.
constexpr int InsertionCutoff = 16;

struct Ascending {
    static bool before(double a, double b) { return a < b; }
};
struct Descending {
    static bool before(double a, double b) { return a > b; }
};

inline void swapAt(double *keys, int *index, int a, int b)
{
    std::swap(keys[a], keys[b]);
    std::swap(index[a], index[b]);
}

// NaN keys compare false both ways, which would leave partitions unordered and let the insertion
// pass degrade; they are moved behind every number first. Returns the last non-NaN position.
int moveNansToEnd(double *keys, int *index, int lo, int hi)
{
    int end = hi;
    int i = lo;
    while (i <= end) {
        if (std::isnan(keys[i])) {
            swapAt(keys, index, i, end);
            --end;
        } else {
            ++i;
        }
    }
    return end;
}

template <typename Order>
int partition(double *keys, int *index, int lo, int hi)
{
    if (hi <= lo)
        return lo;
    // Median of three moved to hi: sorted and reverse-sorted keys then split evenly.
    const int mid = lo + (hi - lo) / 2;
    if (Order::before(keys[mid], keys[lo]))
        swapAt(keys, index, mid, lo);
    if (Order::before(keys[hi], keys[lo]))
        swapAt(keys, index, hi, lo);
    if (Order::before(keys[mid], keys[hi]))
        swapAt(keys, index, mid, hi);
    const double pivot = keys[hi];
    int i = lo;
    int j = hi - 1;
    for (;;) {
        while (Order::before(keys[i], pivot))
            ++i;
        while (Order::before(pivot, keys[j]) && i < j)
            --j;
        if (i >= j)
            break;
        swapAt(keys, index, i, j);
        ++i;
        --j;
    }
    swapAt(keys, index, i, hi);
    return i;
}

template <typename Order>
void siftDown(double *keys, int *index, int base, int start, int count)
{
    int root = start;
    for (;;) {
        int child = 2 * root + 1;
        if (child >= count)
            return;
        if (child + 1 < count && Order::before(keys[base + child], keys[base + child + 1]))
            ++child;
        if (!Order::before(keys[base + root], keys[base + child]))
            return;
        swapAt(keys, index, base + root, base + child);
        root = child;
    }
}

template <typename Order>
void heapSort(double *keys, int *index, int lo, int hi)
{
    const int count = hi - lo + 1;
    for (int start = count / 2 - 1; start >= 0; --start)
        siftDown<Order>(keys, index, lo, start, count);
    for (int end = count - 1; end > 0; --end) {
        swapAt(keys, index, lo, lo + end);
        siftDown<Order>(keys, index, lo, 0, end);
    }
}

template <typename Order>
void quickPhase(double *keys, int *index, int lo, int hi, int depthBudget)
{
    // Recurse into the smaller part and loop over the larger one: the stack stays logarithmic.
    while (hi - lo + 1 > InsertionCutoff) {
        if (depthBudget-- <= 0) {
            heapSort<Order>(keys, index, lo, hi);
            return;
        }
        const int p = partition<Order>(keys, index, lo, hi);
        if (p - lo < hi - p) {
            quickPhase<Order>(keys, index, lo, p - 1, depthBudget);
            lo = p + 1;
        } else {
            quickPhase<Order>(keys, index, p + 1, hi, depthBudget);
            hi = p - 1;
        }
    }
}

template <typename Order>
void insertionPhase(double *keys, int *index, int lo, int hi)
{
    // Carry the extreme key to lo so it stops the inner loop below.
    for (int i = hi; i > lo; --i) {
        if (Order::before(keys[i], keys[i - 1]))
            swapAt(keys, index, i - 1, i);
    }
    for (int i = lo + 2; i <= hi; ++i) {
        const double x = keys[i];
        const int xi = index[i];
        int j = i;
        while (j > lo && Order::before(x, keys[j - 1])) {
            keys[j] = keys[j - 1];
            index[j] = index[j - 1];
            --j;
        }
        keys[j] = x;
        index[j] = xi;
    }
}

template <typename Order>
void sortWithIndex(double *keys, int *index, int lo, int hi)
{
    if (!keys || !index || hi <= lo)
        return;
    hi = moveNansToEnd(keys, index, lo, hi);
    if (hi <= lo)
        return;
    int depth = 0;
    for (long n = hi - lo + 1; n > 1; n >>= 1)
        ++depth;
    quickPhase<Order>(keys, index, lo, hi, 2 * depth + 4);
    insertionPhase<Order>(keys, index, lo, hi);
}

} // namespace

void sortAscendingWithIndex(double *keys, int *index, int lo, int hi)
{
    sortWithIndex<Ascending>(keys, index, lo, hi);
}

void sortDescendingWithIndex(double *keys, int *index, int lo, int hi)
{
    sortWithIndex<Descending>(keys, index, lo, hi);
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
    for (int r = 0; r < rows; ++r)
        delete[] (*matrix)[r];
    delete[] *matrix;
    *matrix = nullptr;
}
