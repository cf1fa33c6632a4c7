#include "import/runspill.h"

#include "dataset/resultrecord.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <queue>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace quillmap {

namespace {

constexpr qint64 BufferBytes = qint64(1) << 20;

// Writes through a buffer; every write checked.
class RunWriter
{
public:
    explicit RunWriter(const QString &path)
        : m_file(path)
    {
    }
    bool open() { return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate); }
    bool write(const void *data, qint64 size)
    {
        if (qint64(m_buffer.size()) + size > BufferBytes && !flush())
            return false;
        const char *p = static_cast<const char *>(data);
        m_buffer.insert(m_buffer.end(), p, p + size);
        return true;
    }
    bool flush()
    {
        if (m_buffer.empty())
            return m_ok;
        m_ok = m_ok && m_file.write(m_buffer.data(), qint64(m_buffer.size())) == qint64(m_buffer.size());
        m_buffer.clear();
        return m_ok;
    }
    bool close()
    {
        const bool ok = flush() && m_file.flush() && m_file.error() == QFileDevice::NoError;
        m_file.close();
        return ok;
    }

private:
    QFile m_file;
    std::vector<char> m_buffer;
    bool m_ok = true;
};

// Reads fixed-size records through a buffer.
class RunReader
{
public:
    RunReader(const QString &path, qint64 recordSize)
        : m_file(path),
          m_size(recordSize)
    {
    }
    bool open() { return m_file.open(QIODevice::ReadOnly); }
    // The next record, or null at the end; failed() tells a read error from the end.
    const char *next()
    {
        if (m_pos + m_size > qint64(m_buffer.size())) {
            m_buffer.erase(m_buffer.begin(), m_buffer.begin() + m_pos);
            m_pos = 0;
            const qint64 have = qint64(m_buffer.size());
            const qint64 want = std::max(BufferBytes, m_size) - have;
            m_buffer.resize(size_t(have + want));
            const qint64 got = m_file.read(m_buffer.data() + have, want);
            m_buffer.resize(size_t(have + std::max<qint64>(got, 0)));
            if (got < 0)
                m_failed = true;
            if (m_size > qint64(m_buffer.size())) {
                m_failed = m_failed || !m_buffer.empty();
                return nullptr;
            }
        }
        const char *record = m_buffer.data() + m_pos;
        m_pos += m_size;
        return record;
    }
    bool failed() const { return m_failed; }

private:
    QFile m_file;
    qint64 m_size;
    std::vector<char> m_buffer;
    qint64 m_pos = 0;
    bool m_failed = false;
};

constexpr char RawKind[] = "rows";
constexpr char TraitKind[] = "trait";
constexpr char BinKind[] = "bin";

} // namespace

RunSpill::~RunSpill()
{
    clear();
}

void RunSpill::clear()
{
    for (const QString &path : m_files)
        QFile::remove(path);
    m_files.clear();
    m_runs.clear();
    m_rows = 0;
}

void RunSpill::start(const QString &folder, int statsPerRow)
{
    clear();
    m_folder = folder;
    m_statsPerRow = statsPerRow;
    m_extra = statsPerRow - 1;
    m_errorPath.clear();
    m_traitIndex.clear();
    m_snpIndex.clear();
    // Left by an import that was killed; the folder's lock says no import is using them.
    QDir dir(folder);
    const QStringList stale = dir.entryList({QStringLiteral(".quillmap-run-*")}, QDir::Files | QDir::Hidden);
    for (const QString &name : stale)
        dir.remove(name);
}

QString RunSpill::runPath(const char *kind, size_t run) const
{
    return QStringLiteral("%1/.quillmap-run-%2-%3.tmp").arg(m_folder, QLatin1String(kind)).arg(run);
}

bool RunSpill::fail(const QString &path)
{
    m_errorPath = path;
    return false;
}

bool RunSpill::addRun(qint64 count, const RowAt &row)
{
    const QString path = runPath(RawKind, m_runs.size());
    m_files.push_back(path);
    RunWriter out(path);
    if (!out.open())
        return fail(path);
    for (qint64 i = 0; i < count; ++i) {
        qint32 ids[2];
        const float *stats = nullptr;
        row(i, ids[0], ids[1], stats);
        if (!out.write(ids, sizeof ids) || !out.write(stats, qint64(sizeof(float)) * m_statsPerRow))
            return fail(path);
    }
    if (!out.close())
        return fail(path);
    m_runs.push_back(count);
    m_rows += count;
    return true;
}

void RunSpill::setIndexes(std::vector<qint32> traitIndex, std::vector<qint32> snpIndex)
{
    m_traitIndex = std::move(traitIndex);
    m_snpIndex = std::move(snpIndex);
}

