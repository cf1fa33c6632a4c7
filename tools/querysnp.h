#pragma once

#include "querycommon.h"

#include <QSize>

namespace quillmap {
class Dataset;
}

// quillmap-query's view of one variant across traits, as the By SNP tab lists it.
namespace quillmap::query {

// "snp NAME|CHR:BP|GENE [--window BP]": each trait's row there, the smallest p first.
// With `geneOnly` ("gene NAME"), NAME must be a gene of the gene file.
int snpCommand(const Dataset &dataset, const Options &options, const char *usage, bool geneOnly = false);
// "plot snp NAME ...": the By SNP tab's plot into `out` at `size` and `dpi` (a QGuiApplication
// must exist).
int snpPlot(const Dataset &dataset, const Options &options, const char *usage, const QString &out, QSize size,
            int dpi);

} // namespace quillmap::query
