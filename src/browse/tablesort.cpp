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

// The field as the sort reads it: invalid UTF-8 as it decodes. Decoding resumes at every ASCII
// byte, so the field decodes alone as within its line.
QByteArrayView readableField(QByteArrayView text, QByteArray &scratch)
{
    if (text.isValidUtf8())
        return text;
    scratch = QString::fromUtf8(text).toUtf8();
    return scratch;
}

// Per SNP line, the id of its field's distinct bytes (an index into `distinct`), from one pass
// over the lines in file order. False when the field has too many distinct values to be worth a
// table (numbers, mostly), which then are read row by row.
bool distinctFieldIds(const DatasetTables &tables, int field, std::vector<quint16> &ids,
                      std::vector<QByteArray> &distinct)
{
    constexpr size_t MaxDistinct = 65536;
    const SnpInfoIndex *index = tables.snpInfoIndex();
    const qint64 lines = tables.snpLineCount();
    ids.assign(size_t(std::max<qint64>(0, lines)), 0);
    distinct.clear();
    // Single bytes (alleles, mostly) skip the hash.
    int single[256];
    std::fill(std::begin(single), std::end(single), -1);
    QHash<QByteArray, int> longer;
    for (qint64 l = 0; l < lines; ++l) {
        const QByteArrayView text = fieldOf(index->mappedLine(l), field);
        int id = -1;
        if (text.size() == 1) {
            id = single[quint8(text.front())];
        } else {
            const auto it = longer.constFind(QByteArray::fromRawData(text.data(), text.size()));
            if (it != longer.constEnd())
                id = *it;
        }
        if (id < 0) {
            if (distinct.size() == MaxDistinct)
                return false;
            id = int(distinct.size());
            distinct.push_back(text.toByteArray());
            if (text.size() == 1)
                single[quint8(text.front())] = id;
            else
                longer.insert(distinct.back(), id);
        }
        ids[size_t(l)] = quint16(id);
    }
    return true;
}

// The number rows by their keys, then the text rows by theirs.
void orderNumbersThenTexts(const std::vector<int> &numberRows, const std::vector<quint64> &numberKeys,
                           const std::vector<int> &textRows, const std::vector<quint64> &textKeys, int *order)
{
    std::vector<int> sorted(std::max(numberRows.size(), textRows.size()));
    orderByKey(numberKeys, sorted.data());
    for (size_t i = 0; i < numberRows.size(); ++i)
        order[i] = numberRows[size_t(sorted[i])];
    orderByKey(textKeys, sorted.data());
    for (size_t i = 0; i < textRows.size(); ++i)
        order[numberRows.size() + i] = textRows[size_t(sorted[i])];
}

// sortByField for a trait holding a good part of the SNP lines: every distinct field is read,
// classed and ranked once. False when the field does not suit a table.
bool sortByDistinctField(const DatasetTables &tables, const std::vector<qint32> &lines, int field,
                         bool ascending, std::vector<int> &numberRows, std::vector<quint64> &numberKeys,
                         std::vector<int> &textRows, std::vector<quint64> &textKeys)
{
    std::vector<quint16> ids;
    std::vector<QByteArray> distinct;
    if (!distinctFieldIds(tables, field, ids, distinct))
        return false;
    // A row past the SNP lines reads an empty field.
    const int empty = int(distinct.size());
    distinct.push_back(QByteArray());
    std::vector<quint64> keys(distinct.size());
    std::vector<bool> isNumber(distinct.size());
    std::vector<int> textIds(distinct.size());
    std::vector<QString> texts;
    QByteArray scratch;
    for (size_t d = 0; d < distinct.size(); ++d) {
        const QByteArrayView text = readableField(distinct[d], scratch);
        double value = 0.0;
        isNumber[d] = fieldNumber(text, value);
        if (isNumber[d]) {
            keys[d] = ascending ? numberKey(value) : ~numberKey(value);
        } else {
            textIds[d] = int(texts.size());
            texts.push_back(QString::fromUtf8(text));
        }
    }
    const std::vector<quint64> ranks = textRanks(texts, ascending);
    for (size_t d = 0; d < distinct.size(); ++d)
        if (!isNumber[d])
            keys[d] = ranks[size_t(textIds[d])];
    const auto idOf = [&](qint32 line) {
        return line < qint32(ids.size()) ? ids[size_t(line)] : size_t(empty);
    };
    // Counted first: ten million rows grown a push at a time would copy and fault in fresh
    // memory several times over.
    size_t numbers = 0;
    for (const qint32 line : lines)
        numbers += isNumber[idOf(line)] ? 1 : 0;
    numberRows.reserve(numbers);
    numberKeys.reserve(numbers);
    textRows.reserve(lines.size() - numbers);
    textKeys.reserve(lines.size() - numbers);
    for (size_t i = 0; i < lines.size(); ++i) {
        const size_t d = idOf(lines[i]);
        if (isNumber[d]) {
            numberRows.push_back(int(i));
            numberKeys.push_back(keys[d]);
        } else {
            textRows.push_back(int(i));
            textKeys.push_back(keys[d]);
        }
    }
    return true;
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
    // A trait over a good part of the SNP lines reads them in file order, once each.
    const bool byLines = index && qint64(n) * 4 >= tables.snpLineCount();
    if (byLines
        && sortByDistinctField(tables, lines, field, ascending, numberRows, numberKeys, textRows, textKeys)) {
        orderNumbersThenTexts(numberRows, numberKeys, textRows, textKeys, order);
        return;
    }
    numberRows.clear();
    numberKeys.clear();
    textRows.clear();
    textKeys.clear();
    for (int i = 0; i < n; ++i) {
        if (index && i + LineAhead < n)
            index->prefetchLine(lines[size_t(i + LineAhead)]);
        if (index && i + TextAhead < n)
            index->prefetchText(lines[size_t(i + TextAhead)]);
        const int line = lines[size_t(i)];
        const QByteArrayView whole = index && line < tables.snpLineCount() ? index->mappedLine(line)
                                                                           : QByteArrayView();
        const QByteArrayView text = readableField(fieldOf(whole, field), scratch);
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
    orderNumbersThenTexts(numberRows, numberKeys, textRows, textKeys, order);
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

void sortTableRows(const DatasetTables &tables, const RowRecord *records, RowStats stats, int n, int column,
                   bool ascending, int *order)
{
    std::iota(order, order + std::max(n, 0), 0);
    const int m = tables.extraSnpColumns;
    const int stat = column - m - 5;
    if (!records || n <= 1 || column < 0 || column >= tables.tableColumnCount
        || (column > m + 4 && (stats.isNull() || stat >= tables.extraStats)))
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
            const float *extra = column == m + 4 ? nullptr : stats.of(i);
            const double v = column == m + 4 ? double(records[i].firstStat)
                                             : (extra ? double(extra[stat]) : 0.0);
            keys[size_t(i)] = std::isnan(v) ? Last : (ascending ? numberKey(v) : ~numberKey(v));
        }
    }
    orderByKey(keys, order);
}

} // namespace quillmap
