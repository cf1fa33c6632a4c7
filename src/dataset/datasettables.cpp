#include "dataset/datasettables.h"

#include "dataset/datasetfiles.h"
#include "io/linereader.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace quillmap {

void DatasetTables::clear()
{
    *this = DatasetTables();
}

namespace {

bool isAscii(QByteArrayView text)
{
    for (const char c : text)
        if (uchar(c) >= 0x80)
            return false;
    return true;
}

// `a` before `b` in the table's name order (UTF-16 code units); bytes order alike for ASCII.
bool namesAscend(QByteArrayView a, QByteArrayView b)
{
    if (!isAscii(a) || !isAscii(b))
        return QString::fromUtf8(a) < QString::fromUtf8(b);
    const int c = std::memcmp(a.data(), b.data(), size_t(std::min(a.size(), b.size())));
    return c < 0 || (c == 0 && a.size() < b.size());
}

} // namespace

bool DatasetTables::snpIndexIsNameOrder() const
{
    if (m_snpNameOrder >= 0)
        return m_snpNameOrder == 1;
    LineReader reader;
    bool ordered = reader.open(files::datasetFilePath(folder, files::SnpList));
    std::vector<char> previous;
    qint64 count = 0;
    QByteArrayView line;
    while (ordered && reader.readLine(line)) {
        if (count++ > 0)
            ordered = namesAscend(QByteArrayView(previous.data(), qsizetype(previous.size())), line);
        previous.assign(line.begin(), line.end());
    }
    ordered = ordered && !reader.failed() && count == snpNames.size();
    m_snpNameOrder = ordered ? 1 : 0;
    return ordered;
}

int DatasetTables::snpLineCount() const
{
    return m_snp ? int(m_snp->lineCount()) : 0;
}

int DatasetTables::snpLine(const QString &snpName) const
{
    return m_snp ? m_snp->findLine(snpName.toUtf8()) : -1;
}

int DatasetTables::snpLineOfIndex(int snpIndex) const
{
    return m_snp ? m_snp->lineOfName(snpIndex) : -1;
}

QString DatasetTables::snpLineText(int line) const
{
    return m_snp ? QString::fromUtf8(m_snp->lineText(line)) : QString();
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
    return m_snp ? m_snp->chromosome(line) : 0;
}

double DatasetTables::snpPosition(int line) const
{
    return m_snp ? m_snp->position(line) : 0.0;
}

void DatasetTables::placeRows(const RowRecord *rows, size_t count, int *chromosomes, double *positions) const
{
    if (m_snp) {
        m_snp->placeRows(rows, count, chromosomes, positions);
        return;
    }
    std::fill(chromosomes, chromosomes + count, 0);
    std::fill(positions, positions + count, std::numeric_limits<double>::quiet_NaN());
}

std::vector<QString> DatasetTables::snpNamesOf(const std::vector<qint32> &snpIndexes) const
{
    return m_snp ? m_snp->names(snpIndexes) : std::vector<QString>(snpIndexes.size());
}

void DatasetTables::readSnpLines(const std::vector<qint32> &lines,
                                 const std::function<void(size_t, QByteArrayView)> &use) const
{
    if (m_snp) {
        m_snp->readLines(lines, use);
        return;
    }
    for (size_t k = 0; k < lines.size(); ++k)
        use(k, QByteArrayView());
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

    m_binHasRecords.assign(65536, false);
    for (auto it = binRecordCounts.cbegin(); it != binRecordCounts.cend(); ++it) {
        const qint64 slot = qint64(it.key()) + 32768;
        if (slot >= 0 && slot < 65536 && it.value() > 0)
            m_binHasRecords[size_t(slot)] = true;
    }
}

} // namespace quillmap
