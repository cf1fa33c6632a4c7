#include "import/clusterbuild.h"

#include "dataset/positionbin.h"
#include "dataset/resultrecord.h"
#include "import/linereader.h"
#include "import/numberparse.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <cerrno>
#include <fcntl.h>
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

using Failure = ImportResult::Failure;

constexpr qsizetype MaxExtraStats = qsizetype(1) << 24;
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

// A step's output: a temporary file renamed into place, every write checked. Not synced: a work
// file lost to a crash costs a rerun of the job, never a dataset file.
class WorkFile final
{
public:
    explicit WorkFile(QString path) : m_path(std::move(path))
    {
        m_temporary = QFile::encodeName(m_path + QStringLiteral(".part-%1").arg(::getpid()));
        m_fd = ::open(m_temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        m_ok = m_fd >= 0;
        m_buffer.reserve(Buffer);
    }
    ~WorkFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_committed && !m_temporary.isEmpty())
            ::unlink(m_temporary.constData());
    }
    WorkFile(const WorkFile &) = delete;
    WorkFile &operator=(const WorkFile &) = delete;

    void write(const void *data, size_t size)
    {
        if (m_buffer.size() + size > Buffer)
            flush();
        if (size >= Buffer)
            put(static_cast<const char *>(data), size);
        else
            m_buffer.append(static_cast<const char *>(data), size);
    }
    void write(QByteArrayView bytes) { write(bytes.data(), size_t(bytes.size())); }

    bool commit()
    {
        flush();
        if (m_fd >= 0 && ::close(m_fd) != 0)
            m_ok = false;
        m_fd = -1;
        if (!m_ok || ::rename(m_temporary.constData(), QFile::encodeName(m_path).constData()) != 0)
            return false;
        m_committed = true;
        return true;
    }
    QString path() const { return m_path; }

private:
    static constexpr size_t Buffer = size_t(1) << 20;

    void flush()
    {
        put(m_buffer.data(), m_buffer.size());
        m_buffer.clear();
    }
    void put(const char *data, size_t size)
    {
        while (m_ok && size > 0) {
            const ssize_t n = ::write(m_fd, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_ok = false;
                return;
            }
            data += n;
            size -= size_t(n);
        }
    }

    QString m_path;
    QByteArray m_temporary;
    int m_fd = -1;
    bool m_ok = false;
    bool m_committed = false;
    std::string m_buffer;
};

bool writeWhole(const QString &path, QByteArrayView bytes)
{
    WorkFile file(path);
    file.write(bytes);
    return file.commit();
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

struct StringHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
};
using NameIds = std::unordered_map<std::string, qint32, StringHash, std::equal_to<>>;

// Distinct names in order of first appearance.
class LocalNames final
{
public:
    qint32 idOf(std::string_view name)
    {
        // Results files are usually grouped by trait: the same name many times in a row.
        if (m_last >= 0 && name == m_lastName)
            return m_last;
        auto it = m_ids.find(name);
        if (it == m_ids.end()) {
            it = m_ids.emplace(std::string(name), qint32(m_ids.size())).first;
            m_list.append(name);
            m_list.push_back('\n');
        }
        m_lastName = it->first;
        return m_last = it->second;
    }
    const std::string &list() const { return m_list; }

private:
    NameIds m_ids;
    std::string m_list;
    qint32 m_last = -1;
    std::string_view m_lastName;
};

