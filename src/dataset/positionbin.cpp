#include "dataset/positionbin.h"

#include "dataset/chromosome.h"

#include <cmath>

namespace quillmap {

std::optional<int> chromosomeNumber(const QString &field)
{
    return parseChromosome(QStringView(field), ChromosomeSpelling::Exact);
}

std::optional<int> chromosomeNumber(QByteArrayView field)
{
    return parseChromosome(field, ChromosomeSpelling::Exact);
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
