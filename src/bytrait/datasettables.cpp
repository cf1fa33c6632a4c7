#include "bytrait/datasettables.h"

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
    return h ^ (h >> 29);
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

int DatasetTables::findSnpLine(const char *name, qsizetype length) const
{
    if (m_snpHashSlots.empty())
        return -1;
    const char *text = m_snpText.constData();
    quint64 slot = hashName(name, length) & m_snpHashMask;
    for (;;) {
        const qint32 line = m_snpHashSlots[slot];
        if (line < 0)
            return -1;
        const qint64 start = m_snpLineOffsets[line];
        const qint64 end = m_snpLineOffsets[line + 1];
        if (end - start >= length && std::memcmp(text + start, name, size_t(length)) == 0
            && (end - start == length || text[start + length] == '\t'))
            return line;
        slot = (slot + 1) & m_snpHashMask;
    }
}

void DatasetTables::buildSnpLineHash()
{
    const int lines = snpLineCount();
    quint64 size = 16;
    while (size < quint64(lines) * 2)
        size <<= 1;
    m_snpHashSlots.assign(size, -1);
    m_snpHashMask = size - 1;
    const char *text = m_snpText.constData();
    for (int line = 0; line < lines; ++line) {
        const qint64 start = m_snpLineOffsets[line];
        const qint64 end = m_snpLineOffsets[line + 1];
        const void *tab = std::memchr(text + start, '\t', size_t(end - start));
        const qsizetype length = tab ? static_cast<const char *>(tab) - (text + start) : end - start;
        quint64 slot = hashName(text + start, length) & m_snpHashMask;
        for (;;) {
            const qint32 other = m_snpHashSlots[slot];
            if (other < 0) {
                m_snpHashSlots[slot] = line;
                break;
            }
            const qint64 oStart = m_snpLineOffsets[other];
            const qint64 oEnd = m_snpLineOffsets[other + 1];
            if (oEnd - oStart >= length
                && std::memcmp(text + oStart, text + start, size_t(length)) == 0
                && (oEnd - oStart == length || text[oStart + length] == '\t')) {
                // A repeated SNP name maps to its last line.
                m_snpHashSlots[slot] = line;
                break;
            }
            slot = (slot + 1) & m_snpHashMask;
        }
    }
}

int DatasetTables::snpLine(const QString &snpName) const
{
    const QByteArray bytes = snpName.toUtf8();
    return findSnpLine(bytes.constData(), bytes.size());
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
    m_lineOfSnpIndex.assign(size_t(snpNames.size()), -1);
    for (qsizetype i = 0; i < snpNames.size(); ++i)
        m_lineOfSnpIndex[size_t(i)] = snpLine(snpNames.at(i));
}