// Sorted as the import sorts its name lists: by UTF-16 code units, byte strings that decode to
// the same text made one name. finalIndex maps each name's position in `names` to its index.
QByteArray sortNames(const std::vector<std::string_view> &names, std::vector<qint32> &finalIndex)
{
    finalIndex.assign(names.size(), 0);
    QByteArray sorted;
    const bool beyondAscii = std::any_of(names.begin(), names.end(), [](std::string_view name) {
        return std::any_of(name.begin(), name.end(), [](char c) { return (uchar(c) & 0x80) != 0; });
    });
    if (!beyondAscii) {
        std::vector<qint32> ids(names.size());
        for (size_t i = 0; i < ids.size(); ++i)
            ids[i] = qint32(i);
        std::sort(ids.begin(), ids.end(), [&names](qint32 a, qint32 b) { return names[size_t(a)] < names[size_t(b)]; });
        for (size_t i = 0; i < ids.size(); ++i) {
            sorted.append(names[size_t(ids[i])].data(), qsizetype(names[size_t(ids[i])].size()));
            sorted.append('\n');
            finalIndex[size_t(ids[i])] = qint32(i);
        }
        return sorted;
    }
    std::vector<std::pair<QString, qint32>> items;
    items.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i)
        items.emplace_back(QString::fromUtf8(names[i].data(), qsizetype(names[i].size())), qint32(i));
    std::sort(items.begin(), items.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    const QString *previous = nullptr;
    qint32 index = -1;
    for (const auto &item : items) {
        if (!previous || *previous != item.first) {
            sorted.append(item.first.toUtf8());
            sorted.append('\n');
            ++index;
        }
        previous = &item.first;
        finalIndex[size_t(item.second)] = index;
    }
    return sorted;
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

std::optional<StepError> binSnps(const QString &path, qsizetype expectedFields,
                                 const std::function<qint32(QByteArrayView)> &indexOf, qint64 snpCount,
                                 SnpBinning &out, const std::function<void(qint64)> &tick)
{
    auto invalid = [](const QByteArray &line, bool lineFeed) {
        return StepError{Failure::Validation, line, lineFeed};
    };
    out.bins.assign(size_t(snpCount), 0);
    std::vector<char> hasBin(size_t(snpCount), 0);
    LineReader reader;
    if (!reader.open(path))
        return StepError{Failure::UnreadableInput,
                         "error : can't open the SNP information file " + path.toUtf8() + '!', true};
    QByteArrayView line;
    out.headerFields = 1;
    if (reader.readLine(line))
        out.headerFields = line.count('\t') + 1;
    const qsizetype fieldCount = expectedFields < 0 ? out.headerFields : expectedFields;
    if (out.headerFields != fieldCount)
        return invalid(" error : it has different column numbers!", true);

    std::vector<QByteArrayView> fields;
    qint64 n = 0;
    while (reader.readLine(line)) {
        ++n;
        splitTabs(line, fields, fieldCount);
        if (qsizetype(fields.size()) != fieldCount)
            return invalid("error :" + number(n) + "th line has different column numbers!", true);
        const std::optional<int> chromosome = chromosomeNumber(fields[1]);
        if (!chromosome)
            return invalid("error :" + number(n) + "th line has invalid chr!", false);
        const std::optional<double> position = parsePosition(fields[2]);
        if (!position)
            return invalid("error :" + number(n)
                               + "th line has invalid pos! It must be in Mb with at least 1 digits"
                                 " after decimal!",
                           false);
        const std::optional<qint16> bin = positionBin(*chromosome, *position);
        if (!bin)
            return invalid("error :" + number(n)
                               + "th line has invalid pos! Chromosome x 1000 + position in Mb must"
                                 " lie between -32768 and 32767!",
                           false);
        const qint32 snp = indexOf(fields[0]);
        if (snp >= 0) {
            // A SNP listed again is binned by its last line.
            out.bins[size_t(snp)] = *bin;
            hasBin[size_t(snp)] = 1;
        }
        if (tick)
            tick(n);
    }
    if (reader.failed())
        return StepError{Failure::UnreadableInput,
                         "error : can't read the SNP information file " + path.toUtf8() + " to its end!", true};
    if (std::find(hasBin.begin(), hasBin.end(), 0) != hasBin.end())
        return invalid("error : can't find pos info for some snp, please check the snp info file.", false);
    return std::nullopt;
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
            out.errorKind = error.at(0);
            out.errorLine = before + error.mid(2).toLongLong();
            return true;
        }
    }
    return true;
}

bool readBinsOutcome(const QString &work, qsizetype &headerFields, std::optional<StepError> &error)
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
        error = StepError{Failure(parts[1].toInt()), bytes.mid(secondEnd + 1), parts[2] == "1"};
    }
    return true;
}

bool readWorkFile(const QString &work, const QString &name, QByteArray &bytes)
{
    return readWhole(workFile(work, name), bytes);
}

QString shardPath(const QString &work, int table, int shard)
{
    return workFile(work, QStringLiteral("table%1-%2.shard").arg(table).arg(shard));
}

