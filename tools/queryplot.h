#pragma once

#include "querycommon.h"

#include <QStringList>

namespace quillmap {
class Dataset;
}

// quillmap-query's plot command: the trait's genome-wide plot or the region plot, drawn by the
// window's own painting routines into PDF, SVG or PNG.
namespace quillmap::query {

// The options the plot command takes.
QStringList plotOptions();
// Runs "plot trait NAME ..." or "plot region CHR MB ..." (a QGuiApplication must exist).
int plotCommand(const Dataset &dataset, const Options &options, const char *usage);

} // namespace quillmap::query
