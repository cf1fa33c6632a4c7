#pragma once

#include "import/importerror.h"
#include "import/nameset.h"
#include "import/rowsource.h"
#include "import/rowstore.h"
#include "import/runspill.h"
#include "import/tablewriter.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quillmap {

// The result rows of an import: held in memory (8 + 4 x (E + 1) bytes each) up to the memory
// limit, spilled to sorted runs in the dataset folder beyond it (RunSpill) until the tables are
// written; the tables are the same bytes either way.
class HeldRows final
{
public:
    // Before the first row: rows of `statsPerRow` statistics, runs in `folder`; memoryLimit in
    // bytes as ImportInputs::memoryLimit (0: the default).
    void start(const QString &folder, int statsPerRow, qint64 memoryLimit);
    // Appends the rows of a batch (ids of the name sets), spilling at the limit; `before` rows
    // came before it. Before the first spill the disk needed is estimated from the share of the
    // results file read when `estimate` is set (not for a feed). tick(rows) after each piece.
    std::optional<ImportError> append(const RowBatch &batch, qint64 before, bool estimate,
                                      const std::function<void(qint64)> &tick);
    // The name sets' ids turned into final trait and SNP indexes.
    std::optional<ImportError> renumber(const std::vector<qint32> &traitIndex,
                                        const std::vector<qint32> &snpIndex);
    // Said before the disk fills: room for the tables beside what is spilled.
    std::optional<ImportError> roomForTables() const;
    // The writer of the tables (the runs sorted first when rows were spilled).
    std::optional<ImportError> tables(const std::vector<qint16> &bins, const NameList &traits,
                                      std::unique_ptr<TableWriter> &writer);
    void clear();

private:
    std::optional<ImportError> spill(bool estimate);
    qint64 rowsPerRun() const;
    qint64 rowsPerSortedRun() const;

    QString m_folder;
    int m_statsPerRow = 1;
    qint64 m_memoryLimit = 0;
    RowStore m_rows;
    RunSpill m_spill;
    double m_readFraction = 0.0; // the share of the results file read when the last rows came
};

// Fails with the disk space needed and free in `folder` when `needed` bytes would not fit.
std::optional<ImportError> diskRoomError(const QString &folder, qint64 needed);

} // namespace quillmap