bool readShardCounts(const QString &work, int table, int shard, std::vector<std::pair<qint64, qint64>> &counts)
{
    counts.clear();
    QByteArray bytes;
    if (!readWhole(shardPath(work, table, shard) + QStringLiteral(".counts"), bytes))
        return false;
    bool ok = true;
    forEachLine(bytes, [&](const char *p, qsizetype n) {
        const QList<QByteArray> parts = QByteArray(p, n).split('\t');
        ok = ok && parts.size() == 2;
        if (ok)
            counts.emplace_back(parts[0].toLongLong(), parts[1].toLongLong());
    });
    return ok;
}

// Checks each line as the import's first pass does, in the same order, and stops at the first
// failure. The rows go out with range-local name ids. A gzip file is read whole by range 0.
int runParseStep(const QString &results, const QString &work, int range, qint64 begin, qint64 end)
{
    WorkFile rows(rangeFile(work, range, "rows"));
    LocalNames traits;
    LocalNames snps;
    qsizetype fields = 0;
    std::vector<QByteArrayView> split;
    std::vector<float> stats;
    std::vector<qint64> lostCount;
    std::vector<qint64> lostFirst;
    qint64 lines = 0;  // lines that passed
    char errorKind = 0;
    // False at the first failed check.
    auto take = [&](QByteArrayView line) {
        const qint64 n = lines + 1;
        splitTabs(line, split, fields);
        if (qsizetype(split.size()) != fields) {
            errorKind = 'c';
            return false;
        }
        for (qsizetype k = 2; k < fields; ++k) {
            bool lost = false;
            const std::optional<float> value = parseStatistic(split[size_t(k)], &lost);
            if (!value) {
                errorKind = 'n';
                return false;
            }
            stats[size_t(k - 2)] = *value;
            if (lost && lostCount[size_t(k)]++ == 0)
                lostFirst[size_t(k)] = n;
        }
        if (split[0].endsWith('\r') || split[1].endsWith('\r')) {
            errorKind = 'r';
            return false;
        }
        const qint32 ids[2] = {traits.idOf(std::string_view(split[0].data(), size_t(split[0].size()))),
                               snps.idOf(std::string_view(split[1].data(), size_t(split[1].size())))};
        rows.write(ids, sizeof ids);
        rows.write(stats.data(), sizeof(float) * stats.size());
        lines = n;
        return true;
    };
    auto setFields = [&](QByteArrayView header) {
        fields = header.count('\t') + 1;
        stats.assign(size_t(std::max<qsizetype>(fields - 2, 1)), 0.0f);
        lostCount.assign(size_t(fields), 0);
        lostFirst.assign(size_t(fields), 0);
        // Too narrow or too wide a header fails before any line is read: nothing to parse.
        return fields >= 3 && fields - 3 <= MaxExtraStats;
    };

    QFile file(results);
    const bool opened = file.open(QIODevice::ReadOnly);
    const qint64 size = opened ? file.size() : 0;
    char magic[2] = {0, 0};
    const bool gzip = opened && file.peek(magic, 2) == 2 && uchar(magic[0]) == 0x1f && uchar(magic[1]) == 0x8b;
    if (!opened) {
        errorKind = 'u';
    } else if (gzip) {
        LineReader reader;
        QByteArrayView line;
        if (!reader.open(results))
            errorKind = 'u';
        else if (range == 0 && reader.readLine(line) && setFields(line)) {
            while (reader.readLine(line) && take(line)) {
            }
        }
        if (!errorKind && reader.failed())
            errorKind = 'u';
    } else {
        const uchar *data = size > 0 ? file.map(0, size) : nullptr;
        if (size > 0 && !data)
            errorKind = 'u';
        const char *text = reinterpret_cast<const char *>(data);
        const char *headerEnd = size > 0 && data ? static_cast<const char *>(std::memchr(text, '\n', size_t(size))) : nullptr;
        const qint64 dataStart = headerEnd ? headerEnd - text + 1 : size;
        // A line belongs to the range its first byte lies in.
        qint64 at = std::max(begin, dataStart);
        if (at > dataStart && at < size && text[at - 1] != '\n') {
            const void *nl = std::memchr(text + at, '\n', size_t(size - at));
            at = nl ? static_cast<const char *>(nl) - text + 1 : size;
        }
        const qint64 stop = std::min(end, size);
        if (!errorKind && setFields(QByteArrayView(text, headerEnd ? headerEnd - text : size))) {
            while (at < stop) {
                const void *nl = std::memchr(text + at, '\n', size_t(size - at));
                const qint64 lineEnd = nl ? static_cast<const char *>(nl) - text : size;
                qint64 length = lineEnd - at;
                if (nl && length > 0 && text[lineEnd - 1] == '\r')
                    --length;
                if (length > LineReader::maxLineBytes()) {
                    errorKind = 'u';
                    break;
                }
                if (!take(QByteArrayView(text + at, qsizetype(length))))
                    break;
                at = nl ? lineEnd + 1 : size;
            }
        }
    }
    QByteArray meta = "width " + number(qint64(stats.size())) + '\n';
    for (size_t k = 0; k < lostCount.size(); ++k) {
        if (lostCount[k] > 0)
            meta += "lost " + number(qint64(k)) + ' ' + number(lostCount[k]) + ' ' + number(lostFirst[k]) + '\n';
    }
    meta += "lines " + number(lines) + '\n';
    if (errorKind)
        meta += "error " + QByteArray(1, errorKind) + ' ' + number(lines + 1) + '\n';
    if (!rows.commit())
        return cannotWrite(rows.path());
    for (const auto &[kind, names] : {std::pair{"traits", &traits}, std::pair{"snps", &snps}}) {
        const QString path = rangeFile(work, range, kind);
        if (!writeWhole(path, QByteArrayView(names->list().data(), qsizetype(names->list().size()))))
            return cannotWrite(path);
    }
    // Written last: its presence says the range is done.
    if (!writeWhole(rangeFile(work, range, "meta"), meta))
        return cannotWrite(rangeFile(work, range, "meta"));
    // For the driver: whether the later steps are needed at all.
    std::puts(errorKind ? "failed" : "ok");
    return 0;
}

