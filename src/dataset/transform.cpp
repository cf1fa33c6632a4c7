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

float transformScore(float score, int transformCode)
{
    if (!(score >= 0.0f))
        return MissingValue;
    const double log2Of10 = std::log2(10.0);
    switch (transformCode) {
    case 1:
        return -score;
    case 2:
        return score;
    case 3:
        return float(-double(score) * log2Of10);
    case 4:
        return float(double(score) * log2Of10);
    default:
        return MissingValue;
    }
}

float transformWithSubstitute(float value, int transformCode, const float *substitute, bool *substituted)
{
    const float plotted = applyTransform(value, transformCode);
    if (plotted != MissingValue || value != 0.0f || !substitute)
        return plotted;
    const float stood = transformScore(*substitute, transformCode);
    if (stood != MissingValue && substituted)
        *substituted = true;
    return stood;
}

QString logFailureText(float value)
{
    return value == 0.0f ? QStringLiteral("Can't take log of zero!")
                         : QStringLiteral("Can't take log of negative value!");
}

} // namespace quillmap
