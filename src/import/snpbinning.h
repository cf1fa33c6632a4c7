#pragma once

#include "import/importerror.h"

#include <QByteArrayView>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace quillmap {

class LineReader;

// The SNP information file, read and checked as the import's second pass does: the bin of every
// SNP index that indexOf() gives (-1 for SNPs the results do not name), then the check that
// every SNP has one. `reader` has the file open at its start; `path` names it in messages.
// expectedFields < 0 takes the header's field count.
struct SnpBinning {
    qsizetype headerFields = 0;
    std::vector<qint16> bins;
};
std::optional<ImportError> binSnps(LineReader &reader, const QString &path, qsizetype expectedFields,
                                   const std::function<qint32(QByteArrayView)> &indexOf, qint64 snpCount,
                                   SnpBinning &out, const std::function<void(qint64)> &tick);

} // namespace quillmap