int runNamesStep(const QString &work, int ranges)
{
    std::vector<QByteArray> lists[2];
    std::vector<std::vector<qint32>> provisional[2]; // per range: local id -> provisional id
    std::vector<std::string_view> distinct[2];
    for (int kind = 0; kind < 2; ++kind) {
        NameIds ids;
        lists[kind].resize(size_t(ranges));
        provisional[kind].resize(size_t(ranges));
        for (int r = 0; r < ranges; ++r) {
            const QString path = rangeFile(work, r, kind == 0 ? "traits" : "snps");
            if (!readWhole(path, lists[kind][size_t(r)]))
                return cannotRead(path);
            for (std::string_view name : splitNames(lists[kind][size_t(r)])) {
                auto it = ids.find(name);
                if (it == ids.end()) {
                    it = ids.emplace(std::string(name), qint32(distinct[kind].size())).first;
                    distinct[kind].push_back(name);
                }
                provisional[kind][size_t(r)].push_back(it->second);
            }
        }
    }
    std::vector<qint32> finalIndex[2];
    const QByteArray sorted[2] = {sortNames(distinct[0], finalIndex[0]), sortNames(distinct[1], finalIndex[1])};
    for (int r = 0; r < ranges; ++r) {
        WorkFile map(rangeFile(work, r, "map"));
        for (int kind = 0; kind < 2; ++kind) {
            std::vector<qint32> &local = provisional[kind][size_t(r)];
            const qint32 count = qint32(local.size());
            map.write(&count, sizeof count);
            for (qint32 &id : local)
                id = finalIndex[kind][size_t(id)];
            map.write(bytesOf(local));
        }
        if (!map.commit())
            return cannotWrite(map.path());
    }
    // The SNP information file names SNPs by their bytes: every spelling seen, with its index.
    QByteArray raw;
    for (std::string_view name : distinct[1]) {
        raw.append(name.data(), qsizetype(name.size()));
        raw.append('\n');
    }
    const qint64 counts[2] = {sorted[0].count('\n'), sorted[1].count('\n')};
    const std::pair<QString, QByteArrayView> outputs[] = {
        {QStringLiteral("IDlist"), sorted[0]},
        {QStringLiteral("SNPlist"), sorted[1]},
        {QStringLiteral("snp-raw"), raw},
        {QStringLiteral("snp-raw.index"), bytesOf(finalIndex[1])},
        {QStringLiteral("names.meta"), "traits " + number(counts[0]) + "\nsnps " + number(counts[1]) + '\n'}};
    for (const auto &[name, bytes] : outputs) {
        if (!writeWhole(workFile(work, name), bytes))
            return cannotWrite(workFile(work, name));
    }
    return 0;
}

