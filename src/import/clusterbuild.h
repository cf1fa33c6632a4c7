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
// folder, each output through a temporary file renamed into place (the tables excepted: each
// range's records go to their own places in them), so a step that is run again after a worker
// died writes the same bytes. The steps, in order:
//
//   parse   a byte range of the results file (whole lines: a line belongs to the range its first
//           byte lies in): the rows with range-local name ids, the rows per local id, the names
//           in order of first appearance, the line count, the first failed check with its
//           range-relative line.
//   names   all ranges' names: the sorted name lists and, per range, local id -> index.
//   bins    the SNP information file checked and binned (the import's own code); then where
//           each range's records of each trait and bin start in the tables: after the keys
//           before it, and within a key after the ranges before it (a stable sort's order).
//   place   one range's rows with their final indexes, sorted by trait and by bin (stable),
//           each key's records written at their place in the work folder's two tables.
//   finish  the import itself (runFinishStep): every check in its order, with the first
//           failing results line given its line number in the whole file, and the two tables
//           renamed into the dataset folder.
namespace quillmap {

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
bool readBinsOutcome(const QString &work, qsizetype &headerFields, std::optional<ImportError> &error);

// A file of the work folder, whole.
bool readWorkFile(const QString &work, const QString &name, QByteArray &bytes);
// The tables the place steps write into (table 1 or 2), complete once every range is placed.
QString clusterTablePath(const QString &work, int table);
// Whether that table holds `bytes` (an empty one is made when no range had a record).
bool clusterTableComplete(const QString &work, int table, qint64 bytes);
// Every range placed, and the records of each key: traits by index, then the 65536 bins.
bool readKeyTotals(const QString &work, int ranges, std::vector<qint64> &totals);

// The steps; each returns the program's exit status (0, or 2/3 with the reason printed).
int runParseStep(const QString &results, const QString &work, int range, qint64 begin, qint64 end);
int runNamesStep(const QString &work, int ranges);
int runBinsStep(const QString &snps, const QString &work, int ranges);
int runPlaceStep(const QString &work, int range);

// Before the steps, with the folder's lock held by the caller: the checks that come before the
// results lines (summary.txt says the import has not finished).
ImportResult runBeginStep(const QString &folder, const ImportInputs &inputs);
// The last step: the import of `inputs` taking the results lines, the SNP bins and the tables
// from the steps' outputs in `work` (`ranges` ranges parsed); it writes every dataset file
// exactly as a whole import does, without taking the folder's lock. `abortLine`, when set, is
// the error line of a step that failed to write its outputs.
ImportResult runFinishStep(const QString &folder, const ImportInputs &inputs, const QString &work, int ranges,
                           const QByteArray &abortLine, const ImportProgress &progress);

} // namespace quillmap
