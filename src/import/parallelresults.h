#pragma once

#include "import/nameset.h"
#include "import/resultsrange.h"
#include "import/workqueue.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <exception>
#include <memory>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

namespace quillmap {

// The good lines of one byte range of a results file, their names interned in the shared sets.
struct ParsedRange {
    qint64 lines = 0;              // good data lines, one row each
    std::vector<qint32> traitIds;  // per row: its trait's id in the shared trait set
    std::vector<qint32> snpIds;    // per row: its SNP's id in the shared SNP set
    std::vector<float> stats;      // per row: the layout's statsPerRow() values
    std::vector<qint64> lostCount; // as in ResultsRange, lines numbered within the range
    std::vector<qint64> lostFirst;
    std::optional<ResultsLineError> error; // the first bad line; parsing stopped there
    bool readFailed = false;               // the file could not be read

private:
    friend class ParallelResults;
    struct Name {
        size_t hash;
        const char *data;
        qsizetype size;
    };
    QByteArray m_bytes; // the range's lines, which the names point into until they are interned
    std::vector<Name> m_traits;
    std::vector<Name> m_snps;
    std::exception_ptr m_exception;               // thrown while parsing
    std::vector<std::exception_ptr> m_partFailed; // per part: thrown while interning
    std::atomic<int> m_partsDone = 0;
};

// Reads the data lines of a plain results file on worker threads, two per part of the shared
// name sets. Bytes [layout.dataBegin, fileSize) are cut every `rangeBytes`; the parsing workers
// each parse the next range not begun, and interning worker p interns the names of part p of
// every range, in file order: no name set is shared by two threads and the names are not
// joined on one thread afterwards. The ids depend on the number of parts only, never on timing.
// At most parts + 1 ranges are begun beyond the one taken last, so memory stays bounded
// whatever the file's size. The hand-offs are ordered work queues.
class ParallelResults final
{
public:
    ParallelResults(QString path, ResultsLayout layout, qint64 fileSize, qint64 rangeBytes,
                    SplitNameSet &traits, SplitNameSet &snps);
    ~ParallelResults(); // stops and joins the workers (std::jthread)
    ParallelResults(const ParallelResults &) = delete;
    ParallelResults &operator=(const ParallelResults &) = delete;

    qint64 count() const { return m_count; }
    // Byte offset where range i starts; cut(count()) is the file's size.
    qint64 cut(qint64 i) const;
    // The next range in file order, waiting for it; at most count() calls. An exception thrown
    // while reading it (std::bad_alloc) is thrown here; then the name sets are no longer whole.
    std::shared_ptr<ParsedRange> next();
    // Gives a range back once its rows are stored: its memory serves a later range.
    void recycle(std::shared_ptr<ParsedRange> range);

private:
    using Range = std::shared_ptr<ParsedRange>;
    void parseRanges(const std::stop_token &stop);
    void internRanges(const std::stop_token &stop, int part);
    void parse(qint64 i, ParsedRange &range) const;
    void intern(int part, ParsedRange &range);

    const QString m_path;
    const ResultsLayout m_layout;
    const qint64 m_fileSize;
    const qint64 m_rangeBytes;
    const qint64 m_count;
    SplitNameSet &m_traits;
    SplitNameSet &m_snps;
    const int m_parts;

    std::atomic<qint64> m_parseNext = 0;
    std::vector<std::unique_ptr<WorkQueue<Range>>> m_toIntern; // per part: ranges parsed
    WorkQueue<Range> m_interned;         // ranges interned in every part, to be taken by next()
    WorkQueue<Range> m_free;             // recycled
    std::vector<std::jthread> m_threads; // last: stopped and joined first
};

} // namespace quillmap
