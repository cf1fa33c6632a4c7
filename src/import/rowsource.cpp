#include "import/rowsource.h"

#include "import/importer.h"
#include "import/nameset.h"
#include "import/parallelresults.h"
#include "import/runspill.h"
#include "io/linereader.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>

namespace quillmap {

namespace {

constexpr qint64 BatchLines = 4096;
qint64 g_rangeBytes = 0; // results bytes per parallel range, set by tests; 0: from the limit

// The rows of a batch a source fills itself, kept until its next batch.
struct BatchRows {
    std::vector<qint32> traitIds;
    std::vector<qint32> snpIds;
    std::vector<float> stats;
    std::vector<qint64> lostCount;
    std::vector<qint64> lostFirst;

    void prepare(qint64 lines, size_t width, size_t fields)
    {
        traitIds.resize(size_t(lines));
        snpIds.resize(size_t(lines));
        stats.resize(size_t(lines) * width);
        lostCount.assign(fields, 0);
        lostFirst.assign(fields, 0);
    }
    void handTo(RowBatch &batch, qint64 lines) const
    {
        batch.lines = lines;
        batch.traitIds = traitIds.data();
        batch.snpIds = snpIds.data();
        batch.stats = stats.data();
        batch.lostCount = &lostCount;
        batch.lostFirst = &lostFirst;
    }
};

// Names are looked up in batches after their lines are parsed (see NamePairBatch); a line's
// bytes live only until the next read, so the batch keeps copies of its names.
class LineSource final : public RowSource
{
public:
    LineSource(const QString &path, LineReader &reader, const ResultsLayout &layout, SplitNameSet &traits,
               SplitNameSet &snps)
        : m_path(path),
          m_reader(reader),
          m_layout(layout),
          m_traits(traits),
          m_snps(snps),
          m_width(size_t(layout.statsPerRow()))
    {
    }

    bool next(RowBatch &batch, qint64 maxLines) override
    {
        if (m_done)
            return false;
        // Batches grow to their full size, so a small file costs no more than its lines.
        const qint64 wanted = std::clamp<qint64>(maxLines, 1, m_batchLines);
        m_batchLines = std::min(2 * m_batchLines, BatchLines);
        m_rows.prepare(wanted, m_width, size_t(m_layout.fields));
        NameSet &traitSet = m_traits.part(0);
        NameSet &snpSet = m_snps.part(0);
        NamePairBatch names;
        qint64 lines = 0;
        qint64 stored = 0;
        auto lookUp = [&] {
            names.lookUp(traitSet, snpSet, [&](size_t, qint32 trait, qint32 snp) {
                m_rows.traitIds[size_t(stored)] = trait;
                m_rows.snpIds[size_t(stored)] = snp;
                ++stored;
            });
        };
        batch = {};
        QByteArrayView line;
        while (lines < wanted && m_reader.readLine(line)) {
            if (auto error = parseResultsLine(line, lines + 1, m_layout, m_fields,
                                              m_rows.stats.data() + size_t(lines) * m_width, m_rows.lostCount,
                                              m_rows.lostFirst)) {
                batch.error = std::move(error);
                m_done = true;
                break;
            }
            ++lines;
            if (names.add(m_fields[0], m_fields[1], snpSet))
                lookUp();
        }
        lookUp();
        if (lines < wanted && !batch.error)
            m_done = true;
        if (lines == 0 && !batch.error)
            return false;
        m_rows.handTo(batch, lines);
        batch.readBefore = batch.readAfter = m_reader.readFraction();
        return true;
    }

    std::optional<ImportError> finish() override
    {
        if (m_reader.failed())
            return ImportError::cannotRead("results", m_path, m_reader);
        m_reader.close();
        return std::nullopt;
    }

private:
    QString m_path;
    LineReader &m_reader;
    const ResultsLayout &m_layout;
    SplitNameSet &m_traits;
    SplitNameSet &m_snps;
    size_t m_width;
    bool m_done = false;
    qint64 m_batchLines = 64;
    std::vector<QByteArrayView> m_fields;
    BatchRows m_rows;
};

// A plain results file parsed in byte ranges on worker threads (ParallelResults) and taken here
// in file order, so rows, lost values and the first bad line come out as from one reader.
class RangeSource final : public RowSource
{
public:
    RangeSource(const QString &path, const ResultsLayout &layout, qint64 fileSize, qint64 rangeBytes,
                SplitNameSet &traits, SplitNameSet &snps)
        : m_path(path),
          m_layout(layout),
          m_fileSize(std::max<qint64>(fileSize, 1)),
          m_reader(path, layout, fileSize, rangeBytes, traits, snps)
    {
    }

