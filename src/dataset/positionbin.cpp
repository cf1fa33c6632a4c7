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

} // namespace quillmap
