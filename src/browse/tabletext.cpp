#include "browse/tabletext.h"

#include "dataset/datasettables.h"
#include "dataset/positionbin.h"
#include "dataset/snpinfoindex.h"

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

constexpr char DigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

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

// The position in bp as the index parsed it (the table's reading of its text).
char *putBasePairs(char *out, double megabase)
{
    // Rounding half away from zero, as positionBasePairs() does, without its library call for
    // the usual position.
    const double bp = megabase * 1000000.0;
    if (bp >= 0.0 && bp < 2147483647.0) {
        const auto whole = qint32(bp);
        return std::to_chars(out, out + 16, whole + (bp - double(whole) >= 0.5 ? 1 : 0)).ptr;
    }
    return std::to_chars(out, out + 16, positionBasePairs(megabase).value_or(0)).ptr;
}

bool isAscii(QByteArrayView text)
{
    const char *p = text.data();
    const char *const end = p + text.size();
    quint64 high = 0;
    for (; end - p >= 8; p += 8) {
        quint64 word = 0;
        std::memcpy(&word, p, sizeof word);
        high |= word;
    }
    for (; p < end; ++p)
        high |= quint64(uchar(*p));
    return (high & 0x8080808080808080ull) == 0;
}

// The row's SNP cells from its line (name, chromosome, position as bp, the M extras), for the
// common line: ASCII, its name the text before the first tab, and at least the position's tab.
// One pass over the line's bytes. Null, with nothing promised at `out`, for any other line.
char *plainFields(QByteArrayView line, double megabase, int extras, char *out)
{
    const char *c = line.data();
    const char *const end = c + line.size();
    // Copies bytes up to the next tab or the end, line ends written as blanks; returns the stop.
    const auto copyField = [&](char *&p) {
        for (; c < end && *c != '\t'; ++c)
            *p++ = *c == '\n' || *c == '\r' ? ' ' : *c;
    };
    copyField(out); // the name
    if (c == end)
        return nullptr;
    *out++ = *c++;
    copyField(out); // the chromosome
    if (c == end)
        return nullptr;
    ++c;
    *out++ = '\t';
    out = putBasePairs(out, megabase);
    while (c < end && *c != '\t') // the position as written
        ++c;
    for (int f = 0; f < extras; ++f) {
        *out++ = '\t';
        if (c < end) {
            ++c;
            copyField(out);
        }
    }
    return out;
}

} // namespace

char *formatNumber6(float value, char *out)
{
    quint32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const int biased = int((bits >> 23) & 0xffu);
    // Zero, subnormals, infinities and NaN are rare enough for the exact conversion.
    if (biased == 0 || biased == 0xff)
        return slowNumber(value, out);
    const double a = std::fabs(double(value));
    // floor(log10(a)) or one less: floor(binary exponent x log10(2)), the check below settles.
    int k = ((biased - 127) * 78913) >> 18;
    double s = a * powerOfTen(5 - k);
    if (s >= 1000000.0) {
        ++k;
        s = a * powerOfTen(5 - k);
    }
    // The scaled value is within 1e-9 of the exact one; a fraction near one half is a possible
    // tie, which the exact conversion settles.
    const auto whole = qint64(s);
    const double fraction = s - double(whole);
    if (std::fabs(fraction - 0.5) < 1e-6)
        return slowNumber(value, out);
    qint64 digits = whole + (fraction > 0.5 ? 1 : 0);
    if (digits == 1000000) {
        digits = 100000;
        ++k;
    }
    // Six digits as one word, the first in the lowest byte; those after the last non-zero one
    // are not written. Every store below may run past what it keeps: the caller gives 16 bytes.
    const auto pair = [](int n, char *at) { std::memcpy(at, DigitPairs + 2 * n, 2); };
    char six[16] = {};
    pair(int(digits / 10000), six);
    pair(int(digits / 100 % 100), six + 2);
    pair(int(digits % 100), six + 4);
    quint64 word = 0;
    std::memcpy(&word, six, sizeof word);
    const int used = (63 - __builtin_clzll(word ^ 0x303030303030ull)) / 8 + 1; // digits[0] is not 0
    *out = '-';
    out += bits >> 31;
    if (k < -4 || k >= 6) {
        *out++ = six[0];
        if (used > 1) {
            *out++ = '.';
            std::memcpy(out, six + 1, size_t(used - 1));
            out += used - 1;
        }
        *out++ = 'e';
        *out++ = k < 0 ? '-' : '+';
        pair(k < 0 ? -k : k, out); // a float's decimal exponent has at most two digits
        return out + 2;
    }
    if (k >= 0) {
        // The integer digits, the point, the fraction's digits; the point is kept only when a
        // fraction digit is.
        std::memcpy(out, six, 6);
        std::memcpy(out + k + 2, six + k + 1, 8);
        out[k + 1] = '.';
        return out + (used > k + 1 ? used + 1 : k + 1);
    }
    // "0." and -k - 1 zeros, then the digits.
    std::memcpy(out, "0.000000", 8);
    out += 1 - k;
    std::memcpy(out, six, 6);
    return out + used;
}

