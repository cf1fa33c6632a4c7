#pragma once

#include "querycommon.h"

#include <QSize>

namespace quillmap {
class Dataset;
}

// quillmap-query's locus window: one trait's rows around a SNP, a position or a gene with their
// r2, as a listing and as the Locus tab's figure.
namespace quillmap::query {

// "locus NAME [--trait T] [--window BP] [--ld PREFIX]": the rows with an r2 column.
int locusCommand(const Dataset &dataset, const Options &options, const char *usage);
// "plot locus NAME ..." into `out` at `size` and `dpi` (a QGuiApplication must exist).
int locusPlot(const Dataset &dataset, const Options &options, const char *usage, const QString &out,
              QSize size, int dpi);

} // namespace quillmap::query
