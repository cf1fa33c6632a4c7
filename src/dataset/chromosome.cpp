#include "dataset/chromosome.h"

namespace quillmap {

namespace {

// 1 to `last` written in decimal without a leading zero.
template <typename Char>
std::optional<int> smallNumber(const Char *text, qsizetype size, int last)
{
    if (size < 1 || size > 2 || text[0] == Char('0'))
        return std::nullopt;
    int value = 0;
    for (qsizetype i = 0; i < size; ++i) {
        if (text[i] < Char('0') || text[i] > Char('9'))
            return std::nullopt;
        value = value * 10 + int(text[i] - Char('0'));
    }
    if (value < 1 || value > last)
        return std::nullopt;
    return value;
}

template <typename Char>
bool isChrPrefix(const Char *text, qsizetype size)
{
    auto lower = [](Char c) { return c >= Char('A') && c <= Char('Z') ? Char(c + ('a' - 'A')) : c; };
    return size > 3 && lower(text[0]) == Char('c') && lower(text[1]) == Char('h')
        && lower(text[2]) == Char('r');
}

template <typename Char>
std::optional<int> parse(const Char *text, qsizetype size, ChromosomeSpelling spelling)
{
    if (spelling == ChromosomeSpelling::Exact) {
        if (size == 1 && text[0] == Char('X'))
            return 23;
        return smallNumber(text, size, 23);
    }
    if (isChrPrefix(text, size)) {
        text += 3;
        size -= 3;
    }
    if (size == 1 && (text[0] == Char('X') || text[0] == Char('x')))
        return 23;
    return smallNumber(text, size, 23);
}

} // namespace

std::optional<int> parseChromosome(QByteArrayView field, ChromosomeSpelling spelling)
{
    return parse(field.data(), field.size(), spelling);
}

std::optional<int> parseChromosome(QStringView field, ChromosomeSpelling spelling)
{
    return parse(field.utf16(), field.size(), spelling);
}

qint64 geneChromosomeNumber(QByteArrayView field)
{
    QByteArray text = field.toByteArray();
    for (qsizetype at = 0; (at = text.toLower().indexOf("chr", at)) >= 0;)
        text.remove(at, 3);
    if (text == "X" || text == "x")
        return 23;
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok, 10);
    return ok && value >= -2147483 && value <= 2147483 ? value : 0;
}

QString chromosomeName(int number)
{
    return number == 23 ? QStringLiteral("X") : QString::number(number);
}

} // namespace quillmap
