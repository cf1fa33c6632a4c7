#pragma once

#include "import/importer.h"
#include "import/resultsrange.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

// The import cut into steps for a cluster (quillmap-dask runs them as tasks; quillmap-index
// runs each one). Every step reads files and writes files in a work folder inside the dataset
// folder, each output through a temporary file renamed into place, so a step that is run again
// after a worker died writes the same bytes. The steps, in order:
//
//   parse   a byte range of the results file (whole lines: a line belongs to the range its first
//           byte lies in): the rows with range-local name ids, the names in order of first
//           appearance, the line count, the first failed check with its range-relative line.
//   names   all ranges' names: the sorted name lists and, per range, local id -> index.
//   bins    the SNP information file checked and binned (the import's own code).
//   sort    one range's rows with their final indexes, sorted by trait and by bin (stable), with
//           the record count of every trait and bin.
//   merge   the sorted ranges' records of a span of traits or bins, range by range within a key:
//           one shard of table1.dat or table2.dat, the order a stable sort of all rows gives.
//   finish  the import itself (ImportInputs::Phase::Finish): every check in its order, with the
//           first failing results line given its line number in the whole file, and the shards
//           concatenated into the tables.
namespace quillmap {

struct StepError {
    ImportResult::Failure failure = ImportResult::Failure::Validation;
    QByteArray reportLine;
    bool lineFeed = true;
};

// The SNP information file, read and checked as the import's second pass does: the bin of every
// SNP index that indexOf() gives (-1 for SNPs the results do not name), then the check that
// every SNP has one. expectedFields < 0 takes the header's field count.
struct SnpBinning {
    qsizetype headerFields = 0;
    std::vector<qint16> bins;
};
std::optional<StepError> binSnps(const QString &path, qsizetype expectedFields,
                                 const std::function<qint32(QByteArrayView)> &indexOf, qint64 snpCount,
                                 SnpBinning &out, const std::function<void(qint64)> &tick);

// The work folder's name inside a dataset folder, and its removal (a link is removed, never
// followed). False when it stays.
QString clusterWorkPath(const QString &folder);
bool removeClusterWork(const QString &folder);

// What the parse steps found, ranges in file order.
struct ResultLines {
    qint64 rows = 0;
    // The first bad line in file order, and the data lines of the ranges before its range.
    std::optional<ResultsLineError> error;
    qint64 linesBefore = 0;
    std::vector<qint64> lostCount; // per results field
    std::vector<qint64> lostFirst;
};
bool readResultLines(const QString &work, int ranges, qsizetype fields, ResultLines &out);

// The bins step's outcome: the header's field count, and its error.
bool readBinsOutcome(const QString &work, qsizetype &headerFields, std::optional<StepError> &error);

// A file of the work folder, whole.
bool readWorkFile(const QString &work, const QString &name, QByteArray &bytes);
QString shardPath(const QString &work, int table, int shard);
// A shard's record counts: (trait index, or bin + 32768; count), keys ascending.
bool readShardCounts(const QString &work, int table, int shard,
                     std::vector<std::pair<qint64, qint64>> &counts);

// The steps; each returns the program's exit status (0, or 2/3 with the reason printed).
int runParseStep(const QString &results, const QString &work, int range, qint64 begin, qint64 end);
int runNamesStep(const QString &work, int ranges);
int runBinsStep(const QString &snps, const QString &work);
int runSortStep(const QString &work, int range);
int runMergeStep(const QString &work, int table, int shard, qint64 firstKey, qint64 lastKey, int ranges);

} // namespace quillmap
