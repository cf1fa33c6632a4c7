#include "dataset/transform.h"

#include <QString>

#include <cmath>

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

} // namespace quillmap
