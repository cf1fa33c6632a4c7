#include "dataset/traitscan.h"

#include "dataset/datasettables.h"

#include <algorithm>

namespace quillmap {

Status scanTraits(const Dataset &dataset, int firstTrait, int lastTrait,
                  const std::function<bool(const TraitRows &)> &visit)
{
    const Result<Dataset::OpenTable> table = dataset.table(ResultTable::Traits);
    if (!table)
        return table.error();
    const DatasetTables &tables = dataset.tables();
    firstTrait = std::max(firstTrait, 0);
    lastTrait = int(std::min<qint64>(lastTrait, tables.traitNames.size()));
    TraitRows trait;
    QByteArray bytes;
    for (int t = firstTrait; t < lastTrait; ++t) {
        const RecordRun run{RecordRun::Table::Traits, t, tables.traitFirstRecord(t),
                            tables.traitRecordCount(t)};
        if (run.count <= 0 || run.first < 0)
            continue;
        if (std::optional<Error> error = readRecordRun(dataset, run, trait, bytes))
            return std::move(*error);
        trait.traitIndex = t;
        if (!visit(trait))
            break;
    }
    return success();
}

} // namespace quillmap