bool RunSpill::sortRuns(const std::vector<qint16> &bins, std::vector<qint64> &traitCounts,
                        std::vector<qint64> &binCounts)
{
    const qint64 rowBytes = 8 + qint64(sizeof(float)) * m_statsPerRow;
    const qint64 recordBytes = recordSize(m_extra);
    std::vector<char> record(static_cast<size_t>(recordBytes));
    std::vector<float> stats(static_cast<size_t>(m_statsPerRow));
    for (size_t run = 0; run < m_runs.size(); ++run) {
        const qint64 rows = m_runs[run];
        std::vector<char> data(size_t(rows * rowBytes));
        {
            const QString path = runPath(RawKind, run);
            QFile in(path);
            if (!in.open(QIODevice::ReadOnly)
                || in.read(data.data(), qint64(data.size())) != qint64(data.size()))
                return fail(path);
        }
        // Final indexes in place of the provisional ids, in the run's own buffer.
        auto idAt = [&](qint64 r, int k) {
            qint32 id;
            std::memcpy(&id, data.data() + r * rowBytes + 4 * k, sizeof id);
            return id;
        };
        for (qint64 r = 0; r < rows; ++r) {
            const qint32 ids[2] = {m_traitIndex[size_t(idAt(r, 0))], m_snpIndex[size_t(idAt(r, 1))]};
            std::memcpy(data.data() + r * rowBytes, ids, sizeof ids);
        }
        std::vector<qint32> order(static_cast<size_t>(rows));
        // A stable counting sort, as the tables are sorted without a limit.
        auto sortAndWrite = [&](const char *kind, size_t keys, auto keyOf, std::vector<qint64> &counts) {
            std::vector<qint64> next(keys + 1, 0);
            for (qint64 r = 0; r < rows; ++r)
                ++next[keyOf(r) + 1];
            for (size_t k = 0; k < keys; ++k)
                counts[k] += next[k + 1];
            for (size_t k = 1; k <= keys; ++k)
                next[k] += next[k - 1];
            for (qint64 r = 0; r < rows; ++r)
                order[size_t(next[keyOf(r)]++)] = qint32(r);
            const QString path = runPath(kind, run);
            m_files.push_back(path);
            RunWriter out(path);
            if (!out.open())
                return fail(path);
            // The order jumps about the run: fetch a few rows ahead.
            constexpr qint64 Ahead = 16;
            for (qint64 i = 0; i < rows; ++i) {
                if (i + Ahead < rows)
                    __builtin_prefetch(data.data() + qint64(order[size_t(i + Ahead)]) * rowBytes);
                const qint64 r = order[size_t(i)];
                std::memcpy(stats.data(), data.data() + r * rowBytes + 8, stats.size() * sizeof(float));
                encodeRecord(record.data(), {idAt(r, 0), idAt(r, 1), stats[0]}, stats.data() + 1, m_extra);
                if (!out.write(record.data(), recordBytes))
                    return fail(path);
            }
            return out.close() || fail(path);
        };
        if (!sortAndWrite(
                TraitKind, traitCounts.size(), [&](qint64 r) { return size_t(idAt(r, 0)); }, traitCounts))
            return false;
        if (!sortAndWrite(
                BinKind, binCounts.size(),
                [&](qint64 r) { return size_t(int(bins[size_t(idAt(r, 1))]) + 32768); }, binCounts))
            return false;
        QFile::remove(runPath(RawKind, run));
    }
    return true;
}

bool RunSpill::merge(bool byTrait, const std::vector<qint16> &bins, const RecordSink &write)
{
    const qint64 recordBytes = recordSize(m_extra);
    const char *kind = byTrait ? TraitKind : BinKind;
    std::vector<std::unique_ptr<RunReader>> readers;
    std::vector<const char *> heads;
    auto keyOf = [&](const char *record) -> qint64 {
        if (byTrait)
            return qFromBigEndian<qint32>(record);
        return bins[size_t(qFromBigEndian<qint32>(record + 4))];
    };
    // Smallest key first; among equal keys the earlier run, so rows keep their file order.
    using Entry = std::pair<qint64, size_t>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue;
    for (size_t run = 0; run < m_runs.size(); ++run) {
        readers.push_back(std::make_unique<RunReader>(runPath(kind, run), recordBytes));
        if (!readers.back()->open())
            return fail(runPath(kind, run));
        heads.push_back(readers.back()->next());
        if (heads.back())
            queue.emplace(keyOf(heads.back()), run);
        else if (readers.back()->failed())
            return fail(runPath(kind, run));
    }
    while (!queue.empty()) {
        const size_t run = queue.top().second;
        queue.pop();
        if (!write(QByteArrayView(heads[run], recordBytes)))
            return false;
        heads[run] = readers[run]->next();
        if (heads[run])
            queue.emplace(keyOf(heads[run]), run);
        else if (readers[run]->failed())
            return fail(runPath(kind, run));
    }
    return true;
}

qint64 importBytesPerRow(int statsPerRow)
{
    // Trait and SNP id, the statistics, and the row's place in the sort order.
    return 8 + 4 * qint64(statsPerRow) + 4;
}

qint64 defaultImportMemory()
{
    qint64 physical = 0;
#ifdef Q_OS_UNIX
    physical = qint64(sysconf(_SC_PHYS_PAGES)) * qint64(sysconf(_SC_PAGESIZE));
#endif
    return defaultImportMemory(physical);
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
