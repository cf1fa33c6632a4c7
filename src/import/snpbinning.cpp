#include "import/snpbinning.h"

#include "dataset/chromosome.h"
#include "dataset/positionbin.h"
#include "import/numberparse.h"
#include "io/linereader.h"

#include <algorithm>

namespace quillmap {

std::optional<ImportError> binSnps(LineReader &reader, const QString &path, qsizetype expectedFields,
                                   const std::function<qint32(QByteArrayView)> &indexOf, qint64 snpCount,
                                   SnpBinning &out, const std::function<void(qint64)> &tick)
{
    auto invalid = [](const QByteArray &line, bool lineFeed) { return ImportError::invalid(line, lineFeed); };
    out.bins.assign(size_t(snpCount), 0);
    std::vector<char> hasBin(size_t(snpCount), 0);
    QByteArrayView line;
    out.headerFields = 1;
    if (reader.readLine(line))
        out.headerFields = line.count('\t') + 1;
    const qsizetype fieldCount = expectedFields < 0 ? out.headerFields : expectedFields;
    if (out.headerFields != fieldCount)
        return invalid(" error : it has different column numbers!", true);

    std::vector<QByteArrayView> fields;
    qint64 n = 0;
    while (reader.readLine(line)) {
        ++n;
        splitTabs(line, fields, fieldCount);
        if (qsizetype(fields.size()) != fieldCount)
            return invalid("error :" + QByteArray::number(n) + "th line has different column numbers!", true);
        const std::optional<int> chromosome = chromosomeNumber(fields[1]);
        if (!chromosome)
            return invalid("error :" + QByteArray::number(n) + "th line has invalid chr!", false);
        const std::optional<double> position = parsePosition(fields[2]);
        if (!position)
            return invalid("error :" + QByteArray::number(n)
                               + "th line has invalid pos! It must be in Mb with at least 1 digits"
                                 " after decimal!",
                           false);
        const std::optional<qint16> bin = positionBin(*chromosome, *position);
        if (!bin)
            return invalid("error :" + QByteArray::number(n)
                               + "th line has invalid pos! Chromosome x 1000 + position in Mb must"
                                 " lie between -32768 and 32767!",
                           false);
        const qint32 snp = indexOf(fields[0]);
        if (snp >= 0) {
            // A SNP listed again is binned by its last line.
            out.bins[size_t(snp)] = *bin;
            hasBin[size_t(snp)] = 1;
        }
        if (tick)
            tick(n);
    }
    if (reader.failed())
        return ImportError::cannotRead("SNP information", path);
    if (std::find(hasBin.begin(), hasBin.end(), 0) != hasBin.end())
        return invalid("error : can't find pos info for some snp, please check the snp info file.", false);
    return std::nullopt;
}

} // namespace quillmap
