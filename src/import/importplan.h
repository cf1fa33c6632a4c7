#pragma once

#include "import/importer.h"
#include "import/importerror.h"
#include "import/nameset.h"
#include "import/rowsource.h"
#include "import/tablewriter.h"

#include <QByteArray>

#include <memory>
#include <optional>

// How an import is run when another driver owns part of it (a cluster build): who holds the
// folder's lock, where the steps stop, and the rows that were parsed, named and placed elsewhere.
namespace quillmap {

// Rows other processes parsed, named and placed into tables: the import takes their outcome in
// place of reading, sorting and writing the rows itself, and checks everything else as usual.
class PlacedRows
{
public:
    virtual ~PlacedRows() = default;
    // The parse steps' outcome: the good lines, lost values and first bad line; no row ids.
    virtual std::unique_ptr<RowSource> rows(qsizetype fields) = 0;
    // The sorted trait and SNP lists, each name followed by a line feed.
    virtual std::optional<ImportError> names(QByteArray &traits, QByteArray &snps) = 0;
    // The SNP information file's check, made by the bins step against `snpFields` columns.
    virtual std::optional<ImportError> snpCheck(qsizetype snpFields) = 0;
    // The tables as the place steps wrote them, for `traits` and records of `extraStats`.
    virtual std::unique_ptr<TableWriter> tables(const QString &folder, const NameList &traits,
                                                int extraStats) = 0;
};

struct ImportPlan {
    // False: the caller holds the folder's lock for all its steps.
    bool lockFolder = true;
    // Stop after the checks that come before the results lines.
    bool checksOnly = false;
    // The rows, when they were placed elsewhere.
    PlacedRows *placed = nullptr;
    // A step failed to write its outputs; this is the error line to report.
    QByteArray abortLine = {};
};

ImportResult runImport(const QString &folder, const ImportInputs &inputs, const ImportPlan &plan,
                       const ImportProgress &progress);
ImportResult runImport(const QString &folder, const ImportInputs &inputs, ResultFeed &feed,
                       const ImportPlan &plan, const ImportProgress &progress);

} // namespace quillmap