int runBinsStep(const QString &snps, const QString &work)
{
    QByteArray raw;
    std::vector<qint32> index;
    QByteArray metaBytes;
    if (!readWhole(workFile(work, QStringLiteral("snp-raw")), raw)
        || !readArray(workFile(work, QStringLiteral("snp-raw.index")), index)
        || !readWhole(workFile(work, QStringLiteral("names.meta")), metaBytes))
        return cannotRead(workFile(work, QStringLiteral("snp-raw")));
    const std::vector<std::string_view> names = splitNames(raw);
    if (names.size() != index.size())
        return cannotRead(workFile(work, QStringLiteral("snp-raw")));
    std::unordered_map<std::string_view, qint32> lookup;
    lookup.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i)
        lookup.emplace(names[i], index[i]);
    const qint64 snpCount = readMeta(metaBytes).value("snps").toLongLong();
    SnpBinning binning;
    const std::optional<StepError> error = binSnps(
        snps, -1,
        [&lookup](QByteArrayView name) {
            const auto it = lookup.find(std::string_view(name.data(), size_t(name.size())));
            return it == lookup.end() ? -1 : it->second;
        },
        snpCount, binning, {});
    const QString binsPath = workFile(work, QStringLiteral("bins"));
    if (!writeWhole(binsPath, bytesOf(binning.bins)))
        return cannotWrite(binsPath);
    QByteArray meta = "header " + number(binning.headerFields) + '\n';
    if (error)
        meta += "error " + number(int(error->failure)) + ' ' + (error->lineFeed ? "1" : "0") + '\n' + error->reportLine;
    if (!writeWhole(binsPath + QStringLiteral(".meta"), meta))
        return cannotWrite(binsPath + QStringLiteral(".meta"));
    std::puts(error ? "failed" : "ok");
    return 0;
}

// Both orders by a counting sort, stable: within a trait or a bin the rows stay in file order.
int runSortStep(const QString &work, int range)
{
    QByteArray metaBytes;
    QByteArray namesBytes;
    std::vector<char> rowBytes;
    std::vector<qint32> map;
    std::vector<qint16> bins;
    if (!readWhole(rangeFile(work, range, "meta"), metaBytes)
        || !readWhole(workFile(work, QStringLiteral("names.meta")), namesBytes)
        || !readArray(rangeFile(work, range, "rows"), rowBytes) || !readArray(rangeFile(work, range, "map"), map)
        || !readArray(workFile(work, QStringLiteral("bins")), bins))
        return cannotRead(rangeFile(work, range, "rows"));
    const qint64 width = readMeta(metaBytes).value("width").toLongLong();
    const qint64 traitCount = readMeta(namesBytes).value("traits").toLongLong();
    const qint64 rowSize = 8 + 4 * width;
    if (width < 1 || map.empty() || qint64(rowBytes.size()) % rowSize != 0)
        return cannotRead(rangeFile(work, range, "rows"));
    const qint64 rows = qint64(rowBytes.size()) / rowSize;
    const size_t localTraits = size_t(map[0]);
    if (map.size() < localTraits + 2 || map.size() != localTraits + 2 + size_t(map[localTraits + 1]))
        return cannotRead(rangeFile(work, range, "map"));
    const qint32 *traitIndex = map.data() + 1;
    const qint32 *snpIndex = map.data() + localTraits + 2;
    const size_t localSnps = size_t(map[localTraits + 1]);

    std::vector<qint32> trait(static_cast<size_t>(rows));
    std::vector<qint32> snp(static_cast<size_t>(rows));
    for (qint64 r = 0; r < rows; ++r) {
        qint32 ids[2];
        std::memcpy(ids, rowBytes.data() + r * rowSize, sizeof ids);
        if (ids[0] < 0 || size_t(ids[0]) >= localTraits || ids[1] < 0 || size_t(ids[1]) >= localSnps)
            return cannotRead(rangeFile(work, range, "rows"));
        trait[size_t(r)] = traitIndex[ids[0]];
        snp[size_t(r)] = snpIndex[ids[1]];
        if (trait[size_t(r)] < 0 || trait[size_t(r)] >= traitCount || size_t(snp[size_t(r)]) >= bins.size())
            return cannotRead(rangeFile(work, range, "map"));
    }
    const int extra = int(width - 1);
    const qint64 recordBytes = recordSize(extra);
    std::vector<float> stats(static_cast<size_t>(width));
    for (int table = 1; table <= 2; ++table) {
        const size_t keys = table == 1 ? size_t(traitCount) : Bins;
        auto keyOf = [&](qint64 r) {
            return table == 1 ? size_t(trait[size_t(r)]) : size_t(int(bins[size_t(snp[size_t(r)])]) + 32768);
        };
        std::vector<qint64> next(keys + 1, 0);
        for (qint64 r = 0; r < rows; ++r)
            ++next[keyOf(r) + 1];
        const std::vector<qint64> counts(next.begin() + 1, next.end());
        for (size_t k = 1; k < next.size(); ++k)
            next[k] += next[k - 1];
        std::vector<qint32> order(static_cast<size_t>(rows));
        for (qint64 r = 0; r < rows; ++r)
            order[size_t(next[keyOf(r)]++)] = qint32(r);
        WorkFile run(rangeFile(work, range, table == 1 ? "t" : "b"));
        std::vector<char> record(static_cast<size_t>(recordBytes));
        for (const qint32 r : order) {
            std::memcpy(stats.data(), rowBytes.data() + r * rowSize + 8, size_t(4 * width));
            encodeRecord(record.data(), {trait[size_t(r)], snp[size_t(r)], stats[0]}, stats.data() + 1, extra);
            run.write(record.data(), record.size());
        }
        if (!run.commit())
            return cannotWrite(run.path());
        const QString countsPath = rangeFile(work, range, table == 1 ? "tc" : "bc");
        if (!writeWhole(countsPath, bytesOf(counts)))
            return cannotWrite(countsPath);
    }
    return 0;
}

