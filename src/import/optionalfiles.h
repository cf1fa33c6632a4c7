#pragma once

#include "import/importer.h"
#include "import/importerror.h"

#include <QString>

#include <optional>

namespace quillmap {

class LineReader;

// The dataset files of the two optional inputs, each from a reader that has its input open at
// the start (`inputPath` names it in messages), written into `folder`. Progress as runImport's
// (stages Groups and Genes).

// Gene2ID.dat: each group with its traits in the order of the trait group file.
std::optional<ImportError> buildGroupFile(LineReader &input, const QString &inputPath, const QString &folder,
                                          const ImportProgress &progress);
// pos2gene.dat: genes by the bin of their start. Lines with fewer than four fields or with a
// start or end that is not a number are skipped.
std::optional<ImportError> buildGeneFile(LineReader &input, const QString &inputPath, const QString &folder,
                                         const ImportProgress &progress);

} // namespace quillmap
