#include "import/tablewriter.h"

#include "dataset/datasetfiles.h"
#include "dataset/resultrecord.h"
#include "import/rowstore.h"
#include "import/runspill.h"
#include "io/atomicfile.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <exception>
#include <future>
#include <thread>

namespace quillmap {

namespace {

constexpr qint64 ProgressStep = qint64(1) << 16;
constexpr size_t Bins = 65536;
qint64 g_windowBytes = 0;

const char *tableName(bool byTrait)
{
    return byTrait ? files::TraitTable : files::BinTable;
}

const char *countsName(bool byTrait)
{
    return byTrait ? files::TraitCounts : files::BinCounts;
}

// The count file, then both renamed into place.
std::optional<ImportError> commitTable(bool byTrait, AtomicFile &table, AtomicFile &lines,
                                       const NameList &traits, const std::vector<qint64> &counts,
                                       const quint16 *binKeys = nullptr)
{
    writeTableCounts(lines, byTrait, traits, counts.data(), counts.size(), binKeys);
    if (!table.commit())
        return ImportError::cannotWrite(table.path());
    if (!lines.commit())
        return ImportError::cannotWrite(lines.path());
    return std::nullopt;
}

} // namespace

void setTableWindowBytesForTesting(qint64 bytes)
{
    g_windowBytes = std::max<qint64>(bytes, 0);
}

void writeTableCounts(AtomicFile &lines, bool byTrait, const NameList &traits, const qint64 *counts,
                      size_t keys, const quint16 *binKeys)
{
    for (size_t k = 0; k < keys; ++k) {
        if (counts[k] == 0)
            continue;
        const qint64 bin = qint64(binKeys ? binKeys[k] : k) - 32768;
        lines.write(byTrait ? traits.at(qint64(k)) : QByteArrayView(QByteArray::number(bin)));
        lines.write('\t');
        lines.write(QByteArray::number(counts[k]));
        lines.write('\n');
    }
}

std::optional<ImportError> writeBothTables(TableWriter &writer, const ImportProgress &progress,
                                           qint64 records)
{
    std::atomic<qint64> helperWritten{0};
    std::atomic<qint64> ownWritten{0};
    // A thread costs more than the tables of a small import.
    if (records < ProgressStep) {
        std::optional<ImportError> first = writer.writeTable(true, ownWritten);
        std::optional<ImportError> second = writer.writeTable(false, helperWritten);
        return first ? first : second;
    }
    std::packaged_task<std::optional<ImportError>()> task(
        [&] { return writer.writeTable(false, helperWritten); });
    std::future<std::optional<ImportError>> helperDone = task.get_future();
    std::optional<ImportError> own;
    {
        std::jthread helper(std::move(task));
        qint64 reported = 0;
        auto report = [&] {
            const qint64 total = ownWritten.load(std::memory_order_relaxed)
                + helperWritten.load(std::memory_order_relaxed);
            while (progress && reported + ProgressStep <= total) {
                reported += ProgressStep;
                progress(ImportStage::Tables, reported);
            }
        };
        std::exception_ptr ownException;
        try {
            own = writer.writeTable(true, ownWritten);
        } catch (...) {
            ownException = std::current_exception();
        }
        // A small import must not wait out a whole progress tick for the helper.
        while (helperDone.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
            report();
        if (ownException)
            std::rethrow_exception(ownException);
        report();
    }
    std::optional<ImportError> helper = helperDone.get(); // rethrows the helper's exception
    return own ? own : helper;
}

HeldTableWriter::HeldTableWriter(QString folder, const RowStore &rows, const std::vector<qint16> &bins,
                                 const NameList &traits, int extraStats)
    : m_folder(std::move(folder)),
      m_rows(rows),
      m_bins(bins),
      m_traits(traits),
      m_extraStats(extraStats)
{
}

// A counting sort that gathers rows in key order jumps about the row store for every record;
// here the rows are read in file order and each record encoded straight into its place, a
// window of the table at a time, so the memory stays bounded.
std::optional<ImportError> HeldTableWriter::writeTable(bool byTrait, std::atomic<qint64> &written)
{
    const qint64 windowBytes = g_windowBytes > 0 ? g_windowBytes : qint64(1) << 25;
    const qint64 rows = m_rows.size();
    const int extra = m_extraStats;
    const qint64 recordBytes = qint64(recordSize(extra));
    // Bins are keyed densely, but a small import touches few of the 65536: then only the bins
    // it has are keys, in ascending order, so its work follows its rows.
    std::vector<quint16> binKeys;
    std::vector<quint16> usedBins;
    if (!byTrait) {
        binKeys.resize(size_t(rows));
        for (qint64 r = 0; r < rows; ++r)
            binKeys[size_t(r)] = quint16(int(m_bins[size_t(m_rows.snp(r))]) + 32768);
        if (rows < qint64(Bins) / 16) {
            usedBins = binKeys;
            std::sort(usedBins.begin(), usedBins.end());
            usedBins.erase(std::unique(usedBins.begin(), usedBins.end()), usedBins.end());
            for (quint16 &k : binKeys)
                k = quint16(std::lower_bound(usedBins.begin(), usedBins.end(), k) - usedBins.begin());
        }
    }
    const size_t keys = byTrait ? size_t(m_traits.size()) : usedBins.empty() ? Bins : usedBins.size();
    auto key = [&](qint64 r) { return byTrait ? size_t(m_rows.trait(r)) : size_t(binKeys[size_t(r)]); };
    // start[k]: the place of key k's first record; the order within a key is the file's.
    std::vector<qint64> start(keys + 1, 0);
    for (qint64 r = 0; r < rows; ++r)
        ++start[key(r) + 1];
    std::vector<qint64> counts(start.begin() + 1, start.end());
    for (size_t k = 1; k < start.size(); ++k)
        start[k] += start[k - 1];

    AtomicFile table(files::datasetFilePath(m_folder, tableName(byTrait)));
    AtomicFile lines(files::datasetFilePath(m_folder, countsName(byTrait)));
    if (!table.open())
        return ImportError::cannotWrite(table.path());
    if (!lines.open())
        return ImportError::cannotWrite(lines.path());
    // At most 255 windows, so that a byte a row names its window: a table held in memory of
    // more than 255 windows (8 GB at 32 MB) is written in 255ths of it instead.
    constexpr qint64 MostWindows = 255;
    const qint64 window = std::clamp<qint64>(
        std::max(windowBytes / recordBytes, (rows + MostWindows - 1) / MostWindows), 1,
        std::max<qint64>(rows, 1));
    std::vector<char> buffer(size_t(window * recordBytes));
    std::vector<qint64> next(keys);
    // Each row's window, a byte a row, found in one pass: every window's pass then finds its
    // rows eight at a time, instead of placing every row of the table again to find them.
    std::vector<quint8> rowWindow(size_t(rows) + 8, 0xff); // whole words at the end; 0xff is no window
    std::copy(start.begin(), start.end() - 1, next.begin());
    for (qint64 r = 0; r < rows; ++r)
        rowWindow[size_t(r)] = quint8(next[key(r)]++ / window);
    for (qint64 first = 0, w = 0; first < rows; first += window, ++w) {
        const qint64 last = std::min(rows, first + window);
        // A key's rows of this window take its places from the window's start on, in order.
        for (size_t k = 0; k < keys; ++k)
            next[k] = std::max(start[k], first);
        constexpr quint64 Ones = 0x0101010101010101ULL, Low7 = 0x7f7f7f7f7f7f7f7fULL;
        const quint64 pattern = Ones * quint64(w);
        for (qint64 r = 0; r < rows; r += 8) {
            quint64 bytes;
            std::memcpy(&bytes, rowWindow.data() + r, sizeof bytes);
            const quint64 x = bytes ^ pattern; // a zero byte where the row is this window's
            quint64 zero = ~(((x & Low7) + Low7) | x | Low7);
            while (zero) {
                const qint64 row = r + std::countr_zero(zero) / 8;
                zero &= zero - 1;
                const float *stats = m_rows.stats(row);
                encodeRecord(buffer.data() + (next[key(row)]++ - first) * recordBytes,
                             {m_rows.trait(row), m_rows.snp(row), stats[0]}, stats + 1, extra);
            }
        }
        if (!table.write(QByteArrayView(buffer.data(), qsizetype((last - first) * recordBytes))))
            return ImportError::cannotWrite(table.path());
        written.store(last, std::memory_order_relaxed);
    }
    return commitTable(byTrait, table, lines, m_traits, counts, usedBins.empty() ? nullptr : usedBins.data());
}

SpilledTableWriter::SpilledTableWriter(QString folder, RunSpill &spill, const NameList &traits,
                                       int extraStats)
    : m_folder(std::move(folder)),
      m_spill(spill),
      m_traits(traits),
      m_extraStats(extraStats)
{
}

std::optional<ImportError> SpilledTableWriter::writeTable(bool byTrait, std::atomic<qint64> &written)
{
    const qint64 recordBytes = recordSize(m_extraStats);
    AtomicFile table(files::datasetFilePath(m_folder, tableName(byTrait)));
    AtomicFile lines(files::datasetFilePath(m_folder, countsName(byTrait)));
    // Tables as large as a spill that bypassed the page cache would not fit it either.
    if (!table.open(m_spill.bypassesCache() ? AtomicFile::Cache::Bypass : AtomicFile::Cache::Use))
        return ImportError::cannotWrite(table.path());
    if (!lines.open())
        return ImportError::cannotWrite(lines.path());
    bool tableWritten = true;
    const bool merged = m_spill.merge(byTrait, [&](QByteArrayView records) {
        written.fetch_add(records.size() / recordBytes, std::memory_order_relaxed);
        tableWritten = table.write(records);
        return tableWritten;
    });
    if (!merged)
        return ImportError::cannotWrite(tableWritten ? m_spill.runPath(byTrait) : table.path());
    return commitTable(byTrait, table, lines, m_traits, m_spill.counts(byTrait));
}

} // namespace quillmap