// Keys [firstKey, lastKey): for each key, its records from range 0, then range 1, ...
int runMergeStep(const QString &work, int table, int shard, qint64 firstKey, qint64 lastKey, int ranges)
{
    QByteArray metaBytes;
    if (!readWhole(rangeFile(work, 0, "meta"), metaBytes))
        return cannotRead(rangeFile(work, 0, "meta"));
    const qint64 recordBytes = recordSize(int(readMeta(metaBytes).value("width").toLongLong() - 1));
    struct Run {
        std::unique_ptr<QFile> file;
        const char *data = nullptr;
        std::vector<qint64> counts;
        qint64 offset = 0; // records before firstKey
    };
    std::vector<Run> runs(static_cast<size_t>(ranges));
    for (int r = 0; r < ranges; ++r) {
        Run &run = runs[size_t(r)];
        const QString countsPath = rangeFile(work, r, table == 1 ? "tc" : "bc");
        if (!readArray(countsPath, run.counts) || qint64(run.counts.size()) < lastKey)
            return cannotRead(countsPath);
        for (qint64 k = 0; k < firstKey; ++k)
            run.offset += run.counts[size_t(k)];
        run.file = std::make_unique<QFile>(rangeFile(work, r, table == 1 ? "t" : "b"));
        if (!run.file->open(QIODevice::ReadOnly))
            return cannotRead(run.file->fileName());
        qint64 total = 0;
        for (const qint64 c : run.counts)
            total += c;
        if (run.file->size() != total * recordBytes)
            return cannotRead(run.file->fileName());
        if (total > 0 && !(run.data = reinterpret_cast<const char *>(run.file->map(0, run.file->size()))))
            return cannotRead(run.file->fileName());
    }
    WorkFile out(shardPath(work, table, shard));
    QByteArray counts;
    for (qint64 k = firstKey; k < lastKey; ++k) {
        qint64 keyCount = 0;
        for (Run &run : runs) {
            const qint64 n = run.counts[size_t(k)];
            if (n > 0)
                out.write(run.data + run.offset * recordBytes, size_t(n * recordBytes));
            run.offset += n;
            keyCount += n;
        }
        if (keyCount > 0)
            counts += number(k) + '\t' + number(keyCount) + '\n';
    }
    if (!out.commit())
        return cannotWrite(out.path());
    if (!writeWhole(shardPath(work, table, shard) + QStringLiteral(".counts"), counts))
        return cannotWrite(shardPath(work, table, shard) + QStringLiteral(".counts"));
    return 0;
}

} // namespace quillmap
