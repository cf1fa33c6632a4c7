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
      m_internNext(size_t(traits.parts()), 0)
{
    for (int p = 0; p < m_parts; ++p)
        m_threads.emplace_back([this, p](std::stop_token stop) { work(stop, p); });
}

ParallelResults::~ParallelResults() = default;

qint64 ParallelResults::cut(qint64 i) const
{
    return std::min(m_layout.dataBegin + i * m_rangeBytes, m_fileSize);
}

std::unique_ptr<ParsedRange> ParallelResults::next()
{
    std::unique_lock lock(m_mutex);
    m_ready.wait(lock, [this] {
        const auto it = m_ranges.find(m_taken);
        return it != m_ranges.end() && it->second->m_partsDone == m_parts;
    });
    std::unique_ptr<ParsedRange> range = std::move(m_ranges.extract(m_taken).mapped());
    ++m_taken;
    ++m_changes;
    lock.unlock();
    m_work.notify_all();
    if (range->m_exception)
        std::rethrow_exception(range->m_exception);
    return range;
}

void ParallelResults::recycle(std::unique_ptr<ParsedRange> range)
{
    const std::lock_guard lock(m_mutex);
    m_free.push_back(std::move(range));
}

void ParallelResults::work(const std::stop_token &stop, int part)
{
    std::unique_lock lock(m_mutex);
    while (!stop.stop_requested()) {
        const auto it = m_ranges.find(m_internNext[size_t(part)]);
        if (it != m_ranges.end() && it->second->m_parsed) {
            ParsedRange &range = *it->second;
            const bool failed = bool(range.m_exception);
            lock.unlock();
            std::exception_ptr exception;
            if (!failed) {
                try {
                    intern(part, range);
                } catch (...) {
                    exception = std::current_exception();
                }
            }
            lock.lock();
            if (exception && !range.m_exception)
                range.m_exception = exception;
            ++m_internNext[size_t(part)];
            if (++range.m_partsDone == m_parts)
                m_ready.notify_all();
            continue;
        }
        if (m_parseNext < m_count && m_parseNext <= m_taken + m_parts) {
            const qint64 i = m_parseNext++;
            std::unique_ptr<ParsedRange> fresh;
            if (m_free.empty()) {
                fresh = std::make_unique<ParsedRange>();
            } else {
                fresh = std::move(m_free.back());
                m_free.pop_back();
                fresh->m_exception = {};
                fresh->m_parsed = false;
                fresh->m_partsDone = 0;
            }
            ParsedRange &range = *m_ranges.emplace(i, std::move(fresh)).first->second;
            lock.unlock();
            std::exception_ptr exception;
            try {
                parse(i, range);
            } catch (...) {
                exception = std::current_exception();
            }
            lock.lock();
            range.m_exception = exception;
            range.m_parsed = true;
            ++m_changes;
            m_work.notify_all();
            continue;
        }
        const quint64 seen = m_changes;
        m_work.wait(lock, stop, [&] { return m_changes != seen; });
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
