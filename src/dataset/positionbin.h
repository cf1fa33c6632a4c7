#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <optional>

// Position bins: chromosome number x 1000 + whole megabase, as a signed 16-bit key.
namespace quillmap {

// Chromosome number of a SNP-information chromosome field: "1".."23" as written, "X" as 23.
// Anything else (chr1, x, Y, 01, " 1") has no number.
std::optional<int> chromosomeNumber(const QString &field);
// The same test on the raw bytes of a field.
std::optional<int> chromosomeNumber(QByteArrayView field);

// Bin of a position in Mb on a chromosome number, computed in double precision and truncated
// toward zero; no value when the result falls outside the signed 16-bit range or is not finite.
// Inline: every record a panel reads is placed by it.
inline std::optional<qint16> positionBin(int chromosome, double positionMb)
{
    // Whole Mb by conversion, not std::floor (a library call on baseline x86-64). Beyond 1e13 Mb
    // no chromosome number brings a bin into range, and below it the conversion and the sum are
    // exact.
    if (!(positionMb > -1e13 && positionMb < 1e13))
        return std::nullopt;
    qint64 megabase = qint64(positionMb);
    if (double(megabase) > positionMb)
        --megabase;
    const qint64 bin = qint64(chromosome) * 1000 + megabase;
    if (bin < -32768 || bin > 32767)
        return std::nullopt;
    return qint16(bin);
}

// The base pair of a position in Mb: Mb x 1,000,000 rounded to the nearest base, since the
// decimal Mb of a file is seldom exact in binary (16.077315 Mb is 16077315, not 16077314). No
// value when the result is not finite or lies outside the 32-bit signed range.
std::optional<qint32> positionBasePairs(double positionMb);

// The chromosome and whole megabase a bin stands for (floor division, so bin 999 is
// chromosome 0, megabase 999).
inline int binChromosome(int bin)
{
    return bin >= 0 ? bin / 1000 : -((999 - bin) / 1000);
}
inline int binMegabase(int bin)
{
    return bin - 1000 * binChromosome(bin);
}

} // namespace quillmap
