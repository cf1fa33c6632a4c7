#pragma once

#include <vector>

// The value labels of both plots' vertical axes.
namespace quillmap {

// Step between value labels for values from valueMin to valueMax. The plots' own rule first:
// 1 for a range d up to 4, 2 up to 8, 5 up to 20, 10 beyond. When that writes more than
// MaxFixedStepLabels labels, the smallest step of 1, 2 or 5 times a power of ten that writes
// at most MaxValueLabels.
int valueLabelStep(double valueMin, double valueMax);
inline constexpr int MaxFixedStepLabels = 10;
inline constexpr int MaxValueLabels = 8;

// How many labels valueLabels writes for `step`: the multiples m of `step` with
// valueMin - 1 < m < valueMax + 1. 0 for a reversed or non-finite range.
double valueLabelCount(double valueMin, double valueMax, double step);

// Every multiple m of `step` with valueMin - 1 < m < valueMax + 1, ascending. Empty for a
// reversed or non-finite range; multiples outside the int range are left out.
std::vector<int> valueLabels(double valueMin, double valueMax, int step);

} // namespace quillmap
