#include "import/parallelresults.h"

#include "io/linereader.h"

#include <algorithm>
#include <cstring>

namespace quillmap {

ParallelResults::ParallelResults(QString path, ResultsLayout layout, qint64 fileSize, qint64 rangeBytes,
                                 SplitNameSet &traits, SplitNameSet &snps)
    : m_path(std::move(path)),
      m_layout(std::move(layout)),
      m_fileSize(fileSize),
      m_rangeBytes(std::max<qint64>(rangeBytes, 1)),
      m_count((std::max<qint64>(fileSize - m_layout.dataBegin, 0) + m_rangeBytes - 1) / m_rangeBytes),
      m_traits(traits),
      m_snps(snps),
      m_parts(traits.parts()),
      m_interned(size_t(m_parts) + 1),
      m_free(size_t(m_parts) + 2) // every range there is: those begun and the one taken
{
    // A part's queue has room for every range begun: none is taken from m_interned before each
    // part has taken it.
    for (int p = 0; p < m_parts; ++p)
        m_toIntern.push_back(std::make_unique<WorkQueue<Range>>(size_t(m_parts) + 1));
    for (int p = 0; p < m_parts; ++p)
        m_threads.emplace_back([this, p](std::stop_token stop) { internRanges(stop, p); });
    for (int p = 0; p < m_parts; ++p)
        m_threads.emplace_back([this](std::stop_token stop) { parseRanges(stop); });
}

ParallelResults::~ParallelResults() = default;

qint64 ParallelResults::cut(qint64 i) const
{
    return std::min(m_layout.dataBegin + i * m_rangeBytes, m_fileSize);
}

std::shared_ptr<ParsedRange> ParallelResults::next()
{
    Range range = m_interned.take();
    if (range->m_exception)
        std::rethrow_exception(range->m_exception);
    return range;
}

void ParallelResults::recycle(std::shared_ptr<ParsedRange> range)
{
    m_free.put(std::move(range), std::stop_token());
}

void ParallelResults::parseRanges(const std::stop_token &stop)
{
    for (;;) {
        const qint64 i = m_parseNext++;
        if (i >= m_count || !m_interned.waitForRoom(i, stop))
            return;
        Range range = m_free.tryTake().value_or(nullptr);
        std::exception_ptr exception;
        try {
            if (!range)
                range = std::make_shared<ParsedRange>();
            range->m_partFailed.assign(size_t(m_parts), nullptr);
            range->m_partsDone = 0;
            parse(i, *range);
        } catch (...) {
            exception = std::current_exception();
        }
        if (!range) // not even the range could be had: a bare one carries the failure
            range = std::make_shared<ParsedRange>();
        range->m_exception = exception;
        for (const std::unique_ptr<WorkQueue<Range>> &part : m_toIntern) {
            if (!part->put(i, range, stop))
                return;
        }
    }
}

void ParallelResults::internRanges(const std::stop_token &stop, int part)
{
    for (qint64 i = 0;; ++i) {
        std::optional<Range> taken = m_toIntern[size_t(part)]->take(stop);
        if (!taken)
            return;
        ParsedRange &range = **taken;
        if (!range.m_exception) {
            try {
                intern(part, range);
            } catch (...) {
                range.m_partFailed[size_t(part)] = std::current_exception();
            }
        }
        if (range.m_partsDone.fetch_add(1, std::memory_order_acq_rel) + 1 < m_parts)
            continue;
        for (const std::exception_ptr &failed : range.m_partFailed) {
            if (!range.m_exception && failed)
                range.m_exception = failed;
        }
        if (!m_interned.put(i, std::move(*taken), stop))
            return;
    }
}

// As parseResultsRange, but the names are only hashed here: the workers intern them afterwards,
// each its own part.
void ParallelResults::parse(qint64 i, ParsedRange &range) const
{
    // A recycled range keeps its buffers' capacity.
    range.lines = 0;
    range.stats.clear();
    range.error.reset();
    range.readFailed = false;
    range.m_traits.clear();
    range.m_snps.clear();
    qint64 start = 0;
    if (!readResultsRangeBytes(m_path, cut(i), cut(i + 1), m_layout, range.m_bytes, start)) {
        range.readFailed = true;
        return;
    }
    const size_t width = size_t(m_layout.statsPerRow());
    range.lostCount.assign(size_t(m_layout.fields), 0);
    range.lostFirst.assign(size_t(m_layout.fields), 0);
    const size_t expected = size_t(range.m_bytes.size() / 32 + 1);
    range.m_traits.reserve(expected);
    range.m_snps.reserve(expected);
    range.stats.reserve(expected * width);
    std::vector<QByteArrayView> fields;
    range.error = forEachRangeLine(range.m_bytes, -1, [&](QByteArrayView line, qint64 n) {
        const size_t filled = range.stats.size();
        range.stats.resize(filled + width);
        std::optional<ResultsLineError> error = parseResultsLine(
            line, n, m_layout, fields, range.stats.data() + filled, range.lostCount, range.lostFirst);
        if (error) {
            range.stats.resize(filled);
            return error;
        }
        range.m_traits.push_back({NameSet::hashOf(fields[0]), fields[0].data(), fields[0].size()});
        range.m_snps.push_back({NameSet::hashOf(fields[1]), fields[1].data(), fields[1].size()});
        return error;
    });
    range.lines = qint64(range.m_traits.size());
    range.traitIds.resize(size_t(range.lines));
    range.snpIds.resize(size_t(range.lines));
}

void ParallelResults::intern(int part, ParsedRange &range)
{
    // Slots are fetched well ahead of their probe and the names they point at a little later
    // (see NameSet); only this part's names are looked at.
    constexpr size_t SlotAhead = 32;
    constexpr size_t NameAhead = 16;
    NameSet &traits = m_traits.part(part);
    NameSet &snps = m_snps.part(part);
    const std::vector<ParsedRange::Name> &snpNames = range.m_snps;
    const std::vector<ParsedRange::Name> &traitNames = range.m_traits;
    const size_t rows = snpNames.size();
    for (size_t r = 0; r < rows; ++r) {
        if (r + SlotAhead < rows && m_snps.partOf(snpNames[r + SlotAhead].hash) == part)
            snps.prefetchSlot(snpNames[r + SlotAhead].hash);
        if (r + NameAhead < rows && m_snps.partOf(snpNames[r + NameAhead].hash) == part)
            snps.prefetchName(snpNames[r + NameAhead].hash);
        const ParsedRange::Name &trait = traitNames[r];
        if (m_traits.partOf(trait.hash) == part)
            range.traitIds[r] = traits.idOf(QByteArrayView(trait.data, trait.size), trait.hash) * m_parts
                + part;
        const ParsedRange::Name &snp = snpNames[r];
        if (m_snps.partOf(snp.hash) == part)
            range.snpIds[r] = snps.idOf(QByteArrayView(snp.data, snp.size), snp.hash) * m_parts + part;
    }
}

} // namespace quillmap
