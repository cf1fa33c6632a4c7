#include "dataset/positionbin.h"

#include <cmath>

namespace quillmap {

std::optional<int> chromosomeNumber(const QString &field)
{
    if (field == QLatin1String("X"))
        return 23;
    if (field.isEmpty() || field.size() > 2 || field.at(0) == QLatin1Char('0'))
        return std::nullopt;
    int value = 0;
    for (QChar c : field) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
    }
    if (value < 1 || value > 23)
        return std::nullopt;
    return value;
}

std::optional<int> chromosomeNumber(QByteArrayView field)
{
    if (field.size() == 1 && field.front() == 'X')
        return 23;
    if (field.isEmpty() || field.size() > 2 || field.front() == '0')
        return std::nullopt;
    int value = 0;
    for (char c : field) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 23)
        return std::nullopt;
    return value;
}

std::optional<qint16> positionBin(int chromosome, double positionMb)
{
    const double bin = std::trunc(double(chromosome) * 1000.0 + std::floor(positionMb));
    if (!std::isfinite(bin) || bin < -32768.0 || bin > 32767.0)
        return std::nullopt;
    return qint16(bin);
}

std::optional<qint32> positionBasePairs(double positionMb)
{
    const double bp = std::round(positionMb * 1000000.0);
    if (!(bp >= -2147483648.0 && bp <= 2147483647.0))
        return std::nullopt;
    return qint32(bp);
}

} // namespace quillmap
