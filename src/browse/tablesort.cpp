#include "browse/tablesort.h"

#include "browse/sortkeys.h"
#include "dataset/datasettables.h"

#include <QHash>
#include <QString>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

namespace quillmap {

namespace {

constexpr quint64 Last = ~quint64(0);

int lineOf(const DatasetTables &tables, const RowRecord &row)
{
    // As the table shows it: a SNP without a line in the SNP information file is its first line.
    const int line = tables.snpLineOfIndex(row.snpIndex);
    return line < 0 ? 0 : line;
}

// Rows come in genome order, lines in file order: the rows' lines are found first (asked for a
// few rows ahead), then their data is asked for a few rows ahead, or every row would wait on
// memory.
constexpr int NameAhead = 64, LineAhead = 40, TextAhead = 16;

std::vector<qint32> linesAhead(const DatasetTables &tables, const RowRecord *records, int n)
{
    const SnpInfoIndex *index = tables.snpInfoIndex();
    std::vector<qint32> lines(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        if (index && i + NameAhead < n)
            index->prefetchLineOf(records[i + NameAhead].snpIndex);
        lines[size_t(i)] = lineOf(tables, records[i]);
    }
    return lines;
}

// Ranks of texts in code-unit order, equal texts equal ranks; descending reverses them.
std::vector<quint64> textRanks(const std::vector<QString> &distinct, bool ascending)
{
    std::vector<int> byText(distinct.size());
    std::iota(byText.begin(), byText.end(), 0);
    std::sort(byText.begin(), byText.end(),
              [&](int a, int b) { return distinct[size_t(a)] < distinct[size_t(b)]; });
    std::vector<quint64> rank(distinct.size());
    quint64 r = 0;
    for (size_t i = 0; i < byText.size(); ++i) {
        if (i > 0 && distinct[size_t(byText[i - 1])] != distinct[size_t(byText[i])])
            ++r;
        rank[size_t(byText[i])] = r;
    }
    if (!ascending)
        for (quint64 &k : rank)
            k = Last - k;
    return rank;
}

// The field as QString::toDouble reads its text, when that is a finite number.
bool fieldNumber(QByteArrayView field, double &value)
{
    const char *end = field.data() + field.size();
    const auto [ptr, ec] = field.isEmpty() ? std::from_chars_result{end, std::errc::invalid_argument}
                                           : std::from_chars(field.data(), end, value);
    if (ec != std::errc() || ptr != end) {
        bool ok = false;
        value = QString::fromUtf8(field).toDouble(&ok);
        if (!ok)
            return false;
    }
    return std::isfinite(value);
}

// Field `field` after the name of a SNP information line (0 = chromosome); empty when the line
// has fewer fields.
QByteArrayView fieldOf(QByteArrayView line, int field)
{
    for (int f = 0; f <= field; ++f) {
        const void *tab = line.isEmpty() ? nullptr : std::memchr(line.data(), '\t', size_t(line.size()));
        if (!tab)
            return QByteArrayView();
        line = line.sliced(static_cast<const char *>(tab) - line.data() + 1);
    }
    const void *tab = line.isEmpty() ? nullptr : std::memchr(line.data(), '\t', size_t(line.size()));
    return tab ? line.first(static_cast<const char *>(tab) - line.data()) : line;
}

void sortByField(const DatasetTables &tables, const RowRecord *records, int n, int field, bool ascending,
                 int *order)
{
    // Numbers first, by value; then texts by code units, each distinct text decoded once.
    const SnpInfoIndex *index = tables.snpInfoIndex();
    std::vector<int> numberRows, textRows;
    std::vector<quint64> numberKeys, textKeys;
    QHash<QByteArray, int> textIds;
    std::vector<QString> texts;
    QByteArray scratch;
    const std::vector<qint32> lines = linesAhead(tables, records, n);
    for (int i = 0; i < n; ++i) {
        if (index && i + LineAhead < n)
            index->prefetchLine(lines[size_t(i + LineAhead)]);
        if (index && i + TextAhead < n)
            index->prefetchText(lines[size_t(i + TextAhead)]);
        const int line = lines[size_t(i)];
        const QByteArrayView whole = index && line < tables.snpLineCount() ? index->mappedLine(line)
                                                                           : QByteArrayView();
        // Decoding resumes at every ASCII byte, so the field decodes alone as within its line.
        QByteArrayView text = fieldOf(whole, field);
        if (!text.isValidUtf8()) {
            scratch = QString::fromUtf8(text).toUtf8();
            text = scratch;
        }
        // Texts are looked up first, without a copy: most fields repeat a few texts.
        auto it = textIds.constFind(QByteArray::fromRawData(text.data(), text.size()));
        double value = 0.0;
        if (it == textIds.constEnd() && fieldNumber(text, value)) {
            numberRows.push_back(i);
            numberKeys.push_back(ascending ? numberKey(value) : ~numberKey(value));
            continue;
        }
        if (it == textIds.constEnd()) {
            it = textIds.insert(text.toByteArray(), int(texts.size()));
            texts.push_back(QString::fromUtf8(text));
        }
        textRows.push_back(i);
        textKeys.push_back(quint64(*it));
    }
    const std::vector<quint64> ranks = textRanks(texts, ascending);
    for (quint64 &k : textKeys)
        k = ranks[size_t(k)];
    std::vector<int> sorted(std::max(numberRows.size(), textRows.size()));
    orderByKey(numberKeys, sorted.data());
    for (size_t i = 0; i < numberRows.size(); ++i)
        order[i] = numberRows[size_t(sorted[i])];
    orderByKey(textKeys, sorted.data());
    for (size_t i = 0; i < textRows.size(); ++i)
        order[numberRows.size() + i] = textRows[size_t(sorted[i])];
}

void sortByName(const std::vector<QString> &names, bool ascending, int *order)
{
    std::vector<std::pair<QString, int>> keyed;
    keyed.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i)
        keyed.emplace_back(names[i], int(i));
    std::stable_sort(keyed.begin(), keyed.end(), [ascending](const auto &a, const auto &b) {
        return ascending ? a.first < b.first : b.first < a.first;
    });
    for (size_t i = 0; i < keyed.size(); ++i)
        order[i] = keyed[i].second;
}

} // namespace

