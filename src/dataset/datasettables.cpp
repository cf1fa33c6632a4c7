#include "dataset/datasettables.h"

#include <QByteArrayView>

#include <algorithm>
#include <cstring>

namespace {

inline quint64 hashName(const char *name, qsizetype length)
{
    // FNV-1a: names are short, and the table only needs a good spread.
    quint64 h = 1469598103934665603ULL;
    for (qsizetype i = 0; i < length; ++i) {
        h ^= quint8(name[i]);
        h *= 1099511628211ULL;
    }
    // FNV leaves the low bits of similar names (rs0000001, rs0000002...) poorly mixed, and the
    // table is indexed by the low bits: finish with the MurmurHash3 mixer.
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

} // namespace

DatasetTables &datasetTables()
{
    static DatasetTables tables;
    return tables;
}

void DatasetTables::clear()
{
    *this = DatasetTables();
}

int DatasetTables::snpLineCount() const
{
    return int(m_snpLineOffsets.size()) - 1;
}

bool DatasetTables::lineHasName(qint32 line, const char *name, qsizetype length) const
{
    const qint64 start = m_snpLineOffsets[size_t(line)];
    const qint64 end = m_snpLineOffsets[size_t(line) + 1];
    const char *text = m_snpText.constData();
    return end - start >= length && std::memcmp(text + start, name, size_t(length)) == 0
        && (end - start == length || text[start + length] == '\t');
}

int DatasetTables::findSnpLine(const char *name, qsizetype length, quint64 hash) const
{
    int found = -1;
    if (!m_snpHashSlots.empty()) {
        const quint32 tag = quint32(hash >> 32);
        quint64 slot = hash & m_snpHashMask;
        for (;;) {
            const HashSlot &entry = m_snpHashSlots[slot];
            if (entry.line < 0)
                break;
            if (entry.tag == tag && lineHasName(entry.line, name, length)) {
                found = entry.line;
                break;
            }
            slot = (slot + 1) & m_snpHashMask;
        }
    }
    if (!m_snpDecodedLines.isEmpty())
        found = std::max(found, m_snpDecodedLines.value(QByteArray(name, length), -1));
    return found;
}

void DatasetTables::buildSnpLineHash()
{
    const int lines = snpLineCount();
    quint64 size = 16;
    while (size < quint64(lines) * 2)
        size <<= 1;
    m_snpHashSlots.assign(size, HashSlot());
    m_snpHashMask = size - 1;
    m_snpDecodedLines.clear();
    const char *text = m_snpText.constData();
    for (int line = 0; line < lines; ++line) {
        const qint64 start = m_snpLineOffsets[size_t(line)];
        const qint64 end = m_snpLineOffsets[size_t(line) + 1];
        const void *tab = std::memchr(text + start, '\t', size_t(end - start));
        const qsizetype length = tab ? static_cast<const char *>(tab) - (text + start) : end - start;
        // The import reads names as UTF-8 and lists bytes that are not UTF-8 by their decoded
        // text in SNPlist.dat; such a name is found by that text, the last line winning.
        const QByteArrayView name(text + start, length);
        if (!name.isValidUtf8())
            m_snpDecodedLines.insert(QString::fromUtf8(name).toUtf8(), line);
        const quint64 hash = hashName(text + start, length);
        const quint32 tag = quint32(hash >> 32);
        quint64 slot = hash & m_snpHashMask;
        for (;;) {
            HashSlot &entry = m_snpHashSlots[slot];
            if (entry.line < 0) {
                entry = HashSlot{line, tag};
                break;
            }
            if (entry.tag == tag && lineHasName(entry.line, text + start, length)) {
                // A repeated SNP name maps to its last line.
                entry.line = line;
                break;
            }
            slot = (slot + 1) & m_snpHashMask;
        }
    }
}

int DatasetTables::snpLine(const QString &snpName) const
{
    const QByteArray bytes = snpName.toUtf8();
    return findSnpLine(bytes.constData(), bytes.size(), hashName(bytes.constData(), bytes.size()));
}

void DatasetTables::mapSnpIndexesToLines()
{
    // Millions of lookups at random places of the table and the text: the names are encoded and
    // hashed a batch at a time and their slots prefetched, so the memory waits overlap.
    const qsizetype count = snpNames.size();
    m_lineOfSnpIndex.assign(size_t(count), -1);
    constexpr qsizetype Batch = 64;
    std::vector<QByteArray> names(Batch);
    quint64 hashes[Batch];
    for (qsizetype first = 0; first < count; first += Batch) {
        const qsizetype n = std::min(Batch, count - first);
        for (qsizetype k = 0; k < n; ++k) {
            const QString &name = snpNames.at(first + k);
            QByteArray &bytes = names[size_t(k)];
            bytes.resize(name.size());
            bool ascii = true;
            for (qsizetype c = 0; c < name.size(); ++c) {
                const char16_t u = name.at(c).unicode();
                ascii &= u < 0x80;
                bytes[c] = char(u);
            }
            if (!ascii)
                bytes = name.toUtf8();
            hashes[k] = hashName(bytes.constData(), bytes.size());
            if (!m_snpHashSlots.empty())
                __builtin_prefetch(&m_snpHashSlots[hashes[k] & m_snpHashMask]);
        }
        for (qsizetype k = 0; k < n; ++k) {
            if (m_snpHashSlots.empty())
                break;
            const qint32 line = m_snpHashSlots[hashes[k] & m_snpHashMask].line;
            if (line >= 0)
                __builtin_prefetch(m_snpText.constData() + m_snpLineOffsets[size_t(line)]);
        }
        for (qsizetype k = 0; k < n; ++k) {
            const QByteArray &bytes = names[size_t(k)];
            m_lineOfSnpIndex[size_t(first + k)] =
                findSnpLine(bytes.constData(), bytes.size(), hashes[k]);
        }
    }
}

int DatasetTables::snpLineOfIndex(int snpIndex) const
{
    if (snpIndex < 0 || size_t(snpIndex) >= m_lineOfSnpIndex.size())
        return -1;
    return m_lineOfSnpIndex[size_t(snpIndex)];
}

QString DatasetTables::snpLineText(int line) const
{
    if (line < 0 || line >= snpLineCount())
        return QString();
    const qint64 start = m_snpLineOffsets[size_t(line)];
    const qint64 end = m_snpLineOffsets[size_t(line) + 1];
    return QString::fromUtf8(m_snpText.constData() + start, end - start);
}

QStringList DatasetTables::snpFields(int line) const
{
    if (line < 0 || line >= snpLineCount())
        return QStringList();
    QStringList fields = snpLineText(line).split(QLatin1Char('\t'));
    fields.removeFirst();
    return fields;
}

int DatasetTables::snpChromosome(int line) const
{
    if (line < 0 || line >= snpLineCount())
        return 0;
    return m_snpChromosomes[size_t(line)];
}

double DatasetTables::snpPosition(int line) const
{
    if (line < 0 || line >= snpLineCount())
        return 0.0;
    return m_snpPositions[size_t(line)];
}

int DatasetTables::snpIndexOf(const QString &snpName) const
{
    // SNPlist.dat is sorted by the same plain string order.
    const auto it = std::lower_bound(snpNames.cbegin(), snpNames.cend(), snpName);
    if (it == snpNames.cend() || *it != snpName)
        return -1;
    return int(it - snpNames.cbegin());
}

qint64 DatasetTables::traitFirstRecord(int traitIndex) const
{
    if (traitIndex < 0 || traitIndex >= traitNames.size())
        return -1;
    return traitFirstRecord(traitNames.at(traitIndex));
}

qint64 DatasetTables::traitFirstRecord(const QString &traitName) const
{
    return m_traitFirst.value(traitName, -1);
}

int DatasetTables::traitRecordCount(int traitIndex) const
{
    if (traitIndex < 0 || traitIndex >= traitNames.size())
        return 0;
    return traitRecordCounts.value(traitNames.at(traitIndex), 0);
}

qint64 DatasetTables::binFirstRecord(int bin) const
{
    const auto it = std::lower_bound(m_bins.cbegin(), m_bins.cend(), bin);
    if (it == m_bins.cend())
        return m_binTotal;
    return m_binFirst[size_t(it - m_bins.cbegin())];
}

int DatasetTables::binRecordCount(int bin) const
{
    return binRecordCounts.value(bin, 0);
}

void DatasetTables::finishLoading()
{
    m_traitFirst.clear();
    m_traitFirst.reserve(traitRecordCounts.size());
    qint64 sum = 0;
    for (auto it = traitRecordCounts.cbegin(); it != traitRecordCounts.cend(); ++it) {
        m_traitFirst.insert(it.key(), sum);
        sum += it.value();
    }
    m_traitTotal = sum;

    m_bins.clear();
    m_binFirst.clear();
    m_bins.reserve(size_t(binRecordCounts.size()));
    m_binFirst.reserve(size_t(binRecordCounts.size()));
    sum = 0;
    for (auto it = binRecordCounts.cbegin(); it != binRecordCounts.cend(); ++it) {
        m_bins.push_back(it.key());
        m_binFirst.push_back(sum);
        sum += it.value();
    }
    m_binTotal = sum;

    buildSnpLineHash();
    mapSnpIndexesToLines();
}
