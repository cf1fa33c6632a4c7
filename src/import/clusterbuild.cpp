#include "import/clusterbuild.h"

#include "import/snpbinning.h"

#include "dataset/positionbin.h"
#include "dataset/resultrecord.h"
#include "io/linereader.h"
#include "import/nameset.h"
#include "import/numberparse.h"
#include "io/atomicfile.h"
#include "io/positionedio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quillmap {
namespace {

constexpr size_t Bins = 65536;

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

QString workFile(const QString &work, const QString &name)
{
    return work + QLatin1Char('/') + name;
}

QString rangeFile(const QString &work, int range, const char *kind)
{
    return workFile(work, QStringLiteral("range-%1.%2").arg(range).arg(QLatin1String(kind)));
}

int cannotWrite(const QString &path)
{
    std::fprintf(stderr, "quillmap-index: error : can't write the file %s!\n", qPrintable(path));
    return 3;
}

int cannotRead(const QString &path)
{
    std::fprintf(stderr, "quillmap-index: error : can't read the file %s to its end!\n", qPrintable(path));
    return 2;
}

// A step's output. Not synced: a work file lost to a crash costs a rerun of the job, never a
// dataset file.
bool writeWhole(const QString &path, QByteArrayView bytes)
{
    return AtomicFile::writeWhole(path, bytes, nullptr, AtomicFile::Sync::Unsynced);
}

QByteArrayView bytesOf(const void *data, size_t size)
{
    return {static_cast<const char *>(data), qsizetype(size)};
}

bool readWhole(const QString &path, QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bytes = file.readAll();
    return file.error() == QFile::NoError;
}

// "key value" lines; the value is the rest of the line.
QMultiHash<QByteArray, QByteArray> readMeta(const QByteArray &bytes)
{
    QMultiHash<QByteArray, QByteArray> meta;
    forEachLine(bytes, [&meta](const char *p, qsizetype n) {
        const QByteArrayView line(p, n);
        const qsizetype blank = line.indexOf(' ');
        if (blank > 0)
            meta.insert(line.first(blank).toByteArray(), line.sliced(blank + 1).toByteArray());
    });
    return meta;
}

template <typename T>
bool readArray(const QString &path, std::vector<T> &values)
{
    QByteArray bytes;
    if (!readWhole(path, bytes) || bytes.size() % qsizetype(sizeof(T)) != 0)
        return false;
    values.resize(size_t(bytes.size()) / sizeof(T));
    if (!values.empty())
        std::memcpy(values.data(), bytes.constData(), size_t(bytes.size()));
    return true;
}

template <typename T>
QByteArrayView bytesOf(const std::vector<T> &values)
{
    return {reinterpret_cast<const char *>(values.data()), qsizetype(values.size() * sizeof(T))};
}

std::vector<std::string_view> splitNames(const QByteArray &list)
{
    std::vector<std::string_view> names;
    const char *p = list.constData();
    const char *end = p + list.size();
    while (p < end) {
        const char *nl = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
        if (!nl)
            nl = end;
        names.emplace_back(p, size_t(nl - p));
        p = nl + 1;
    }
    return names;
}

// A range's local name ids -> final indexes, as the names step wrote them.
struct RangeMap {
    std::vector<qint32> ids;
    const qint32 *trait = nullptr;
    const qint32 *snp = nullptr;
    qint32 traits = 0;
    qint32 snps = 0;
};

bool readRangeMap(const QString &work, int range, RangeMap &map)
{
    std::vector<qint32> &ids = map.ids;
    if (!readArray(rangeFile(work, range, "map"), ids) || ids.empty() || ids[0] < 0)
        return false;
    const size_t traits = size_t(ids[0]);
    if (ids.size() < traits + 2 || ids[traits + 1] < 0 || ids.size() != traits + 2 + size_t(ids[traits + 1]))
        return false;
    map.traits = qint32(traits);
    map.snps = ids[traits + 1];
    map.trait = ids.data() + 1;
    map.snp = ids.data() + traits + 2;
    return true;
}

// A range's records per key: trait indexes, then bins + 32768 after `traitCount`.
bool rangeKeyCounts(const QString &work, int range, qint64 traitCount, const std::vector<qint16> &bins,
                    std::vector<qint64> &keys)
{
    RangeMap map;
    std::vector<qint64> counts;
    if (!readRangeMap(work, range, map) || !readArray(rangeFile(work, range, "counts"), counts)
        || counts.size() != size_t(map.traits) + size_t(map.snps))
        return false;
    keys.assign(size_t(traitCount) + Bins, 0);
    for (qint32 t = 0; t < map.traits; ++t) {
        if (map.trait[t] < 0 || map.trait[t] >= traitCount)
            return false;
        keys[size_t(map.trait[t])] += counts[size_t(t)];
    }
    for (qint32 s = 0; s < map.snps; ++s) {
        if (map.snp[s] < 0 || size_t(map.snp[s]) >= bins.size())
            return false;
        keys[size_t(traitCount + int(bins[size_t(map.snp[s])]) + 32768)] +=
            counts[size_t(map.traits) + size_t(s)];
    }
    return true;
}

// Where each range's records of each key go in the tables: after every key before it, and after
// the ranges before it within the key (the order of a stable sort of all rows). Per range, the
// first record of each key (traits, then bins); and the records of each key in "totals".
int placeRanges(const QString &work, int ranges, qint64 traitCount, const std::vector<qint16> &bins)
{
    std::vector<qint64> keys;
    std::vector<qint64> totals(size_t(traitCount) + Bins, 0);
    for (int r = 0; r < ranges; ++r) {
        if (!rangeKeyCounts(work, r, traitCount, bins, keys))
            return cannotRead(rangeFile(work, r, "counts"));
        for (size_t k = 0; k < keys.size(); ++k)
            totals[k] += keys[k];
    }
    std::vector<qint64> next(totals.size());
    for (const auto &[first, end] :
         {std::pair{size_t(0), size_t(traitCount)}, std::pair{size_t(traitCount), totals.size()}}) {
        qint64 at = 0;
        for (size_t k = first; k < end; ++k) {
            next[k] = at;
            at += totals[k];
        }
    }
    for (int r = 0; r < ranges; ++r) {
        if (!rangeKeyCounts(work, r, traitCount, bins, keys))
            return cannotRead(rangeFile(work, r, "counts"));
        if (!writeWhole(rangeFile(work, r, "offsets"), bytesOf(next)))
            return cannotWrite(rangeFile(work, r, "offsets"));
        for (size_t k = 0; k < keys.size(); ++k)
            next[k] += keys[k];
    }
    if (!writeWhole(workFile(work, QStringLiteral("totals")), bytesOf(totals)))
        return cannotWrite(workFile(work, QStringLiteral("totals")));
    return 0;
}

// A work file mapped whole, read-only, its pages read in at once.
class MappedFile final
{
public:
    MappedFile() = default;
    ~MappedFile()
    {
        if (m_data)
            ::munmap(m_data, size_t(m_size));
    }
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    bool open(const QString &path)
    {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        struct stat info;
        if (fd < 0)
            return false;
        bool ok = ::fstat(fd, &info) == 0;
        m_size = ok ? qint64(info.st_size) : 0;
        if (ok && m_size > 0) {
            void *data = ::mmap(nullptr, size_t(m_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
            ok = data != MAP_FAILED;
            m_data = ok ? static_cast<char *>(data) : nullptr;
        }
        ::close(fd);
        return ok;
    }
    const char *data() const { return m_data; }
    qint64 size() const { return m_size; }

private:
    char *m_data = nullptr;
    qint64 m_size = 0;
};

// Scratch memory for a range's records: in huge pages where the system gives them, as a page
// fault per 4 KiB page costs more here than the sort itself.
class ScratchBuffer final
{
public:
    explicit ScratchBuffer(size_t size)
        : m_size(size)
    {
        if (size == 0)
            return;
        void *data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (data == MAP_FAILED)
            return;
        ::madvise(data, size, MADV_HUGEPAGE);
        m_data = static_cast<char *>(data);
    }
    ~ScratchBuffer()
    {
        if (m_data)
            ::munmap(m_data, m_size);
    }
    ScratchBuffer(const ScratchBuffer &) = delete;
    ScratchBuffer &operator=(const ScratchBuffer &) = delete;
    char *data() const { return m_data; }

private:
    char *m_data = nullptr;
    size_t m_size = 0;
};

} // namespace

QString clusterWorkPath(const QString &folder)
{
    return folder + QStringLiteral("/.quillmap-cluster");
}

bool removeClusterWork(const QString &folder)
{
    const QString path = clusterWorkPath(folder);
    const QFileInfo info(path);
    if (info.isSymLink())
        return QFile::remove(path);
    if (!info.exists())
        return true;
    return QDir(path).removeRecursively();
}

bool readResultLines(const QString &work, int ranges, qsizetype fields, ResultLines &out)
{
    out = {};
    out.lostCount.assign(size_t(std::max<qsizetype>(fields, 0)), 0);
    out.lostFirst.assign(out.lostCount.size(), 0);
    for (int r = 0; r < ranges; ++r) {
        QByteArray bytes;
        if (!readWhole(rangeFile(work, r, "meta"), bytes))
            return false;
        const QMultiHash<QByteArray, QByteArray> meta = readMeta(bytes);
        if (!meta.contains("lines"))
            return false;
        // Every range before the first failed line was read to its end.
        const qint64 before = out.rows;
        for (const QByteArray &lost : meta.values("lost")) {
            const QList<QByteArray> parts = lost.split(' ');
            const qsizetype k = parts.value(0).toLongLong();
            if (parts.size() != 3 || k < 0 || k >= qsizetype(out.lostCount.size()))
                return false;
            if (out.lostCount[size_t(k)] == 0)
                out.lostFirst[size_t(k)] = before + parts[2].toLongLong();
            out.lostCount[size_t(k)] += parts[1].toLongLong();
        }
        out.rows += meta.value("lines").toLongLong();
        const QByteArray error = meta.value("error");
        if (!error.isEmpty()) {
            // "error KIND LINE SPACE DETAIL-IN-HEX"
            const QList<QByteArray> parts = error.split(' ');
            if (parts.size() != 4)
                return false;
            ResultsLineError &first = out.error.emplace();
            first.kind = parts[0] == "u" ? ResultsLineError::Kind::Unreadable
                                         : ResultsLineError::Kind::Validation;
            first.line = parts[1].toLongLong();
            first.spaceAfter = parts[2] == "1";
            first.detail = QByteArray::fromHex(parts[3]);
            out.linesBefore = before;
            return true;
        }
    }
    return true;
}

bool readBinsOutcome(const QString &work, qsizetype &headerFields, std::optional<ImportError> &error)
{
    QByteArray bytes;
    if (!readWhole(workFile(work, QStringLiteral("bins.meta")), bytes))
        return false;
    // "header H\n", then optionally "error FAILURE LINEFEED\n" and the report line to the end.
    const qsizetype firstEnd = bytes.indexOf('\n');
    if (firstEnd < 0 || !bytes.startsWith("header "))
        return false;
    headerFields = bytes.mid(7, firstEnd - 7).toLongLong();
    error.reset();
    const qsizetype secondEnd = bytes.indexOf('\n', firstEnd + 1);
    if (secondEnd > 0) {
        const QList<QByteArray> parts = bytes.mid(firstEnd + 1, secondEnd - firstEnd - 1).split(' ');
        if (parts.size() != 3 || parts[0] != "error")
            return false;
        error = ImportError::of(ImportFailure(parts[1].toInt()), bytes.mid(secondEnd + 1), parts[2] == "1");
    }
    return true;
}

bool readWorkFile(const QString &work, const QString &name, QByteArray &bytes)
{
    return readWhole(workFile(work, name), bytes);
}

QString clusterTablePath(const QString &work, int table)
{
    return workFile(work, QStringLiteral("table%1").arg(table));
}

bool clusterTableComplete(const QString &work, int table, qint64 bytes)
{
    const QString path = clusterTablePath(work, table);
    if (bytes == 0 && !QFileInfo::exists(path) && !writeWhole(path, {}))
        return false;
    return QFileInfo(path).size() == bytes;
}

bool readKeyTotals(const QString &work, int ranges, std::vector<qint64> &totals)
{
    for (int r = 0; r < ranges; ++r) {
        if (!QFileInfo::exists(rangeFile(work, r, "placed")))
            return false;
    }
    return readArray(workFile(work, QStringLiteral("totals")), totals) && totals.size() >= Bins;
}

// The range's rows go out with its own name ids, its names in order of first appearance. A
// gzip file has no byte ranges: range 0 reads it whole, line by line, with the same checks.
int runParseStep(const QString &results, const QString &work, int range, qint64 begin, qint64 end)
{
    ResultsRange parsed;
    QFile file(results);
    char magic[2] = {0, 0};
    const bool gzip = file.open(QIODevice::ReadOnly) && file.peek(magic, 2) == 2 && uchar(magic[0]) == 0x1f
        && uchar(magic[1]) == 0x8b;
    file.close();
    if (!gzip) {
        // A header of fewer than 3 columns failed before any line was read (the finish step says
        // so), so no layout here means the file cannot be read.
        const std::optional<ResultsLayout> layout = readResultsLayout(results);
        if (layout)
            parsed = parseResultsRange(results, begin, end, *layout);
        else
            parsed.readFailed = true;
    } else if (range == 0) {
        LineReader reader;
        QByteArrayView line;
        if (reader.open(results) && reader.readLine(line)) {
            const ResultsLayout layout = ResultsLayout::fromHeader(line, 0);
            std::vector<QByteArrayView> fields;
            std::vector<float> stats(size_t(std::max(layout.statsPerRow(), 1)));
            parsed.lostCount.assign(size_t(layout.fields), 0);
            parsed.lostFirst.assign(size_t(layout.fields), 0);
            parsed.rows.reset(layout.statsPerRow());
            while (layout.fields >= 3 && reader.readLine(line)) {
                parsed.error = parseResultsLine(line, parsed.lines + 1, layout, fields, stats.data(),
                                                parsed.lostCount, parsed.lostFirst);
                if (parsed.error)
                    break;
                parsed.rows.append(parsed.traits.idOf(fields[0]), parsed.snps.idOf(fields[1]), stats.data());
                ++parsed.lines;
            }
        }
        parsed.readFailed = reader.failed();
    }

    QByteArray meta = "width " + number(std::max<qint64>(parsed.rows.statsPerRow(), 1)) + '\n';
    for (size_t k = 0; k < parsed.lostCount.size(); ++k) {
        if (parsed.lostCount[k] > 0)
            meta += "lost " + number(qint64(k)) + ' ' + number(parsed.lostCount[k]) + ' '
                + number(parsed.lostFirst[k]) + '\n';
    }
    meta += "lines " + number(parsed.lines) + '\n';
    if (parsed.readFailed)
        meta += "error u 0 0 00\n";
    else if (parsed.error)
        meta += "error " + QByteArray(parsed.error->kind == ResultsLineError::Kind::Unreadable ? "u" : "v")
            + ' ' + number(parsed.error->line) + ' ' + (parsed.error->spaceAfter ? "1" : "0") + ' '
            + (parsed.error->detail.isEmpty() ? QByteArray("00") : parsed.error->detail.toHex()) + '\n';

    // Rows per local trait id, then per local SNP id: the bins step places every range's
    // records in the tables from these before any range is sorted.
    std::vector<qint64> counts(size_t(parsed.traits.size() + parsed.snps.size()), 0);
    qint64 *snpCounts = counts.data() + parsed.traits.size();
    AtomicFile rows(rangeFile(work, range, "rows"), AtomicFile::Sync::Unsynced);
    rows.open();
    for (qint64 r = 0; r < parsed.rows.size(); ++r) {
        const qint32 ids[2] = {parsed.rows.trait(r), parsed.rows.snp(r)};
        ++counts[size_t(ids[0])];
        ++snpCounts[ids[1]];
        rows.write(bytesOf(ids, sizeof ids));
        rows.write(bytesOf(parsed.rows.stats(r), sizeof(float) * size_t(parsed.rows.statsPerRow())));
    }
    if (!rows.commit())
        return cannotWrite(rows.path());
    if (!writeWhole(rangeFile(work, range, "counts"), bytesOf(counts)))
        return cannotWrite(rangeFile(work, range, "counts"));
    for (const auto &[kind, names] : {std::pair{"traits", &parsed.traits}, std::pair{"snps", &parsed.snps}}) {
        QByteArray list;
        list.reserve(qsizetype(names->nameBytes() + names->size()));
        for (qint32 id = 0; id < names->size(); ++id) {
            list += names->nameAt(id);
            list += '\n';
        }
        const QString path = rangeFile(work, range, kind);
        if (!writeWhole(path, list))
            return cannotWrite(path);
    }
    // Written last: its presence says the range is done.
    if (!writeWhole(rangeFile(work, range, "meta"), meta))
        return cannotWrite(rangeFile(work, range, "meta"));
    // For the driver: whether the later steps are needed at all.
    std::puts(parsed.readFailed || parsed.error ? "failed" : "ok");
    return 0;
}

int runNamesStep(const QString &work, int ranges)
{
    NameSet sets[2];
    NameList sorted[2];
    std::vector<qint32> finalIndex[2];
    std::vector<std::vector<qint32>> provisional[2]; // per range: local id -> the set's id
    for (int kind = 0; kind < 2; ++kind) {
        provisional[kind].resize(size_t(ranges));
        for (int r = 0; r < ranges; ++r) {
            const QString path = rangeFile(work, r, kind == 0 ? "traits" : "snps");
            QByteArray list;
            if (!readWhole(path, list))
                return cannotRead(path);
            for (std::string_view name : splitNames(list))
                provisional[kind][size_t(r)].push_back(
                    sets[kind].idOf(QByteArrayView(name.data(), qsizetype(name.size()))));
        }
        sets[kind].finish(sorted[kind], finalIndex[kind]);
    }
    for (int r = 0; r < ranges; ++r) {
        AtomicFile map(rangeFile(work, r, "map"), AtomicFile::Sync::Unsynced);
        map.open();
        for (int kind = 0; kind < 2; ++kind) {
            std::vector<qint32> &local = provisional[kind][size_t(r)];
            const qint32 count = qint32(local.size());
            map.write(bytesOf(&count, sizeof count));
            for (qint32 &id : local)
                id = finalIndex[kind][size_t(id)];
            map.write(bytesOf(local));
        }
        if (!map.commit())
            return cannotWrite(map.path());
    }
    auto lines = [](auto count, auto nameAt) {
        QByteArray bytes;
        for (qint64 i = 0; i < count; ++i) {
            bytes += nameAt(i);
            bytes += '\n';
        }
        return bytes;
    };
    const QByteArray lists[2] = {lines(sorted[0].size(), [&](qint64 i) { return sorted[0].at(i); }),
                                 lines(sorted[1].size(), [&](qint64 i) { return sorted[1].at(i); })};
    // The SNP information file names SNPs by their bytes: every spelling seen, with its index.
    const QByteArray raw = lines(sets[1].size(), [&](qint64 i) { return sets[1].nameAt(qint32(i)); });
    const std::pair<QString, QByteArray> outputs[] = {
        {QStringLiteral("IDlist"), lists[0]},
        {QStringLiteral("SNPlist"), lists[1]},
        {QStringLiteral("snp-raw"), raw},
        {QStringLiteral("snp-raw.index"), bytesOf(finalIndex[1]).toByteArray()},
        {QStringLiteral("names.meta"),
         "traits " + number(sorted[0].size()) + "\nsnps " + number(sorted[1].size()) + '\n'}};
    for (const auto &[name, bytes] : outputs) {
        if (!writeWhole(workFile(work, name), bytes))
            return cannotWrite(workFile(work, name));
    }
    return 0;
}

int runBinsStep(const QString &snps, const QString &work, int ranges)
{
    QByteArray raw;
    std::vector<qint32> index;
    QByteArray metaBytes;
    if (!readWhole(workFile(work, QStringLiteral("snp-raw")), raw)
        || !readArray(workFile(work, QStringLiteral("snp-raw.index")), index)
        || !readWhole(workFile(work, QStringLiteral("names.meta")), metaBytes))
        return cannotRead(workFile(work, QStringLiteral("snp-raw")));
    NameSet lookup;
    for (std::string_view name : splitNames(raw))
        lookup.idOf(QByteArrayView(name.data(), qsizetype(name.size())));
    if (size_t(lookup.size()) != index.size())
        return cannotRead(workFile(work, QStringLiteral("snp-raw")));
    const qint64 snpCount = readMeta(metaBytes).value("snps").toLongLong();
    SnpBinning binning;
    LineReader reader;
    std::optional<ImportError> error;
    if (!reader.open(snps))
        error = ImportError::cannotOpen("SNP information", snps);
    else
        error = binSnps(reader, snps, -1,
                        [&](QByteArrayView name) {
                            const qint32 id = lookup.find(name);
                            return id < 0 ? -1 : index[size_t(id)];
                        },
                        snpCount, binning, {});
    const QString binsPath = workFile(work, QStringLiteral("bins"));
    if (!writeWhole(binsPath, bytesOf(binning.bins)))
        return cannotWrite(binsPath);
    QByteArray meta = "header " + number(binning.headerFields) + '\n';
    if (error)
        meta += "error " + number(int(error->failure)) + ' ' + (error->lineFeed ? "1" : "0") + '\n'
            + error->reportLine;
    if (!error) {
        const int status = placeRanges(work, ranges, readMeta(metaBytes).value("traits").toLongLong(),
                                       binning.bins);
        if (status != 0)
            return status;
    }
    // Written last: the finish step reads the outcome from it.
    if (!writeWhole(binsPath + QStringLiteral(".meta"), meta))
        return cannotWrite(binsPath + QStringLiteral(".meta"));
    std::puts(error ? "failed" : "ok");
    return 0;
}

// Both orders by a counting sort, stable within a key, each key's records written straight to
// their place in the tables: a rerun writes the same bytes at the same places.
int runPlaceStep(const QString &work, int range)
{
    QByteArray metaBytes;
    QByteArray namesBytes;
    std::vector<qint16> bins;
    std::vector<qint64> offsets;
    if (!readWhole(rangeFile(work, range, "meta"), metaBytes)
        || !readWhole(workFile(work, QStringLiteral("names.meta")), namesBytes)
        || !readArray(workFile(work, QStringLiteral("bins")), bins)
        || !readArray(rangeFile(work, range, "offsets"), offsets))
        return cannotRead(rangeFile(work, range, "offsets"));
    const qint64 width = readMeta(metaBytes).value("width").toLongLong();
    const qint64 traitCount = readMeta(namesBytes).value("traits").toLongLong();
    RangeMap map;
    if (width < 1 || traitCount < 0 || offsets.size() != size_t(traitCount) + Bins
        || !readRangeMap(work, range, map))
        return cannotRead(rangeFile(work, range, "map"));
    const qint64 rowSize = 8 + 4 * width;
    MappedFile rowFile;
    if (!rowFile.open(rangeFile(work, range, "rows")) || rowFile.size() % rowSize != 0)
        return cannotRead(rangeFile(work, range, "rows"));
    const qint64 rows = rowFile.size() / rowSize;
    const char *rowBytes = rowFile.data();

    // Final indexes of a row: checked once, then read again in each table's pass.
    auto idsOf = [&](qint64 r, qint32 &trait, qint32 &snp) {
        qint32 ids[2];
        std::memcpy(ids, rowBytes + r * rowSize, sizeof ids);
        trait = map.trait[ids[0]];
        snp = map.snp[ids[1]];
    };
    for (qint64 r = 0; r < rows; ++r) {
        qint32 ids[2];
        std::memcpy(ids, rowBytes + r * rowSize, sizeof ids);
        if (ids[0] < 0 || ids[0] >= map.traits || ids[1] < 0 || ids[1] >= map.snps)
            return cannotRead(rangeFile(work, range, "rows"));
        const qint32 trait = map.trait[ids[0]];
        const qint32 snp = map.snp[ids[1]];
        if (trait < 0 || trait >= traitCount || snp < 0 || size_t(snp) >= bins.size())
            return cannotRead(rangeFile(work, range, "map"));
    }
    const int extra = int(width - 1);
    const qint64 recordBytes = recordSize(extra);
    std::vector<float> stats(static_cast<size_t>(width));
    ScratchBuffer sorted(size_t(rows * recordBytes));
    if (rows > 0 && !sorted.data())
        return cannotWrite(rangeFile(work, range, "placed"));
    for (int table = 1; table <= 2; ++table) {
        const size_t keys = table == 1 ? size_t(traitCount) : Bins;
        const qint64 *place = offsets.data() + (table == 1 ? 0 : traitCount);
        auto keyOf = [&](qint32 trait, qint32 snp) {
            return table == 1 ? size_t(trait) : size_t(int(bins[size_t(snp)]) + 32768);
        };
        std::vector<qint64> next(keys + 1, 0);
        qint32 trait = 0;
        qint32 snp = 0;
        for (qint64 r = 0; r < rows; ++r) {
            idsOf(r, trait, snp);
            ++next[keyOf(trait, snp) + 1];
        }
        for (size_t k = 1; k < next.size(); ++k)
            next[k] += next[k - 1];
        const std::vector<qint64> first(next.begin(), next.end());
        // Scattered in file order: reads run straight through the rows, each record written to
        // its place (stable within a key).
        for (qint64 r = 0; r < rows; ++r) {
            idsOf(r, trait, snp);
            std::memcpy(stats.data(), rowBytes + r * rowSize + 8, size_t(4 * width));
            encodeRecord(sorted.data() + next[keyOf(trait, snp)]++ * recordBytes, {trait, snp, stats[0]},
                         stats.data() + 1, extra);
        }
        const QString tablePath = clusterTablePath(work, table);
        const int fd = ::open(QFile::encodeName(tablePath).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0)
            return cannotWrite(tablePath);
        bool ok = true;
        for (size_t k = 0; k < keys && ok; ++k) {
            if (first[k + 1] > first[k])
                ok = writeAt(fd, sorted.data() + first[k] * recordBytes,
                             (first[k + 1] - first[k]) * recordBytes, place[k] * recordBytes);
        }
        if (::close(fd) != 0 || !ok)
            return cannotWrite(tablePath);
    }
    // Its presence says the range's records are in place.
    if (!writeWhole(rangeFile(work, range, "placed"), QByteArrayView()))
        return cannotWrite(rangeFile(work, range, "placed"));
    return 0;
}

} // namespace quillmap
