#pragma once

#include <QString>

namespace quillmap {

// The value a transform returns when it has no result (a logarithm of x <= 0).
inline constexpr float MissingValue = -999999.0f;

// Transform codes, the positions of the panels' transform choices:
// 0 "NoTransformation", 1 "log(10)", 2 "-log(10)", 3 "log(2)", 4 "-log(2)", 5 "abs".
// Any other code gives MissingValue.
float applyTransform(float value, int transformCode);

// Why a logarithm of `value` has no result: "Can't take log of zero!" for 0, "Can't take log of
// negative value!" otherwise. The panels add their own advice after it.
QString logFailureText(float value);

} // namespace quillmap
