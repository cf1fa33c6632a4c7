#include "dataset/snpinfoindex.h"

#include "io/atomicfile.h"
#include "dataset/chromosome.h"
#include "io/linereader.h"
#include "io/positionedio.h"
#include "io/regularfile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>
#include <type_traits>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <limits>
#include <numeric>

namespace quillmap {

namespace {

constexpr char Magic[8] = {'Q', 'M', 'S', 'N', 'P', 'I', 'X', '\0'};
constexpr quint32 ByteOrderMark = 0x01020304u;
constexpr quint32 Version = 1;
constexpr qint64 SampleBytes = 64 * 1024;

quint64 fnv(const char *p, qint64 length, quint64 h = 1469598103934665603ULL)
{
    for (qint64 i = 0; i < length; ++i) {
        h ^= quint8(p[i]);
        h *= 1099511628211ULL;
    }
    return h;
}

inline quint64 hashName(QByteArrayView name)
{
    quint64 h = fnv(name.data(), name.size());
    // FNV leaves the low bits of similar names (rs0000001, rs0000002...) poorly mixed, and the
    // table is indexed by the low bits: finish with the MurmurHash3 mixer.
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

constexpr qint64 align8(qint64 n)
{
    return (n + 7) & ~qint64(7);
}

// What a cache was built from: a file's size, modification time and the hash of its first and
// last 64 KiB (all of a small file), so that an edit within one clock tick is still seen.
struct Stamp {
    qint64 size = -1;
    qint64 mtime = 0;
    quint64 sample = 0;
    bool operator==(const Stamp &) const = default;
};

Stamp stampOf(const QString &path)
{
    Stamp s;
    QFile file(path);
    if (!openRegularFile(file))
        return s;
    const QFileInfo info(path);
    s.size = file.size();
    s.mtime = info.lastModified().toMSecsSinceEpoch();
    QByteArray head = file.read(SampleBytes);
    s.sample = fnv(head.constData(), head.size());
    if (s.size > SampleBytes && file.seek(std::max(SampleBytes, s.size - SampleBytes))) {
        const QByteArray tail = file.read(SampleBytes);
        s.sample = fnv(tail.constData(), tail.size(), s.sample);
    }
    return s;
}

QByteArrayView nameOfLine(QByteArrayView line)
{
    const qsizetype tab = line.indexOf('\t');
    return tab < 0 ? line : line.first(tab);
}

// A number as from_chars reads it; what it does not take whole, as Qt reads it.
template <typename T>
T parseNumber(const char *p, qsizetype length)
{
    T value = 0;
    const auto [ptr, ec] = std::from_chars(p, p + length, value);
    if (ec == std::errc() && ptr == p + length)
        return value;
    if constexpr (std::is_same_v<T, int>)
        return QByteArray(p, length).toInt();
    else
        return QByteArray(p, length).toDouble();
}

// A file's bytes: mapped when it is plain, decompressed into `owned` when it starts with the
// gzip magic bytes. False when it cannot be read.
bool readSource(QFile &file, QByteArray &owned, QByteArrayView &bytes)
{
    const QString path = file.fileName(); // a file opened by its descriptor has none
    if (!openRegularFile(file))
        return false;
    char head[4] = {0, 0, 0, 0};
    const qint64 got = file.peek(head, 4);
    if (!LineReader::isCompressed(QByteArrayView(head, std::max<qint64>(got, 0)))) {
        if (file.size() == 0) {
            bytes = QByteArrayView();
            return true;
        }
        if (const uchar *map = file.map(0, file.size())) {
            bytes = QByteArrayView(reinterpret_cast<const char *>(map), file.size());
            return true;
        }
        owned = file.readAll();
        bytes = owned;
        return file.error() == QFileDevice::NoError;
    }
    // Decompressed as the import read it.
    const bool ok = LineReader::readFile(path, owned);
    bytes = owned;
    return ok;
}

} // namespace

struct SnpInfoIndex::Header {
    char magic[8];
    quint32 byteOrder;
    quint32 version;
    qint64 imageSize;
    Stamp snpInfo;
    Stamp snpList;
    qint64 lineCount;
    qint64 nameCount;
    qint64 slotCount;
    qint64 decodedCount; // lines whose name is not UTF-8
    qint64 tabbedCount;  // SNPlist.dat names holding a tab: (index, length) pairs
    qint64 textBytes;
    qint64 firstUnlisted;
    quint64 headerHash; // of every byte above

