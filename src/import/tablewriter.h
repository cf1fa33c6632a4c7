#pragma once

#include "import/importer.h"
#include "import/importerror.h"
#include "import/nameset.h"

#include <QString>

#include <atomic>
#include <optional>
#include <vector>

namespace quillmap {

class AtomicFile;
class RowStore;
class RunSpill;

// Writes the two result tables of a dataset folder: table1.dat with ID_Line.dat (the records by
// trait index) and table2.dat with Pos_Line.dat (by position bin). Both are the same records in
// two orders; the order within one trait or one bin is the results file's.
class TableWriter
{
public:
    virtual ~TableWriter() = default;

    // Writes one table and its count file (byTrait: table1.dat), storing the records written so
    // far in `written`. Reads what the writer was given and writes its own two files only, so
    // both tables may be written at once.
    virtual std::optional<ImportError> writeTable(bool byTrait, std::atomic<qint64> &written) = 0;
};

// Both tables of `records` records each, table2.dat on a second thread unless they are few;
// progress (stage Tables) at every 65536 records of both together, reported on the calling
// thread. The first table's error comes first.
std::optional<ImportError> writeBothTables(TableWriter &writer, const ImportProgress &progress,
                                           qint64 records);

// The count file of a table: a line per key with records (a trait name, or a bin), its count.
// counts[k] for keys k < keys: trait indexes (byTrait), else bins + 32768, or, with binKeys,
// the bins binKeys[k] - 32768 (ascending).
void writeTableCounts(AtomicFile &lines, bool byTrait, const NameList &traits, const qint64 *counts,
                      size_t keys, const quint16 *binKeys = nullptr);

// The rows held in memory, trait and SNP as final indexes; bins per SNP index.
class HeldTableWriter final : public TableWriter
{
public:
    HeldTableWriter(QString folder, const RowStore &rows, const std::vector<qint16> &bins,
                    const NameList &traits, int extraStats);
    std::optional<ImportError> writeTable(bool byTrait, std::atomic<qint64> &written) override;

private:
    QString m_folder;
    const RowStore &m_rows;
    const std::vector<qint16> &m_bins;
    const NameList &m_traits;
    int m_extraStats;
};

// The sorted runs of spilled rows, merged.
class SpilledTableWriter final : public TableWriter
{
public:
    SpilledTableWriter(QString folder, RunSpill &spill, const NameList &traits, int extraStats);
    std::optional<ImportError> writeTable(bool byTrait, std::atomic<qint64> &written) override;

private:
    QString m_folder;
    RunSpill &m_spill;
    const NameList &m_traits;
    int m_extraStats;
};

} // namespace quillmap
