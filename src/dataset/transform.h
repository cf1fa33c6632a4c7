#pragma once

#include <QString>

namespace quillmap {

// The value a transform returns when it has no result (a logarithm of x <= 0).
inline constexpr float MissingValue = -999999.0f;

// Transform codes, the positions of the panels' transform choices:
// 0 "NoTransformation", 1 "log(10)", 2 "-log(10)", 3 "log(2)", 4 "-log(2)", 5 "abs".
// Any other code gives MissingValue.
float applyTransform(float value, int transformCode);

// The value a logarithm transform (codes 1-4) gives for the p-value whose -log10 is `score`:
// how a p stored as 0 (below single precision) is plotted from a -log10 column of the same
// p-values. MissingValue for any other code and for a score that is negative or NaN.
float transformScore(float score, int transformCode);

// The plotted value of a row's stored `value` under `transformCode`; when that has no result
// because the value is 0 and `substitute` (the row's value in the -log10 column standing in)
// is given, the value from it. `substituted` is set when the stand-in was used.
float transformWithSubstitute(float value, int transformCode, const float *substitute, bool *substituted);

// Why a logarithm of `value` has no result: "Can't take log of zero!" for 0, "Can't take log of
// negative value!" otherwise. The panels add their own advice after it.
QString logFailureText(float value);

} // namespace quillmap