TableText::TableText(const DatasetTables &tables)
    : m_tables(tables),
      m_index(tables.snpInfoIndex())
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

QByteArrayView TableText::traitText(int traitIndex) const
{
    if (m_traitText.size() != size_t(m_tables.traitNames.size()))
        m_traitText.assign(size_t(m_tables.traitNames.size()), QByteArray());
    if (traitIndex < 0 || traitIndex >= qsizetype(m_traitText.size()))
        return {};
    QByteArray &text = m_traitText[size_t(traitIndex)];
    if (text.isNull()) {
        const QByteArray name = m_tables.traitNames[traitIndex].toUtf8();
        text.resize(name.size());
        putField(text.data(), name); // not null even when empty: the name is known
    }
    return text;
}

void TableText::appendRows(const ResultRows &rows, int begin, int end, QByteArray &out) const
{
    const SnpInfoIndex *index = m_index;
    const int m = m_tables.extraSnpColumns;
    const int e = m_tables.extraStats;
    const int columns = m_tables.tableColumnCount;
    QByteArray scratch, lineScratch;
    // Rows are written straight into `out`, grown by doubling and cut to size at the end.
    qsizetype used = out.size();
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
        lines[size_t(k - begin)] = index ? index->lineOfName(rows.rows[size_t(k)].snpIndex) : -1;
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
    const bool plainNames = !index || !index->hasTabbedNames();
    int lastTrait = -1;
    QByteArrayView trait;
    for (int k = begin; k < end; ++k) {
        if (k + TextAhead < end)
            __builtin_prefetch(wholes[size_t(k + TextAhead - begin)].data());
        const RowRecord &rec = rows.rows[size_t(k)];
        if (rec.traitIndex != lastTrait) {
            lastTrait = rec.traitIndex;
            trait = traitText(rec.traitIndex);
        }
        const int own = lines[size_t(k - begin)];
        const QByteArrayView mapped = wholes[size_t(k - begin)];
        const double megabase = megabases[size_t(k - begin)];
        // Room for every byte this row can take: the texts, 16 per number, the separators.
        const size_t room = size_t(trait.size() + 2 * mapped.size()) + 16 * size_t(e + 2) + size_t(m + e) + 8;
        if (size_t(out.size()) < size_t(used) + room)
            out.resize(qsizetype(std::max(2 * size_t(out.size()), size_t(used) + room)));
        char *p = out.data() + used;
        p = putField(p, trait);
        *p++ = '\t';
        char *fields = own >= 0 && plainNames && isAscii(mapped) ? plainFields(mapped, megabase, m, p)
                                                                 : nullptr;
        if (!fields) {
            // A name that is not UTF-8 or holds a tab, or a SNP without a line of its own.
            const QByteArrayView name = index
                ? asUtf8(index->nameIn(rec.snpIndex, own < 0 ? QByteArrayView() : mapped), scratch)
                : QByteArrayView();
            const bool hasFields = index && (own < 0 ? 0 : own) < m_tables.snpLineCount();
            QByteArrayView rest;
            if (hasFields) {
                const QByteArrayView whole = asUtf8(mapped, lineScratch);
                const qsizetype tab = tabIn(whole);
                rest = tab < 0 ? QByteArrayView() : whole.sliced(tab + 1);
            }
            const size_t slowRoom = size_t(trait.size() + name.size() + rest.size()) + 16 * size_t(e + 2)
                + size_t(m + e) + 8;
            if (size_t(out.size()) < size_t(used) + slowRoom) {
                const qsizetype at = p - out.data();
                out.resize(qsizetype(std::max(2 * size_t(out.size()), size_t(used) + slowRoom)));
                p = out.data() + at;
            }
            p = putField(p, name);
            for (int f = 0; f < m + 2; ++f) {
                // M + 2 cells whatever the line holds; a field it lacks is empty.
                const qsizetype tab = tabIn(rest);
                const QByteArrayView field = tab < 0 ? rest : rest.first(tab);
                rest = tab < 0 ? QByteArrayView() : rest.sliced(tab + 1);
                *p++ = '\t';
                if (f == 1)
                    p = putBasePairs(p, hasFields ? megabase : 0.0);
                else
                    p = putField(p, field);
            }
            fields = p;
        }
        p = fields;
        *p++ = '\t';
        p = formatNumber6(rec.firstStat, p);
        for (int s = 0; s < e && s + m + 5 < columns; ++s) {
            *p++ = '\t';
            if (rows.extraCount == e)
                p = formatNumber6(rows.extraStats[size_t(k) * size_t(e) + size_t(s)], p);
        }
        *p++ = '\n';
        used = p - out.data();
    }
    out.resize(used);
}

} // namespace quillmap