void sortTableRows(const DatasetTables &tables, const RowRecord *records, const float *const *stats, int n,
                   int column, bool ascending, int *order)
{
    std::iota(order, order + std::max(n, 0), 0);
    const int m = tables.extraSnpColumns;
    const int stat = column - m - 5;
    if (!records || n <= 1 || column < 0 || column >= tables.tableColumnCount
        || (column > m + 4 && (!stats || stat >= tables.extraStats)))
        return;
    std::vector<quint64> keys(static_cast<size_t>(n));
    if (column == 0) {
        // Traits by the rank of their names among the traits present.
        QHash<int, int> ids;
        std::vector<QString> names;
        int lastTrait = 0, lastId = -1;
        for (int i = 0; i < n; ++i) {
            const int trait = records[i].traitIndex;
            if (lastId < 0 || trait != lastTrait) {
                auto it = ids.constFind(trait);
                if (it == ids.constEnd()) {
                    it = ids.insert(trait, int(names.size()));
                    names.push_back(tables.traitNames.value(trait));
                }
                lastTrait = trait;
                lastId = *it;
            }
            keys[size_t(i)] = quint64(lastId);
        }
        const std::vector<quint64> ranks = textRanks(names, ascending);
        for (quint64 &k : keys)
            k = ranks[size_t(k)];
    } else if (column == 1) {
        if (!tables.snpIndexIsNameOrder()) {
            std::vector<qint32> indexes(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i)
                indexes[size_t(i)] = records[i].snpIndex;
            sortByName(tables.snpNamesOf(indexes), ascending, order);
            return;
        }
        // Index order is name order; a name outside the list reads as empty, before every name
        // or equal to an empty first one.
        const qint64 count = tables.snpNames.size();
        const quint64 empty = count > 0 && tables.snpNames.value(0).isEmpty() ? 1 : 0;
        const SnpInfoIndex *index = tables.snpInfoIndex();
        for (int i = 0; i < n; ++i) {
            if (index && i + NameAhead < n)
                index->prefetchLineOf(records[i + NameAhead].snpIndex);
            const qint32 s = records[i].snpIndex;
            const quint64 k = s >= 0 && s < count && tables.snpLineOfIndex(s) >= 0 ? quint64(s) + 1 : empty;
            keys[size_t(i)] = ascending ? k : Last - k;
        }
    } else if (column == 2 || column == 3) {
        // Genome order; by chromosome alone ("Chr") positions stay ascending either way.
        const std::vector<qint32> lines = linesAhead(tables, records, n);
        const SnpInfoIndex *index = tables.snpInfoIndex();
        for (int i = 0; i < n; ++i) {
            if (index && i + LineAhead < n)
                index->prefetchLine(lines[size_t(i + LineAhead)]);
            const int line = lines[size_t(i)];
            const GenomeKey g = genomeKey(tables.snpChromosome(line), tables.snpPosition(line));
            const quint64 chromosome = g.chromosome <= 23 ? quint64(g.chromosome) : 24;
            const quint64 bp = quint64(g.bp + 2147483648LL);
            if (ascending)
                keys[size_t(i)] = chromosome << 32 | bp;
            else if (column == 3)
                keys[size_t(i)] = ~(chromosome << 32 | bp);
            else
                keys[size_t(i)] = (255 - chromosome) << 32 | bp;
        }
    } else if (column <= m + 3) {
        sortByField(tables, records, n, column - 2, ascending, order);
        return;
    } else {
        // Statistics: numbers, NaN last either way.
        for (int i = 0; i < n; ++i) {
            const double v = column == m + 4 ? double(records[i].firstStat)
                                             : (stats[i] ? double(stats[i][stat]) : 0.0);
            keys[size_t(i)] = std::isnan(v) ? Last : (ascending ? numberKey(v) : ~numberKey(v));
        }
    }
    orderByKey(keys, order);
}

} // namespace quillmap