    bool next(RowBatch &batch, qint64 maxLines) override
    {
        if (m_range)
            m_reader.recycle(std::move(m_range));
        if (m_taken == m_reader.count() || m_error)
            return false;
        const qint64 i = m_taken++;
        m_range = m_reader.next();
        if (m_range->readFailed) {
            m_error = ImportError::cannotRead("results", m_path);
            return false;
        }
        batch = {};
        batch.lines = m_range->lines;
        batch.traitIds = m_range->traitIds.data();
        batch.snpIds = m_range->snpIds.data();
        batch.stats = m_range->stats.data();
        batch.lostCount = &m_range->lostCount;
        batch.lostFirst = &m_range->lostFirst;
        batch.error = m_range->error;
        batch.readBefore = double(m_reader.cut(i)) / double(m_fileSize);
        batch.readAfter = double(m_reader.cut(i + 1)) / double(m_fileSize);
        if (m_range->lines > maxLines) {
            // Lost values count up to the line beyond the limit, where one reader stops.
            const ResultsRange upTo = parseResultsRange(m_path, m_reader.cut(i), m_reader.cut(i + 1),
                                                        m_layout, maxLines);
            m_lostCount = upTo.lostCount;
            m_lostFirst = upTo.lostFirst;
            batch.lostCount = &m_lostCount;
            batch.lostFirst = &m_lostFirst;
        }
        return true;
    }

private:
    QString m_path;
    ResultsLayout m_layout;
    qint64 m_fileSize;
    ParallelResults m_reader;
    std::shared_ptr<ParsedRange> m_range;
    qint64 m_taken = 0;
    std::vector<qint64> m_lostCount;
    std::vector<qint64> m_lostFirst;
};

class FeedSource final : public RowSource
{
public:
    FeedSource(ResultFeed &feed, qsizetype fields, SplitNameSet &traits, SplitNameSet &snps)
        : m_feed(feed),
          m_fields(fields),
          m_width(std::max<qsizetype>(fields - 2, 0)),
          m_traits(traits),
          m_snps(snps)
    {
    }

    bool next(RowBatch &batch, qint64 maxLines) override
    {
        if (m_done)
            return false;
        const qint64 wanted = std::clamp<qint64>(maxLines, 1, BatchLines);
        m_rows.prepare(wanted, size_t(m_width), size_t(m_fields));
        NameSet &traitSet = m_traits.part(0);
        NameSet &snpSet = m_snps.part(0);
        ResultRow row;
        qint64 n = 0;
        while (n < wanted && m_feed.next(row)) {
            for (qsizetype k = 0; k < m_width; ++k) {
                if (row.lost && row.lost[k] && m_rows.lostCount[size_t(k + 2)]++ == 0)
                    m_rows.lostFirst[size_t(k + 2)] = n + 1;
            }
            // A known id is the set's own id for the name: a name is added at its first row.
            m_rows.traitIds[size_t(n)] = row.traitId >= 0 && row.traitId < traitSet.size()
                ? row.traitId
                : traitSet.idOf(row.trait);
            m_rows.snpIds[size_t(n)] = row.snpId >= 0 && row.snpId < snpSet.size() ? row.snpId
                                                                                   : snpSet.idOf(row.snp);
            std::copy(row.stats, row.stats + m_width, m_rows.stats.begin() + n * m_width);
            ++n;
        }
        m_done = n < wanted;
        if (n == 0)
            return false;
        batch = {};
        m_rows.handTo(batch, n);
        return true;
    }

    std::optional<ImportError> finish() override
    {
        if (m_feed.finish())
            return std::nullopt;
        ImportError error = m_feed.error();
        for (char &c : error.reportLine) {
            if (c == '\n' || c == '\r')
                c = ' ';
        }
        return error;
    }

private:
    ResultFeed &m_feed;
    qsizetype m_fields;
    qsizetype m_width;
    SplitNameSet &m_traits;
    SplitNameSet &m_snps;
    bool m_done = false;
    BatchRows m_rows;
};

bool isCompressed(const QString &path)
{
    QFile probe(path);
    return !probe.open(QIODevice::ReadOnly) || LineReader::isCompressed(probe.read(4));
}

} // namespace

void setImportRangeBytesForTesting(qint64 bytes)
{
    g_rangeBytes = bytes;
}

// A compressed file, a pipe or bytes in memory have no byte ranges.
std::unique_ptr<RowSource> resultsFileSource(const QString &path, LineReader &reader,
                                             const ResultsLayout &layout, bool inMemory, qint64 memoryLimit,
                                             SplitNameSet &traits, SplitNameSet &snps)
{
    const QFileInfo info(path);
    if (g_rangeBytes >= 0 && !inMemory && info.isFile()) {
        std::optional<ResultsLayout> fileLayout = readResultsLayout(path);
        if (fileLayout && fileLayout->fields == layout.fields && !isCompressed(path)) {
            reader.close();
            fileLayout->negLog10 = layout.negLog10;
            // The ranges held at once take a small share of the memory limit.
            const qint64 memory = memoryLimit > 0 ? memoryLimit : defaultImportMemory();
            const qint64 rangeBytes = g_rangeBytes > 0
                ? g_rangeBytes
                : std::clamp<qint64>(memory / 128, qint64(256) << 10, qint64(4) << 20);
            const int threads = std::clamp(QThread::idealThreadCount(), 1, 8);
            traits.reset(threads);
            snps.reset(threads);
            return std::make_unique<RangeSource>(path, *fileLayout, info.size(), rangeBytes, traits, snps);
        }
    }
    traits.reset(1);
    snps.reset(1);
    return std::make_unique<LineSource>(path, reader, layout, traits, snps);
}

std::unique_ptr<RowSource> feedSource(ResultFeed &feed, qsizetype fields, SplitNameSet &traits,
                                      SplitNameSet &snps)
{
    traits.reset(1);
    snps.reset(1);
    return std::make_unique<FeedSource>(feed, fields, traits, snps);
}

} // namespace quillmap
