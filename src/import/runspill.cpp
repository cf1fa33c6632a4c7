#include "import/runspill.h"

#include "dataset/resultrecord.h"
#include "import/rowstore.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <thread>

#include <unistd.h>

namespace quillmap {

namespace {

constexpr char RowsKind[] = "rows";
constexpr char TraitKind[] = "trait";
constexpr char BinKind[] = "bin";
constexpr const char *Kinds[3] = {RowsKind, TraitKind, BinKind};
constexpr qint64 CopyBytes = qint64(4) << 20;     // a merge's reads and writes
constexpr qint64 LeastWindow = qint64(256) << 10; // a merge's reads of one run, at the least
constexpr size_t Bins = 65536;

inline void putWord(char *p, quint32 word)
{
    word = qToBigEndian(word);
    std::memcpy(p, &word, sizeof word);
}

// Records of `width` statistics (W > 0: known when compiled, so the copy unrolls).
template <int W>
inline void encodeRow(char *out, qint32 trait, qint32 snp, const float *stats, int width)
{
    putWord(out, quint32(trait));
    putWord(out + 4, quint32(snp));
    const int n = W > 0 ? W : width;
    for (int k = 0; k < n; ++k) {
        quint32 word;
        std::memcpy(&word, stats + k, sizeof word);
        putWord(out + 8 + 4 * k, word);
    }
}

// f(0) on this thread and f(1) on another, at once; an exception of either is rethrown here.
template <typename F>
void inParallel(F &&f)
{
    std::exception_ptr other;
    std::thread helper([&] {
        try {
            f(1);
        } catch (...) {
            other = std::current_exception();
        }
    });
    std::exception_ptr own;
    try {
        f(0);
    } catch (...) {
        own = std::current_exception();
    }
    helper.join();
    if (own)
        std::rethrow_exception(own);
    if (other)
        std::rethrow_exception(other);
}

} // namespace

struct RunSpill::Columns {
    const qint32 *trait = nullptr;
    const qint32 *snp = nullptr;
    const float *stats = nullptr;
    qint64 rows = 0;
};

RunSpill::~RunSpill()
{
    clear();
}

void RunSpill::clear()
{
    for (SpillFile &file : m_files)
        file.close();
    m_blocks.clear();
    m_runs.clear();
    m_traitCounts = {};
    m_binCounts = {};
    m_spilled = 0;
}

void RunSpill::start(const QString &folder, int statsPerRow)
{
    clear();
    m_folder = folder;
    m_statsPerRow = statsPerRow;
    m_bypassCache = true;
    m_errorPath.clear();
    m_traitIndex.clear();
    m_snpIndex.clear();
    // Left by an import that was killed; the folder's lock says no import is using them.
    QDir dir(folder);
    const QStringList stale = dir.entryList({QStringLiteral(".quillmap-run-*")}, QDir::Files | QDir::Hidden);
    for (const QString &name : stale)
        dir.remove(name);
}

QString RunSpill::filePath(const char *kind) const
{
    return QStringLiteral("%1/.quillmap-run-%2.tmp").arg(m_folder, QLatin1String(kind));
}

bool RunSpill::fail(const QString &path)
{
    m_errorPath = path;
    return false;
}

bool RunSpill::openFile(int which)
{
    const QString path = filePath(Kinds[which]);
    return m_files[which].create(path, m_bypassCache) || fail(path);
}

bool RunSpill::addRows(const RowStore &rows)
{
    const qint64 n = rows.size();
    if (n == 0)
        return true;
    if (!m_files[0].isOpen() && !openFile(0))
        return false;
    const qint64 base = m_files[0].size();
    const qint64 width = m_statsPerRow;
    SpillFile &file = m_files[0];
    bool ok = true;
    // The block's trait ids, then its SNP ids, then its statistics.
    for (int column = 0; column < 3; ++column) {
        rows.forEachChunk([&](const qint32 *trait, const qint32 *snp, const float *stats, qint64 k) {
            ok = ok
                && (column == 0       ? file.append(trait, 4 * k)
                        : column == 1 ? file.append(snp, 4 * k)
                                      : file.append(stats, 4 * width * k));
        });
    }
    if (!ok)
        return fail(filePath(RowsKind));
    m_blocks.emplace_back(base, n);
    m_spilled += n;
    return true;
}

void RunSpill::setIndexes(std::vector<qint32> traitIndex, std::vector<qint32> snpIndex)
{
    m_traitIndex = std::move(traitIndex);
    m_snpIndex = std::move(snpIndex);
}

bool RunSpill::readRows(qint64 first, qint64 count, qint32 *trait, qint32 *snp, float *stats)
{
    const qint64 width = m_statsPerRow;
    SpillFile::Reader reader(m_files[0], CopyBytes);
    qint64 blockFirst = 0;
    for (const auto &[offset, rows] : m_blocks) {
        const qint64 from = std::max(first, blockFirst);
        const qint64 to = std::min(first + count, blockFirst + rows);
        if (from < to) {
            const qint64 local = from - blockFirst;
            const qint64 n = to - from;
            const qint64 at = from - first;
            if (!reader.read(trait + at, 4 * n, offset + 4 * local)
                || !reader.read(snp + at, 4 * n, offset + 4 * rows + 4 * local)
                || !reader.read(stats + width * at, 4 * width * n, offset + 8 * rows + 4 * width * local))
                return fail(filePath(RowsKind));
        }
        blockFirst += rows;
    }
    return true;
}

bool RunSpill::sortRun(const std::vector<Columns> &spans, qint64 rows, const std::vector<qint16> &bins,
                       qint64 traitCount, std::vector<char> (&sorted)[2])
{
    const int width = m_statsPerRow;
    const qint64 recordBytes = recordSize(width - 1);
    for (std::vector<char> &copy : sorted) {
        if (qint64(copy.size()) < rows * recordBytes)
            copy.resize(size_t(rows * recordBytes));
    }
    Run run;
    run.offset = m_files[1].size();
    // One order's sorted copy of the run, appended to its file; the two orders share nothing
    // they write, so they are made at once.
    auto sortBy = [&](int table) {
        const size_t keys = table == 0 ? size_t(traitCount) : Bins;
        auto keyOf = [&](const Columns &c, qint64 i) {
            return table == 0 ? size_t(c.trait[i]) : size_t(int(bins[size_t(c.snp[i])]) + 32768);
        };
        std::vector<qint64> next(keys + 1, 0);
        for (const Columns &c : spans) {
            for (qint64 i = 0; i < c.rows; ++i)
                ++next[keyOf(c, i) + 1];
        }
        std::vector<qint64> &totals = table == 0 ? m_traitCounts : m_binCounts;
        for (size_t k = 0; k < keys; ++k) {
            if (next[k + 1] > 0) {
                run.keys[table].emplace_back(qint32(k), next[k + 1]);
                totals[k] += next[k + 1];
            }
        }
        for (size_t k = 1; k <= keys; ++k)
            next[k] += next[k - 1];
        // Rows read in their order and written to their places: stable within a key, and the
        // reads run straight through memory.
        auto scatter = [&]<int W>() {
            char *out = sorted[table].data();
            for (const Columns &c : spans) {
                for (qint64 i = 0; i < c.rows; ++i)
                    encodeRow<W>(out + next[keyOf(c, i)]++ * recordBytes, c.trait[i], c.snp[i],
                                 c.stats + i * width, width);
            }
        };
        switch (width) {
        case 1:
            scatter.template operator()<1>();
            break;
        case 2:
            scatter.template operator()<2>();
            break;
        case 3:
            scatter.template operator()<3>();
            break;
        default:
            scatter.template operator()<0>();
            break;
        }
        return m_files[1 + table].append(sorted[table].data(), rows * recordBytes);
    };
    bool written[2] = {false, false};
    inParallel([&](int table) { written[table] = sortBy(table); });
    for (int table = 0; table < 2; ++table) {
        if (!written[table])
            return fail(filePath(Kinds[1 + table]));
    }
    m_runs.push_back(std::move(run));
    return true;
}

bool RunSpill::sortRuns(RowStore &held, qint64 runRows, const std::vector<qint16> &bins, qint64 traitCount)
{
    m_traitCounts.assign(size_t(traitCount), 0);
    m_binCounts.assign(Bins, 0);
    if ((!m_files[1].isOpen() && !openFile(1)) || (!m_files[2].isOpen() && !openFile(2)))
        return false;
    if (m_spilled > 0 && !m_files[0].finishAppending())
        return fail(filePath(RowsKind));
    std::vector<char> sorted[2];
    // The rows held come after every spilled row, but are sorted first, to release them before
    // the spilled runs are read.
    const bool heldRun = held.size() > 0;
    if (heldRun) {
        std::vector<Columns> spans;
        held.forEachChunk([&](const qint32 *trait, const qint32 *snp, const float *stats, qint64 n) {
            spans.push_back({trait, snp, stats, n});
        });
        if (!sortRun(spans, held.size(), bins, traitCount, sorted))
            return false;
        held.reset(held.statsPerRow());
    }
    if (m_spilled > 0) {
        const qint64 runs = (m_spilled + runRows - 1) / std::max<qint64>(runRows, 1);
        const qint64 perRun = (m_spilled + runs - 1) / runs;
        const auto trait = std::make_unique_for_overwrite<qint32[]>(size_t(perRun));
        const auto snp = std::make_unique_for_overwrite<qint32[]>(size_t(perRun));
        const auto stats = std::make_unique_for_overwrite<float[]>(size_t(perRun) * size_t(m_statsPerRow));
        for (qint64 first = 0; first < m_spilled; first += perRun) {
            const Columns columns{trait.get(), snp.get(), stats.get(), std::min(perRun, m_spilled - first)};
            if (!readRows(first, columns.rows, trait.get(), snp.get(), stats.get()))
                return false;
            // The final indexes, half the rows on each thread; a rows file changed under the
            // import fails it.
            bool valid[2] = {true, true};
            inParallel([&](int half) {
                const qint64 from = half == 0 ? 0 : columns.rows / 2;
                const qint64 to = half == 0 ? columns.rows / 2 : columns.rows;
                for (qint64 i = from; i < to; ++i) {
                    const size_t t = size_t(quint32(trait[size_t(i)]));
                    const size_t s = size_t(quint32(snp[size_t(i)]));
                    if (t >= m_traitIndex.size() || s >= m_snpIndex.size()) {
                        valid[half] = false;
                        return;
                    }
                    trait[size_t(i)] = m_traitIndex[t];
                    snp[size_t(i)] = m_snpIndex[s];
                }
            });
            if (!valid[0] || !valid[1])
                return fail(filePath(RowsKind));
            if (!sortRun({columns}, columns.rows, bins, traitCount, sorted))
                return false;
        }
    }
    if (heldRun)
        std::rotate(m_runs.begin(), m_runs.begin() + 1, m_runs.end());
    m_files[0].close();
    m_blocks.clear();
    for (int k = 1; k < 3; ++k) {
        if (!m_files[k].finishAppending())
            return fail(filePath(Kinds[k]));
    }
    return true;
}

QString RunSpill::runPath(bool byTrait) const
{
    return filePath(byTrait ? TraitKind : BinKind);
}

bool RunSpill::merge(bool byTrait, const BlockSink &write)
{
    const int table = byTrait ? 0 : 1;
    SpillFile &file = m_files[1 + table];
    const qint64 recordBytes = recordSize(m_statsPerRow - 1);
    const qint64 capacity = std::max<qint64>(1, CopyBytes / recordBytes) * recordBytes;
    std::vector<char> buffer(static_cast<size_t>(capacity));
    qint64 filled = 0;
    std::vector<size_t> cursor(m_runs.size(), 0);
    // Each run is read front to back, through a window of its own.
    std::vector<SpillFile::Reader> readers;
    readers.reserve(m_runs.size());
    const qint64 window = std::max(LeastWindow, CopyBytes / qint64(std::max<size_t>(m_runs.size(), 1)));
    for (size_t r = 0; r < m_runs.size(); ++r)
        readers.emplace_back(file, window);
    std::vector<qint64> offset(m_runs.size());
    for (size_t r = 0; r < m_runs.size(); ++r)
        offset[r] = m_runs[r].offset;
    const std::vector<qint64> &totals = counts(byTrait);
    for (size_t k = 0; k < totals.size(); ++k) {
        if (totals[k] == 0)
            continue;
        // This key's records: run 0's, then run 1's, ...
        for (size_t r = 0; r < m_runs.size(); ++r) {
            const auto &keys = m_runs[r].keys[table];
            if (cursor[r] >= keys.size() || size_t(keys[cursor[r]].first) != k)
                continue;
            qint64 bytes = keys[cursor[r]++].second * recordBytes;
            while (bytes > 0) {
                if (filled == capacity) {
                    if (!write(QByteArrayView(buffer.data(), qsizetype(filled))))
                        return false;
                    filled = 0;
                }
                const qint64 take = std::min(bytes, capacity - filled);
                if (!file.isOpen() || !readers[r].read(buffer.data() + filled, take, offset[r]))
                    return false;
                offset[r] += take;
                filled += take;
                bytes -= take;
            }
        }
    }
    if (filled > 0 && !write(QByteArrayView(buffer.data(), qsizetype(filled))))
        return false;
    // The other order still needs its runs; this one's are done.
    file.close();
    return true;
}

qint64 importBytesPerRow(int statsPerRow)
{
    // Trait and SNP id, the statistics, and the row's place in the sort order.
    return 8 + 4 * qint64(statsPerRow) + 4;
}

qint64 physicalMemory()
{
    qint64 physical = 0;
#ifdef Q_OS_UNIX
    physical = qint64(sysconf(_SC_PHYS_PAGES)) * qint64(sysconf(_SC_PAGESIZE));
#endif
    return physical;
}

qint64 defaultImportMemory()
{
    return defaultImportMemory(physicalMemory());
}

bool spillBypassesCache(qint64 spillBytes, qint64 physicalBytes)
{
    return spillBytes > physicalBytes / 16;
}

qint64 defaultImportMemory(qint64 physicalBytes)
{
    return std::clamp(physicalBytes / 4, qint64(256) << 20, qint64(2) << 30);
}

qint64 parseMemorySize(QByteArrayView text)
{
    if (text.isEmpty())
        return -1;
    int shift = 0;
    switch (text.back()) {
    case 'K':
    case 'k':
        shift = 10;
        break;
    case 'M':
    case 'm':
        shift = 20;
        break;
    case 'G':
    case 'g':
        shift = 30;
        break;
    case 'T':
    case 't':
        shift = 40;
        break;
    default:
        break;
    }
    if (shift)
        text.chop(1);
    if (text.isEmpty() || text.size() > 12)
        return -1;
    qint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    if (value <= 0 || value > (qint64(1) << (62 - shift)))
        return -1;
    return value << shift;
}

} // namespace quillmap
