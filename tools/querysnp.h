#pragma once

#include "querycommon.h"

namespace quillmap {
class Dataset;
}

// quillmap-query's view of one variant across traits, as the By SNP tab lists it.
namespace quillmap::query {

// "snp NAME|CHR:BP|GENE [--window BP]": each trait's row there, the smallest p first.
int snpCommand(const Dataset &dataset, const Options &options, const char *usage);

} // namespace quillmap::query
