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

std::optional<qint32> positionBasePairs(double positionMb)
{
    const double bp = std::round(positionMb * 1000000.0);
    if (!(bp >= -2147483648.0 && bp <= 2147483647.0))
        return std::nullopt;
    return qint32(bp);
}

} // namespace quillmap
