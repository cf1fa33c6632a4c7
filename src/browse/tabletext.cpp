#include "browse/tabletext.h"

#include "dataset/datasettables.h"
#include "dataset/positionbin.h"

#include <QString>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

namespace quillmap {

namespace {

// Powers of ten from 1e-60 to 1e60; 10^(5 - k) for every float's decimal exponent k.
struct PowersOfTen {
    double value[121];
    PowersOfTen()
    {
        for (int i = 0; i < 121; ++i)
            value[i] = std::pow(10.0, i - 60);
    }
    double operator()(int exponent) const { return value[exponent + 60]; }
};
const PowersOfTen powerOfTen;

char *slowNumber(float value, char *out)
{
    const QByteArray text = QString::number(double(value), 'g', 6).toLatin1();
    std::memcpy(out, text.constData(), size_t(text.size()));
    return out + text.size();
}

// A field as the listing writes it at `out`: tabs, carriage returns and line feeds become
// blanks. Returns the end.
char *putField(char *out, QByteArrayView field)
{
    const qsizetype n = field.size();
    if (n > 0)
        std::memcpy(out, field.data(), size_t(n));
    for (qsizetype i = 0; i < n; ++i)
        if (out[i] == '\t' || out[i] == '\n' || out[i] == '\r')
            out[i] = ' ';
    return out + n;
}

qsizetype tabIn(QByteArrayView text)
{
    const void *tab = text.isEmpty() ? nullptr : std::memchr(text.data(), '\t', size_t(text.size()));
    return tab ? static_cast<const char *>(tab) - text.data() : -1;
}

// Text as the table shows it decoded and the listing encodes it again: the same bytes for
// UTF-8, the replacement character for what is not.
QByteArrayView asUtf8(QByteArrayView bytes, QByteArray &scratch)
{
    if (bytes.isValidUtf8())
        return bytes;
    scratch = QString::fromUtf8(bytes).toUtf8();
    return scratch;
}

} // namespace

char *formatNumber6(float value, char *out)
{
    const double d = double(value);
    if (!std::isfinite(d) || d == 0.0)
        return slowNumber(value, out);
    const double a = std::fabs(d);
    // floor(log10(a)) or one less, from the binary exponent; the check below settles which.
    int binary = 0;
    std::frexp(a, &binary);
    int k = int(std::floor((binary - 1) * 0.30102999566398120));
    double s = a * powerOfTen(5 - k);
    if (s >= 1000000.0) {
        ++k;
        s = a * powerOfTen(5 - k);
    }
    // The scaled value is within 1e-9 of the exact one; a fraction near one half is a possible
    // tie, which the exact conversion settles.
    const double fraction = s - std::floor(s);
    if (std::fabs(fraction - 0.5) < 1e-6)
        return slowNumber(value, out);
    qint64 digits = qint64(std::floor(s)) + (fraction > 0.5 ? 1 : 0);
    if (digits == 1000000) {
        digits = 100000;
        ++k;
    }
    char six[6];
    for (int i = 5; i >= 0; --i) {
        six[i] = char('0' + digits % 10);
        digits /= 10;
    }
    int used = 6;
    while (used > 1 && six[used - 1] == '0')
        --used;
    if (d < 0)
        *out++ = '-';
    if (k < -4 || k >= 6) {
        *out++ = six[0];
        if (used > 1) {
            *out++ = '.';
            for (int i = 1; i < used; ++i)
                *out++ = six[i];
        }
        *out++ = 'e';
        *out++ = k < 0 ? '-' : '+';
        const int e = k < 0 ? -k : k;
        if (e < 10)
            *out++ = '0';
        return std::to_chars(out, out + 4, e).ptr;
    }
    if (k >= 0) {
        for (int i = 0; i <= k; ++i)
            *out++ = six[i];
        if (used > k + 1) {
            *out++ = '.';
            for (int i = k + 1; i < used; ++i)
                *out++ = six[i];
        }
        return out;
    }
    *out++ = '0';
    *out++ = '.';
    for (int i = 0; i < -k - 1; ++i)
        *out++ = '0';
    for (int i = 0; i < used; ++i)
        *out++ = six[i];
    return out;
}

TableText::TableText(const DatasetTables &tables)
    : m_tables(tables)
{
}

QByteArray TableText::header() const
{
    QByteArray out;
    for (qsizetype i = 0; i < m_tables.columnHeaders.size(); ++i) {
        const QByteArray title = m_tables.columnHeaders[i].toUtf8();
        const qsizetype at = out.size();
        out.resize(at + title.size() + 1);
        char *end = putField(out.data() + at, title);
        *end = i + 1 < m_tables.columnHeaders.size() ? '\t' : '\n';
    }
    if (out.isEmpty())
        out = "\n";
    return out;
}

void TableText::appendRows(const ResultRows &rows, int begin, int end, QByteArray &out) const
{
    const SnpInfoIndex *index = m_tables.snpInfoIndex();
    const int m = m_tables.extraSnpColumns;
    const int e = m_tables.extraStats;
    const int columns = m_tables.tableColumnCount;
    if (m_traitText.size() != size_t(m_tables.traitNames.size()))
        m_traitText.assign(size_t(m_tables.traitNames.size()), QByteArray());
    QByteArray scratch, lineScratch;
    std::vector<char> row;
    size_t used = 0;
    begin = std::max(begin, 0);
    end = std::min(end, rows.count());
    // Rows come in genome order, the SNP information lines in file order: every look-up would
    // wait on memory. So the lines, then their text and positions, are each found in a pass of
    // their own, whose loads do not wait on one another, and the text asked for ahead.
    constexpr int NameAhead = 64, TextAhead = 16;
    const size_t count = size_t(std::max(end - begin, 0));
    std::vector<qint32> lines(count);
    for (int k = begin; k < end; ++k) {
        if (index && k + NameAhead < end)
            index->prefetchLineOf(rows.rows[size_t(k + NameAhead)].snpIndex);
        lines[size_t(k - begin)] = m_tables.snpLineOfIndex(rows.rows[size_t(k)].snpIndex);
    }
    // A SNP without a line in the SNP information file shows the first line's fields, as the
    // table does.
    std::vector<QByteArrayView> wholes(count);
    std::vector<double> megabases(count);
    for (size_t j = 0; index && j < count; ++j) {
        const int line = lines[j] < 0 ? 0 : lines[j];
        wholes[j] = index->mappedLine(line);
        megabases[j] = index->position(line);
    }
    for (int k = begin; k < end; ++k) {
        if (k + TextAhead < end)
            __builtin_prefetch(wholes[size_t(k + TextAhead - begin)].data());
        const RowRecord &rec = rows.rows[size_t(k)];
        QByteArrayView trait;
        if (rec.traitIndex >= 0 && rec.traitIndex < qsizetype(m_traitText.size())) {
            QByteArray &text = m_traitText[size_t(rec.traitIndex)];
            if (text.isNull()) {
                const QByteArray name = m_tables.traitNames[rec.traitIndex].toUtf8();
                text.resize(name.size());
                putField(text.data(), name); // not null even when empty: the name is known
            }
            trait = text;
        }
        const int own = lines[size_t(k - begin)];
        const QByteArrayView mapped = wholes[size_t(k - begin)];
        const QByteArrayView name = index
            ? asUtf8(index->nameIn(rec.snpIndex, own < 0 ? QByteArrayView() : mapped), scratch)
            : QByteArrayView();
        // The line's fields after the name: chromosome, position (shown in bp), the M extras.
        const int line = own < 0 ? 0 : own;
        const bool hasFields = index && line < m_tables.snpLineCount();
        QByteArrayView rest;
        if (hasFields) {
            const QByteArrayView whole = asUtf8(mapped, lineScratch);
            const qsizetype tab = tabIn(whole);
            rest = tab < 0 ? QByteArrayView() : whole.sliced(tab + 1);
        }
        // Room for every byte this row can take: the texts, 16 per number, the separators.
        const size_t room = size_t(trait.size() + name.size() + rest.size()) + 16 * size_t(e + 2)
            + size_t(m + e) + 8;
        if (row.size() < used + room)
            row.resize(std::max(2 * row.size(), used + room));
        char *p = row.data() + used;
        p = putField(p, trait);
        *p++ = '\t';
        p = putField(p, name);
        for (int f = 0; f < m + 2; ++f) {
            // M + 2 cells whatever the line holds; a field it lacks is empty.
            const qsizetype tab = tabIn(rest);
            const QByteArrayView field = tab < 0 ? rest : rest.first(tab);
            rest = tab < 0 ? QByteArrayView() : rest.sliced(tab + 1);
            *p++ = '\t';
            if (f == 1) {
                // The index parsed this field as the table's reading of its text does.
                const qint32 bp = hasFields ? positionBasePairs(megabases[size_t(k - begin)]).value_or(0) : 0;
                p = std::to_chars(p, p + 16, bp).ptr;
            } else {
                p = putField(p, field);
            }
        }
        *p++ = '\t';
        p = formatNumber6(rec.firstStat, p);
        for (int s = 0; s < e && s + m + 5 < columns; ++s) {
            *p++ = '\t';
            if (rows.extraCount == e)
                p = formatNumber6(rows.extraStats[size_t(k) * size_t(e) + size_t(s)], p);
        }
        *p++ = '\n';
        used = size_t(p - row.data());
    }
    out.append(row.data(), qsizetype(used));
}

} // namespace quillmap