    quint64 computeHash() const
    {
        return fnv(reinterpret_cast<const char *>(this), offsetof(Header, headerHash));
    }
};

namespace {

// Where each array lies in the image: header, line starts, chromosomes, positions, hash slots,
// SNP index -> line, the text, then the lines whose name is not UTF-8 and the tabbed names.
struct Layout {
    qint64 offsets, chromosomes, positions, slotTable, lineOf, decoded, tabbed, text, end;
};

Layout layoutOf(qint64 lines, qint64 names, qint64 slotCount, qint64 decoded, qint64 tabbed, qint64 textBytes,
                qint64 headerSize)
{
    Layout l;
    l.offsets = align8(headerSize);
    l.chromosomes = l.offsets + 8 * (lines + 1);
    l.positions = align8(l.chromosomes + 4 * lines);
    l.slotTable = l.positions + 8 * lines;
    l.lineOf = l.slotTable + 8 * slotCount;
    l.text = l.lineOf + 4 * names;
    l.decoded = align8(l.text + textBytes);
    l.tabbed = align8(l.decoded + 4 * decoded);
    l.end = l.tabbed + 16 * tabbed;
    return l;
}

// A byte range [begin, end) of the cache file.
struct ByteRange {
    qint64 begin = 0;
    qint64 end = 0;
};

// Reads `ranges` of the file `fd` in their order, ranges less than MergeGap apart in one read of
// at most MergeMost bytes (a read costs about as much as copying 8 KiB), and hands range k's
// bytes to use(k, bytes): empty when the read failed.
template <typename Use>
void readRanges(int fd, const std::vector<ByteRange> &ranges, Use use)
{
    constexpr qint64 MergeGap = 8 * 1024;
    constexpr qint64 MergeMost = 1024 * 1024;
    QByteArray buffer;
    size_t i = 0;
    while (i < ranges.size()) {
        const qint64 start = ranges[i].begin;
        qint64 end = ranges[i].end;
        size_t j = i + 1;
        while (j < ranges.size() && ranges[j].begin >= start && ranges[j].begin <= end + MergeGap
               && std::max(end, ranges[j].end) - start <= MergeMost)
            end = std::max(end, ranges[j++].end);
        buffer.resize(end - start);
        const bool ok = readAt(fd, buffer.data(), end - start, start);
        for (; i < j; ++i)
            use(i,
                ok ? QByteArrayView(buffer.constData() + (ranges[i].begin - start),
                                    ranges[i].end - ranges[i].begin)
                   : QByteArrayView());
    }
}

} // namespace

SnpInfoIndex::~SnpInfoIndex() = default;

bool SnpInfoIndex::attach(const uchar *base, qint64 size)
{
    if (size < qint64(sizeof(Header)))
        return false;
    Header h;
    std::memcpy(&h, base, sizeof(Header));
    if (std::memcmp(h.magic, Magic, sizeof Magic) != 0 || h.byteOrder != ByteOrderMark || h.version != Version
        || h.headerHash != h.computeHash() || h.imageSize != size)
        return false;
    // Every count is bounded by the size before any arithmetic, so nothing below can overflow.
    for (qint64 count : {h.lineCount, h.nameCount, h.slotCount, h.decodedCount, h.tabbedCount, h.textBytes})
        if (count < 0 || count > size)
            return false;
    if (h.slotCount < 16 || (h.slotCount & (h.slotCount - 1)) != 0 || h.firstUnlisted < -1
        || h.firstUnlisted >= h.nameCount)
        return false;
    const Layout l = layoutOf(h.lineCount, h.nameCount, h.slotCount, h.decodedCount, h.tabbedCount,
                              h.textBytes, sizeof(Header));
    if (l.end != size)
        return false;
    const auto at = [base](qint64 offset) { return base + offset; };
    m_lineCount = h.lineCount;
    m_nameCount = h.nameCount;
    m_firstUnlisted = h.firstUnlisted;
    m_textBytes = h.textBytes;
    m_slotMask = quint64(h.slotCount) - 1;
    m_offsets = reinterpret_cast<const qint64 *>(at(l.offsets));
    m_chromosomes = reinterpret_cast<const qint32 *>(at(l.chromosomes));
    m_positions = reinterpret_cast<const double *>(at(l.positions));
    m_slots = reinterpret_cast<const qint32 *>(at(l.slotTable));
    m_lineOf = reinterpret_cast<const qint32 *>(at(l.lineOf));
    m_text = reinterpret_cast<const char *>(at(l.text));
    m_offsetsAt = l.offsets;
    m_textAt = l.text;
    m_decodedLines.clear();
    m_tabbedNames.clear();
    const qint32 *decoded = reinterpret_cast<const qint32 *>(at(l.decoded));
    for (qint64 k = 0; k < h.decodedCount; ++k) {
        const qint32 line = decoded[k];
        // The import reads names as UTF-8 and lists bytes that are not UTF-8 by their decoded
        // text in SNPlist.dat; such a name is found by that text, the last line winning.
        if (line >= 0 && line < m_lineCount)
            m_decodedLines.insert(QString::fromUtf8(nameOfLine(imageText(line))).toUtf8(), line);
    }
    const qint64 *tabbed = reinterpret_cast<const qint64 *>(at(l.tabbed));
    for (qint64 k = 0; k < h.tabbedCount; ++k)
        m_tabbedNames.insert(tabbed[2 * k], qint32(std::clamp<qint64>(tabbed[2 * k + 1], 0, 1 << 30)));
    return true;
}

QByteArray SnpInfoIndex::lineText(qint64 line) const
{
    if (!m_file)
        return imageText(line).toByteArray();
    if (line < 0 || line >= m_lineCount)
        return QByteArray();
    qint64 bounds[2];
    if (!readAt(m_file->handle(), bounds, sizeof bounds, m_offsetsAt + 8 * line))
        return QByteArray();
    const auto [start, end] = bounds;
    if (start < 0 || start > end || end > m_textBytes)
        return QByteArray();
    QByteArray text(end - start, Qt::Uninitialized);
    return readAt(m_file->handle(), text.data(), text.size(), m_textAt + start) ? text : QByteArray();
}

void SnpInfoIndex::gatherLines(const std::vector<qint32> &lines,
                               const std::function<void(size_t, size_t, QByteArrayView)> &use) const
{
    // Read in file order, so that nearby lines share a read, each distinct line once.
    std::vector<std::pair<qint32, size_t>> order; // (line, place in `lines`)
    order.reserve(lines.size());
    for (size_t k = 0; k < lines.size(); ++k) {
        if (lines[k] >= 0 && lines[k] < m_lineCount)
            order.emplace_back(lines[k], k);
        else
            use(k, std::numeric_limits<size_t>::max(), QByteArrayView());
    }
    std::sort(order.begin(), order.end());
    std::vector<ByteRange> ranges;
    std::vector<size_t> firstOf; // distinct line -> its first place in `order`
    for (size_t i = 0; i < order.size(); ++i) {
        const qint64 line = order[i].first;
        if (i == 0 || order[i - 1].first != line) {
            ranges.push_back({m_offsetsAt + 8 * line, m_offsetsAt + 8 * line + 16});
            firstOf.push_back(i);
        }
    }
    firstOf.push_back(order.size());
    // The lines' starts first (each with the next, its end), then their text.
    qint64 total = 0;
    readRanges(m_file->handle(), ranges, [&](size_t d, QByteArrayView bounds) {
        qint64 start = -1, end = -1;
        if (bounds.size() == 16) {
            std::memcpy(&start, bounds.data(), 8);
            std::memcpy(&end, bounds.data() + 8, 8);
        }
        if (start < 0 || start > end || end > m_textBytes)
            start = end = 0; // read as an empty line
        ranges[d] = {m_textAt + start, m_textAt + end};
        total += end - start;
    });
    // Distinct lines of a sound index do not overlap; starts damaged so that they do could
    // otherwise make the callers hold the text many times over.
    if (total > m_textBytes)
        std::fill(ranges.begin(), ranges.end(), ByteRange{});
    readRanges(m_file->handle(), ranges, [&](size_t d, QByteArrayView text) {
        for (size_t i = firstOf[d]; i < firstOf[d + 1]; ++i)
            use(order[i].second, d, text);
    });
}

void SnpInfoIndex::readLines(const std::vector<qint32> &lines,
                             const std::function<void(size_t, QByteArrayView)> &use) const
{
    if (!m_file) {
        for (size_t k = 0; k < lines.size(); ++k)
            use(k, imageText(lines[k]));
        return;
    }
    // Handed over in the callers' order: what they build from the lines (a sort's keys) then
    // lies in memory in the order it is walked, a sort by a text field a third quicker than one
    // over keys laid out in file order.
    QByteArray text;
    std::vector<std::pair<qsizetype, qsizetype>> spans(lines.size()); // (start in text, size)
    std::vector<qsizetype> distinctAt;                                // distinct line -> start
    gatherLines(lines, [&](size_t k, size_t d, QByteArrayView line) {
        if (d == std::numeric_limits<size_t>::max())
            return;
        if (d >= distinctAt.size()) {
            distinctAt.push_back(text.size());
            text.append(line);
        }
        spans[k] = {distinctAt[d], line.size()};
    });
    for (size_t k = 0; k < lines.size(); ++k)
        use(k, QByteArrayView(text).sliced(spans[k].first, spans[k].second));
}

int SnpInfoIndex::chromosome(qint64 line) const
{
    return line >= 0 && line < m_lineCount ? m_chromosomes[line] : 0;
}

void SnpInfoIndex::placeRows(const RowRecord *rows, size_t count, int *chromosomes, double *positions) const
{
    constexpr size_t NameAhead = 32, LineAhead = 16;
    for (size_t k = 0; k < count; ++k) {
        if (k + NameAhead < count)
            prefetchLineOf(rows[k + NameAhead].snpIndex);
        if (k + LineAhead < count) {
            const qint32 ahead = lineOfName(rows[k + LineAhead].snpIndex);
            if (ahead >= 0) {
                __builtin_prefetch(m_chromosomes + ahead);
                __builtin_prefetch(m_positions + ahead);
            }
        }
        const qint32 line = lineOfName(rows[k].snpIndex);
        chromosomes[k] = line >= 0 ? m_chromosomes[line] : 0;
        positions[k] = line >= 0 ? m_positions[line] : std::numeric_limits<double>::quiet_NaN();
    }
}

QString SnpInfoIndex::name(qint64 snpIndex) const
{
    return QString::fromUtf8(nameBytes(snpIndex, lineText(lineOfName(snpIndex))));
}

std::vector<QString> SnpInfoIndex::names(const std::vector<qint32> &snpIndexes) const
{
    std::vector<qint32> lines(snpIndexes.size());
    for (size_t k = 0; k < lines.size(); ++k)
        lines[k] = lineOfName(snpIndexes[k]);
    std::vector<QString> names(snpIndexes.size());
    if (!m_file) {
        for (size_t k = 0; k < names.size(); ++k)
            names[k] = QString::fromUtf8(nameBytes(snpIndexes[k], imageText(lines[k])));
        return names;
    }
    // Only the names' bytes are kept, then decoded in the callers' order (see readLines()).
    QByteArray bytes;
    std::vector<std::pair<qsizetype, qsizetype>> spans(snpIndexes.size());
    gatherLines(lines, [&](size_t k, size_t, QByteArrayView line) {
        const QByteArrayView name = nameBytes(snpIndexes[k], line);
        spans[k] = {bytes.size(), name.size()};
        bytes.append(name);
    });
    for (size_t k = 0; k < names.size(); ++k)
        names[k] = QString::fromUtf8(QByteArrayView(bytes).sliced(spans[k].first, spans[k].second));
    return names;
}

QByteArrayView SnpInfoIndex::nameBytes(qint64 snpIndex, QByteArrayView line) const
{
    // The line found for a name starts with that name's bytes (or, for a name that is not UTF-8,
    // with bytes that decode to the same text), so the list itself need not be kept.
    const auto tabbed = m_tabbedNames.constFind(snpIndex);
    return tabbed == m_tabbedNames.cend() ? nameOfLine(line)
                                          : line.first(std::min<qsizetype>(*tabbed, line.size()));
}

bool SnpInfoIndex::lineHasName(qint32 line, QByteArrayView name) const
{
    const QByteArray read = m_file ? lineText(line) : QByteArray();
    const QByteArrayView text = m_file ? QByteArrayView(read) : imageText(line);
    return text.startsWith(name) && (text.size() == name.size() || text.at(name.size()) == '\t');
}

qint32 SnpInfoIndex::findLine(QByteArrayView name) const
{
    qint32 found = -1;
    const quint64 hash = hashName(name);
    const qint32 tag = qint32(quint32(hash >> 32));
    quint64 slot = hash & m_slotMask;
    // Bounded, so that a damaged table without an empty slot cannot loop for ever.
    for (quint64 probes = 0; m_slots && probes <= m_slotMask; ++probes) {
        const qint32 line = m_slots[2 * slot];
        if (line < 0)
            break;
        if (m_slots[2 * slot + 1] == tag && lineHasName(line, name)) {
            found = line;
            break;
        }
        slot = (slot + 1) & m_slotMask;
    }
    if (!m_decodedLines.isEmpty())
        found = std::max(found, m_decodedLines.value(name.toByteArray(), -1));
    return found < m_lineCount ? found : -1;
}

// Builds the image in memory from the bytes of the two files.
struct SnpInfoIndexBuilder {
    static std::unique_ptr<SnpInfoIndex> build(QByteArrayView info, QByteArrayView list,
                                               const Stamp &infoStamp, const Stamp &listStamp)
    {
        // Counting pass: the lines, and the rare names the arrays cannot hold by their bytes.
        std::vector<qint64> tabbed;
        qint64 names = 0;
        forEachLine(list, [&](const char *p, qsizetype n) {
            if (QByteArrayView(p, n).contains('\t'))
                tabbed.insert(tabbed.end(), {names, n});
            ++names;
        });
        // Data lines: every piece ended by a line feed, and a last one without, less the header.
        qint64 pieces = info.count('\n') + (!info.isEmpty() && info.back() != '\n' ? 1 : 0);
        const qint64 lines = std::max<qint64>(pieces - 1, 0);
        if (lines > std::numeric_limits<qint32>::max() - 1 || names > std::numeric_limits<qint32>::max())
            return nullptr;
        qint64 slotCount = 16;
        while (slotCount < lines + lines / 2)
            slotCount <<= 1;
        // Sized for the largest text and every name not UTF-8; left uninitialised, so the pages
        // never written are never resident.
        const Layout most = layoutOf(lines, names, slotCount, lines, qint64(tabbed.size() / 2), info.size(),
                                     sizeof(SnpInfoIndex::Header));

        std::unique_ptr<SnpInfoIndex> index(new SnpInfoIndex);
        index->m_heap.reset(new quint64[size_t((most.end + 7) / 8)]);
        uchar *base = reinterpret_cast<uchar *>(index->m_heap.get());
        qint64 *offsets = reinterpret_cast<qint64 *>(base + most.offsets);
        qint32 *chromosomes = reinterpret_cast<qint32 *>(base + most.chromosomes);
        double *positions = reinterpret_cast<double *>(base + most.positions);
        qint32 *slotArray = reinterpret_cast<qint32 *>(base + most.slotTable);
        char *text = reinterpret_cast<char *>(base + most.text);

        // The text without line ends; chromosome (field 2) and position (field 3) parsed once.
        std::vector<qint32> decoded;
        qint64 line = -1;
        qint64 write = 0;
        offsets[0] = 0;
        forEachLine(info, [&](const char *p, qsizetype n) {
            if (line++ < 0)
                return;
            const char *end = p + n;
            const char *t1 = static_cast<const char *>(std::memchr(p, '\t', size_t(n)));
            if (!QByteArrayView(p, t1 ? t1 : end).isValidUtf8())
                decoded.push_back(qint32(line - 1));
            int chromosome = 0;
            double position = 0.0;
            if (t1) {
                const char *c = t1 + 1;
                const char *t2 = static_cast<const char *>(std::memchr(c, '\t', size_t(end - c)));
                const char *cEnd = t2 ? t2 : end;
                const std::optional<int> number = parseChromosome(QByteArrayView(c, cEnd - c));
                chromosome = number ? *number : parseNumber<int>(c, cEnd - c);
                if (t2) {
                    const char *q = t2 + 1;
                    const char *t3 = static_cast<const char *>(std::memchr(q, '\t', size_t(end - q)));
                    position = parseNumber<double>(q, (t3 ? t3 : end) - q);
                }
            }
            chromosomes[line - 1] = chromosome;
            positions[line - 1] = position;
            std::memcpy(text + write, p, size_t(n));
            write += n;
            offsets[line] = write;
        });

        const Layout l = layoutOf(lines, names, slotCount, qint64(decoded.size()), qint64(tabbed.size() / 2),
                                  write, sizeof(SnpInfoIndex::Header));
        std::memset(base + l.text + write, 0, size_t(l.decoded - l.text - write));
        if (!decoded.empty())
            std::memcpy(base + l.decoded, decoded.data(), decoded.size() * sizeof(qint32));
        std::memset(base + l.decoded + 4 * qint64(decoded.size()), 0,
                    size_t(l.tabbed - l.decoded - 4 * qint64(decoded.size())));
        if (!tabbed.empty())
            std::memcpy(base + l.tabbed, tabbed.data(), tabbed.size() * sizeof(qint64));
        std::memset(base + l.chromosomes + 4 * lines, 0, size_t(l.positions - l.chromosomes - 4 * lines));
        for (qint64 k = 0; k < slotCount; ++k) {
            slotArray[2 * k] = -1;
            slotArray[2 * k + 1] = 0;
        }

        SnpInfoIndex::Header h{};
        std::memcpy(h.magic, Magic, sizeof Magic);
        h.byteOrder = ByteOrderMark;
        h.version = Version;
        h.imageSize = l.end;
        h.snpInfo = infoStamp;
        h.snpList = listStamp;
        h.lineCount = lines;
        h.nameCount = names;
        h.slotCount = slotCount;
        h.decodedCount = qint64(decoded.size());
        h.tabbedCount = qint64(tabbed.size() / 2);
        h.textBytes = write;
        h.firstUnlisted = -1;
        h.headerHash = h.computeHash();
        std::memcpy(base, &h, sizeof h);
        if (!index->attach(base, l.end))
            return nullptr;

        // Name -> line, the last line of a repeated name winning.
        const quint64 mask = quint64(slotCount) - 1;
        for (qint64 i = 0; i < lines; ++i) {
            const QByteArrayView name = nameOfLine(index->imageText(i));
            const quint64 hash = hashName(name);
            const qint32 tag = qint32(quint32(hash >> 32));
            quint64 slot = hash & mask;
            for (;;) {
                qint32 *entry = slotArray + 2 * slot;
                if (entry[0] < 0 || (entry[1] == tag && index->lineHasName(entry[0], name))) {
                    entry[0] = qint32(i);
                    entry[1] = tag;
                    break;
                }
                slot = (slot + 1) & mask;
            }
        }

        // SNP index -> line. A name that is not UTF-8 is looked up by its decoded text, as the
        // tables look names up.
        // Millions of lookups at random places of the table and the text: a batch of names is
        // hashed and its slots and lines prefetched first, so that the memory waits overlap.
        qint32 *lineOf = reinterpret_cast<qint32 *>(base + l.lineOf);
        constexpr int Batch = 64;
        QByteArrayView batch[Batch];
        QByteArray decodedNames[Batch];
        int filled = 0;
        qint64 snpIndex = 0;
        const auto flush = [&] {
            for (int k = 0; k < filled; ++k)
                __builtin_prefetch(slotArray + 2 * (hashName(batch[k]) & mask));
            for (int k = 0; k < filled; ++k) {
                const qint32 first = slotArray[2 * (hashName(batch[k]) & mask)];
                if (first >= 0 && first < lines)
                    __builtin_prefetch(text + offsets[first]);
            }
            for (int k = 0; k < filled; ++k) {
                const qint32 found = index->findLine(batch[k]);
                lineOf[snpIndex] = found;
                if (found < 0 && h.firstUnlisted < 0)
                    h.firstUnlisted = snpIndex;
                ++snpIndex;
            }
            filled = 0;
        };
        forEachLine(list, [&](const char *p, qsizetype n) {
            // A name that is not UTF-8 is looked up by its decoded text, as the tables look
            // names up.
            const QByteArrayView bytes(p, n);
            if (bytes.isValidUtf8()) {
                batch[filled] = bytes;
            } else {
                decodedNames[filled] = QString::fromUtf8(bytes).toUtf8();
                batch[filled] = decodedNames[filled];
            }
            if (++filled == Batch)
                flush();
        });
        flush();
        index->m_firstUnlisted = h.firstUnlisted;
        h.headerHash = h.computeHash();
        std::memcpy(base, &h, sizeof h);
        return index;
    }
};

namespace {

// The image goes through a temporary file renamed into place, every write checked, so a full
// disk leaves the earlier cache (or none), never half of one.
bool saveImage(const QString &path, const char *data, qint64 size)
{
    return AtomicFile::writeWhole(path, QByteArrayView(data, size));
}

std::unique_ptr<SnpInfoIndex> mapCache(const QString &path, const Stamp &info, const Stamp &list);

} // namespace

// Friend access to the constructor and attach() for the cache reader.
struct SnpInfoIndexMapper {
    static std::unique_ptr<SnpInfoIndex> map(const QString &path, const Stamp &info, const Stamp &list)
    {
        auto file = std::make_unique<QFile>(path);
        if (!openRegularFile(*file) || file->size() < qint64(sizeof(SnpInfoIndex::Header)))
            return nullptr;
        const uchar *base = file->map(0, file->size());
        if (!base)
            return nullptr;
        SnpInfoIndex::Header h;
        std::memcpy(&h, base, sizeof h);
        if (!(h.snpInfo == info) || !(h.snpList == list))
            return nullptr;
        std::unique_ptr<SnpInfoIndex> index(new SnpInfoIndex);
        if (!index->attach(base, file->size()))
            return nullptr;
        index->m_file = std::move(file);
        return index;
    }
};

namespace {

std::unique_ptr<SnpInfoIndex> mapCache(const QString &path, const Stamp &info, const Stamp &list)
{
    return SnpInfoIndexMapper::map(path, info, list);
}

} // namespace

SnpInfoIndex::Opened SnpInfoIndex::open(const QString &folder, const QString &snpInfoPath,
                                        const QString &snpListPath)
{
    Opened result;
    const QString cachePath = folder + QLatin1Char('/') + QLatin1String(FileName);
    const Stamp infoStamp = stampOf(snpInfoPath);
    const Stamp listStamp = stampOf(snpListPath);
    if (infoStamp.size >= 0 && listStamp.size >= 0) {
        if (auto index = mapCache(cachePath, infoStamp, listStamp)) {
            result.index = std::move(index);
            result.cached = true;
            return result;
        }
    }

    QFile infoFile(snpInfoPath);
    QFile listFile(snpListPath);
    QByteArray infoOwned, listOwned;
    QByteArrayView info, list;
    if (!readSource(infoFile, infoOwned, info)) {
        result.error =
            QStringLiteral("the SNP information file %1 cannot be read to its end.").arg(snpInfoPath);
        return result;
    }
    if (!readSource(listFile, listOwned, list)) {
        result.error = QStringLiteral("SNPlist.dat cannot be read.");
        return result;
    }
    std::unique_ptr<SnpInfoIndex> built = SnpInfoIndexBuilder::build(info, list, infoStamp, listStamp);
    if (!built) {
        result.error = QStringLiteral("the SNP information file %1 has too many lines.").arg(snpInfoPath);
        return result;
    }
    result.built = true;
    infoFile.close();
    listFile.close();
    infoOwned.clear();
    listOwned.clear();

    // Cached only when both files were stamped: a file that changed while it was read would
    // otherwise be trusted next time.
    const qint64 size = reinterpret_cast<const Header *>(built->m_heap.get())->imageSize;
    if (infoStamp == stampOf(snpInfoPath) && listStamp == stampOf(snpListPath)
        && saveImage(cachePath, reinterpret_cast<const char *>(built->m_heap.get()), size)) {
        if (auto mapped = mapCache(cachePath, infoStamp, listStamp)) {
            result.index = std::move(mapped);
            result.cached = true;
            return result;
        }
    }
    result.index = std::move(built);
    return result;
}

SnpNameList::SnpNameList(std::shared_ptr<const SnpInfoIndex> index)
    : m_index(std::move(index))
{
}

QStringList SnpNameList::toStringList() const
{
    if (!m_index)
        return QStringList();
    std::vector<qint32> indexes(static_cast<size_t>(size()));
    std::iota(indexes.begin(), indexes.end(), 0);
    const std::vector<QString> read = m_index->names(indexes);
    return QStringList(read.begin(), read.end());
}

} // namespace quillmap
