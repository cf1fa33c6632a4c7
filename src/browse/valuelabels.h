#pragma once

#include <vector>

// The value labels of both plots' vertical axes.
namespace quillmap {

// Step between value labels for a value range d: 1 up to 4, 2 up to 8, 5 up to 20, 10 beyond;
// ranges so wide that more than MaxValueLabels labels would be written get a 10-fold step
// until they fit.
int valueLabelStep(double range);
inline constexpr int MaxValueLabels = 1000;

// Every multiple m of `step` with valueMin - 1 < m < valueMax + 1, ascending. Empty for a
// reversed or non-finite range; multiples outside the int range are left out.
std::vector<int> valueLabels(double valueMin, double valueMax, int step);

} // namespace quillmap
