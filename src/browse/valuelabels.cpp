#include "browse/valuelabels.h"

#include <algorithm>
#include <cmath>

namespace quillmap {

int valueLabelStep(double range)
{
    int step = 1;
    if (range > 4)
        step = 2;
    if (range / step > 4)
        step = int(step * 2.5);
    if (range / step > 4)
        step *= 2;
    while (range / step > MaxValueLabels && step < 1000000000)
        step *= 10;
    return step;
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
