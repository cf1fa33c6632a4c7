#include "browse/valuelabels.h"

#include <algorithm>
#include <cmath>

namespace quillmap {

double valueLabelCount(double valueMin, double valueMax, double step)
{
    const double lower = valueMin - 1.0;
    const double upper = valueMax + 1.0;
    if (!(lower < upper) || !std::isfinite(lower) || !std::isfinite(upper) || !(step > 0))
        return 0;
    // Both ends are open: a multiple on either end is not written.
    const double first = std::floor(lower / step) + 1.0;
    const double last = std::ceil(upper / step) - 1.0;
    return std::max(0.0, last - first + 1.0);
}

int valueLabelStep(double valueMin, double valueMax)
{
    const double range = valueMax - valueMin;
    int step = 1;
    if (range > 4)
        step = 2;
    if (range / step > 4)
        step = int(step * 2.5);
    if (range / step > 4)
        step *= 2;
    if (valueLabelCount(valueMin, valueMax, step) <= MaxFixedStepLabels)
        return step;
    // Past that a reader needs a handful of round numbers, not every tenth.
    constexpr int Limit = 1000000000;
    for (int power = 1; power <= Limit / 5; power *= 10) {
        for (const int factor : {1, 2, 5}) {
            const int nice = factor * power;
            if (nice > step && valueLabelCount(valueMin, valueMax, nice) <= MaxValueLabels)
                return nice;
        }
    }
    return Limit;
}

std::vector<int> valueLabels(double valueMin, double valueMax, int step)
{
    std::vector<int> labels;
    const double lower = valueMin - 1.0;
    const double upper = valueMax + 1.0;
    if (!(lower < upper) || !std::isfinite(lower) || !std::isfinite(upper) || step <= 0)
        return labels;
    // Labels are ints; values outside the int range have no label to write.
    constexpr double IntLimit = 2147483647.0;
    if (upper <= -IntLimit || lower >= IntLimit)
        return labels;
    for (double m = std::floor(std::max(lower, -IntLimit) / step) * step; m < upper && m <= IntLimit;
         m += step) {
        if (m > lower)
            labels.push_back(int(m));
    }
    return labels;
}

} // namespace quillmap
