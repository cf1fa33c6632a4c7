#pragma once

#include "import/spillfile.h"

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <vector>

namespace quillmap {

class RowStore;

// Result rows beyond the import's memory limit. The rows held are appended, column by column,
// to a file in the dataset folder (`.quillmap-run-rows.tmp`) whenever the limit is reached.
// Once the name lists fix the indexes and the SNP information file the bins, the spilled rows
// are cut into runs that fit the limit with their two sorted copies; each run is sorted by trait
// and by bin at once, on two threads (stable counting sorts that scatter the rows read in file
// order), and appended, as finished records, to one file per order. The rows still held make
// the last run. A table is then written key by key: for each trait or bin, that key's records
// of run 0, of run 1, ...: the order a stable sort of all rows in memory gives, so the tables
// come out byte for byte as they would without the limit, copied in large blocks. The files
// bypass the page cache (SpillFile).
//
// Every file is removed when the spill is destroyed; start() removes those an import that was
// killed left behind (the folder's import lock keeps two imports from sharing them).
class RunSpill final
{
public:
    RunSpill() = default;
    ~RunSpill();
    RunSpill(const RunSpill &) = delete;
    RunSpill &operator=(const RunSpill &) = delete;

    // Runs go to `folder`; `statsPerRow` floats follow the trait and SNP id of each row.
    void start(const QString &folder, int statsPerRow);
    // Whether the files yet to be made bypass the page cache (the default: see SpillFile).
    void setBypassCache(bool bypass) { m_bypassCache = bypass; }
    bool bypassesCache() const { return m_bypassCache; }
    bool active() const { return m_spilled > 0; }
    // Rows written to the rows file.
    qint64 rows() const { return m_spilled; }

    // Appends every row of `rows` (provisional ids of the name sets) after those spilled before.
    // False when the file cannot be written (errorPath()).
    bool addRows(const RowStore &rows);

    // Final indexes: provisional trait id -> trait index, provisional SNP id -> SNP index.
    void setIndexes(std::vector<qint32> traitIndex, std::vector<qint32> snpIndex);

    // Sorts the spilled rows in runs of at most `runRows` rows, then `held` (final indexes: the
    // rows after the spilled ones) as the last run, which is sorted first and then released.
    // bins[SNP index] is the bin of a SNP; traitCount the number of trait indexes. False on a
    // read or write failure (errorPath()).
    bool sortRuns(RowStore &held, qint64 runRows, const std::vector<qint16> &bins, qint64 traitCount);

    // Records per trait index or per bin (bin + 32768) over all runs, once sorted.
    const std::vector<qint64> &counts(bool byTrait) const { return byTrait ? m_traitCounts : m_binCounts; }

    // Hands the records of table1.dat (byTrait) or table2.dat in order, in blocks of whole
    // records; false when a run cannot be read (runPath()) or write() returns false. The runs of
    // that order are removed afterwards. Both orders may be merged at once, on two threads.
    using BlockSink = std::function<bool(QByteArrayView records)>;
    bool merge(bool byTrait, const BlockSink &write);

    QString errorPath() const { return m_errorPath; }
    // The file of the runs of one order.
    QString runPath(bool byTrait) const;

    // Removes every file of the spill.
    void clear();

    // Bytes of a spilled row, and of its record in each sorted run.
    static qint64 rowBytes(int statsPerRow) { return 8 + 4 * qint64(statsPerRow); }

private:
    // clang-tidy 14 takes the implicit copy of the keys array for a reserved name.
    // NOLINTNEXTLINE(bugprone-reserved-identifier)
    struct Run {
        qint64 offset = 0; // of its records in the order's file, in bytes
        // Keys present (trait index, or bin + 32768) with their record counts, ascending.
        std::vector<std::pair<qint32, qint64>> keys[2];
    };
    struct Columns;

    QString filePath(const char *kind) const;
    bool fail(const QString &path);
    bool openFile(int which);
    bool readRows(qint64 first, qint64 count, qint32 *trait, qint32 *snp, float *stats);
    bool sortRun(const std::vector<Columns> &spans, qint64 rows, const std::vector<qint16> &bins,
                 qint64 traitCount, std::vector<char> (&sorted)[2]);

    QString m_folder;
    int m_statsPerRow = 1;
    qint64 m_spilled = 0;
    // The rows file's blocks: each holds `rows` trait ids, then as many SNP ids, then their
    // statistics, from byte `offset`.
    std::vector<std::pair<qint64, qint64>> m_blocks; // (offset, rows)
    std::vector<Run> m_runs;                         // in row order
    std::vector<qint64> m_traitCounts;
    std::vector<qint64> m_binCounts;
    std::vector<qint32> m_traitIndex;
    std::vector<qint32> m_snpIndex;
    SpillFile m_files[3]; // rows, trait-sorted runs, bin-sorted runs
    bool m_bypassCache = true;
    QString m_errorPath;
};

// Bytes the import holds per result row with `statsPerRow` statistics (for the memory limit).
qint64 importBytesPerRow(int statsPerRow);
// The default memory limit: a quarter of physical memory, at least 256 MiB and at most 2 GiB
// (beyond that the rows held cost more memory than the runs save time).
qint64 defaultImportMemory();
// The same rule for a machine with `physicalBytes` of memory.
qint64 defaultImportMemory(qint64 physicalBytes);
// Whether a spill of `spillBytes` (rows file and sorted runs) is better written past the page
// cache: when it is larger than a sixteenth of physical memory. A smaller one stays below the
// point where the kernel starts writing dirty pages back, so it is removed before it reaches
// the disk; a larger one would be written anyway, after a copy that costs processor time.
bool spillBypassesCache(qint64 spillBytes, qint64 physicalBytes);
qint64 physicalMemory();
// "100M", "2G", "512K", "1000000" (bytes; K, M, G and T are powers of 1024) -> bytes; -1 when
// the text is not such a size.
qint64 parseMemorySize(QByteArrayView text);

} // namespace quillmap
