#pragma once

#include "dataset/result.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// The genome build a dataset's positions are on. It is recorded in the dataset folder's
// genome_build.txt (one line: "hg19\n"); a folder without that file is on hg18, as every
// dataset written before the build was recorded.
namespace quillmap {

enum class GenomeBuild { Hg18, Hg19, Hg38 };

inline constexpr char GenomeBuildFile[] = "genome_build.txt";

// "hg18", "hg19", "hg38": also UCSC's database names.
QString genomeBuildName(GenomeBuild build);
std::optional<GenomeBuild> genomeBuildNamed(QStringView name);
QStringList genomeBuildNames();

// The build recorded in `folder`; hg18 when there is no record. A record naming no known build
// is refused (Damaged) rather than taken for hg18, which would place every link wrongly.
Result<GenomeBuild> readGenomeBuild(const QString &folder);

// Records `build` in `folder`, or with no build removes the record (the dataset is then hg18).
Status writeGenomeBuild(const QString &folder, std::optional<GenomeBuild> build);

} // namespace quillmap
