#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <vector>

class QFile;

namespace quillmap {

// Result rows beyond the import's memory limit. The rows are handed over in file order, a run
// at a time, and written to temporary files in the dataset folder (`.quillmap-run-*`). Once the
// name lists fix the indexes, each run is sorted by trait and by bin into two sorted runs, and
// the tables are written by merging them, the earlier run first among equal keys: the same
// order a stable sort of all rows in memory gives, so the tables come out byte for byte as
// they would without the limit.
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
    bool active() const { return !m_runs.empty(); }
    qint64 rows() const { return m_rows; }

    // Writes rows [0, count) as the next run: row(i, trait, snp, stats) gives row i with the
    // provisional ids of the name sets. False when the file cannot be written (errorPath()).
    using RowAt = std::function<void(qint64 row, qint32 &trait, qint32 &snp, const float *&stats)>;
    bool addRun(qint64 count, const RowAt &row);

    // Final indexes: provisional trait id -> trait index, provisional SNP id -> SNP index.
    void setIndexes(std::vector<qint32> traitIndex, std::vector<qint32> snpIndex);

    // Sorts every run by trait index and by bin (bins[SNP index]); counts per trait index and
    // per bin (bin + 32768) are added to traitCounts and binCounts. False on a read or write
    // failure (errorPath()).
    bool sortRuns(const std::vector<qint16> &bins, std::vector<qint64> &traitCounts,
                  std::vector<qint64> &binCounts);

    // Merges the sorted runs, calling write(record) for every record of table1.dat (byTrait)
    // or table2.dat in order; false when a run cannot be read or write() returns false.
    using RecordSink = std::function<bool(QByteArrayView record)>;
    bool merge(bool byTrait, const std::vector<qint16> &bins, const RecordSink &write);

    QString errorPath() const { return m_errorPath; }

    // Removes every file of the spill.
    void clear();

private:
    QString runPath(const char *kind, size_t run) const;
    bool fail(const QString &path);

    QString m_folder;
    int m_statsPerRow = 1;
    int m_extra = 0;
    qint64 m_rows = 0;
    std::vector<qint64> m_runs; // rows per run
    std::vector<qint32> m_traitIndex;
    std::vector<qint32> m_snpIndex;
    QString m_errorPath;
    std::vector<QString> m_files;
};

// Bytes the import holds per result row with `statsPerRow` statistics (for the memory limit).
qint64 importBytesPerRow(int statsPerRow);
// The default memory limit: a quarter of physical memory, at least 256 MiB and at most 2 GiB
// (beyond that the rows held cost more memory than the runs save time).
qint64 defaultImportMemory();
// The same rule for a machine with `physicalBytes` of memory.
qint64 defaultImportMemory(qint64 physicalBytes);
// "100M", "2G", "512K", "1000000" (bytes; K, M, G and T are powers of 1024) -> bytes; -1 when
// the text is not such a size.
qint64 parseMemorySize(QByteArrayView text);

} // namespace quillmap
