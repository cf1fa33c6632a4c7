#pragma once

#include "import/importerror.h"
#include "import/resultsrange.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace quillmap {

class LineReader;
class ResultFeed;
class SplitNameSet;

// A run of result rows in file order, as a source hands them to the import's first pass. Its
// pointers are valid until the source's next call.
struct RowBatch {
    // Good data lines, one row each (a bad line is not counted).
    qint64 lines = 0;
    // Per row: the ids of its trait and SNP in the import's name sets, and its statistics
    // (statsPerRow each). Null when the rows were stored elsewhere (a cluster build's steps).
    const qint32 *traitIds = nullptr;
    const qint32 *snpIds = nullptr;
    const float *stats = nullptr;
    // Per results field: nonzero values single precision kept only as 0 or subnormal, and the
    // first line (1-based within the batch) holding one; null for none.
    const std::vector<qint64> *lostCount = nullptr;
    const std::vector<qint64> *lostFirst = nullptr;
    // The first bad line, numbered after `errorLinesBefore` further lines of the batch; reading
    // stopped there.
    std::optional<ResultsLineError> error;
    qint64 errorLinesBefore = 0;
    // The share of the results file read before and after the batch (0 when unknown).
    double readBefore = 0.0;
    double readAfter = 0.0;
};

// Where the first pass takes its rows from: a results file (line by line, or in byte ranges on
// worker threads), the rows of a ResultFeed, or the outcome of a cluster build's parse steps.
// Names are looked up by the source, so ids depend on the source's order alone.
class RowSource
{
public:
    virtual ~RowSource() = default;
    // The next batch, of at most `maxLines` good lines; a source may give more only when it
    // cannot cut them, in which case its lost values count up to line maxLines. False at the end
    // of the rows or when reading failed (see finish()).
    virtual bool next(RowBatch &batch, qint64 maxLines) = 0;
    // Once next() returned false: why the rows ended early, if they did.
    virtual std::optional<ImportError> finish() { return m_error; }

protected:
    std::optional<ImportError> m_error; // the failure that ended the rows
};

// The data lines of the results file `reader` has open (its header read): in byte ranges on
// worker threads when it is a plain file on disk, else line by line. Resets the name sets.
// memoryLimit as ImportInputs::memoryLimit.
std::unique_ptr<RowSource> resultsFileSource(const QString &path, LineReader &reader,
                                             const ResultsLayout &layout, bool inMemory, qint64 memoryLimit,
                                             SplitNameSet &traits, SplitNameSet &snps);

// The rows of a feed, `fields` results fields each.
std::unique_ptr<RowSource> feedSource(ResultFeed &feed, qsizetype fields, SplitNameSet &traits,
                                      SplitNameSet &snps);

} // namespace quillmap
