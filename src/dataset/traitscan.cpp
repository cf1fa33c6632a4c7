#include "dataset/traitscan.h"

#include "dataset/datasetfiles.h"
#include "dataset/datasettables.h"

#include <QFile>

#include <algorithm>

namespace quillmap {

Status scanTraits(const QString &folder, const DatasetTables &tables, int firstTrait, int lastTrait,
                  const std::function<bool(const TraitRows &)> &visit)
{
    // Large sequential reads: the file's own buffer would only add a copy.
    QFile file(files::datasetFilePath(folder, files::TraitTable));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return Error{ErrorKind::MissingFile,
                     QStringLiteral("The file %1 is not found! Please reload the dataset!")
                         .arg(QLatin1StringView(files::TraitTable))};
    firstTrait = std::max(firstTrait, 0);
    lastTrait = int(std::min<qint64>(lastTrait, tables.traitNames.size()));
    TraitRows trait;
    QByteArray bytes;
    for (int t = firstTrait; t < lastTrait; ++t) {
        const RecordRun run{RecordRun::Table::Traits, t, tables.traitFirstRecord(t),
                            tables.traitRecordCount(t)};
        if (run.count <= 0 || run.first < 0)
            continue;
        if (std::optional<Error> error = readRecordRun(file, folder, tables, run, trait, bytes))
            return std::move(*error);
        trait.traitIndex = t;
        if (!visit(trait))
            break;
    }
    return success();
}

} // namespace quillmap
