#include "import/toolrowconverter.h"

#include "dataset/chromosome.h"
#include "dataset/positionbin.h"
#include "import/numberparse.h"
#include "io/atomicfile.h"

#include <QDir>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>

namespace quillmap {

namespace {

// A whole number of base pairs; nothing when the text is not one.
std::optional<qint64> parseBasePairs(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 12)
        return std::nullopt;
    qint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

void appendNumber(std::string &out, qint64 value)
{
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, size_t(end - digits));
}

// Base pairs as Mb with exactly six decimals: 14181 gives "0.014181".
void appendMegabases(std::string &out, qint64 basePairs)
{
    appendNumber(out, basePairs / 1000000);
    char fraction[8];
    qint64 rest = basePairs % 1000000;
    fraction[0] = '.';
    for (int k = 6; k >= 1; --k) {
        fraction[k] = char('0' + rest % 10);
        rest /= 10;
    }
    out.append(fraction, 7);
}

// The shortest text that reads back as the same single-precision value.
void appendFloat(std::string &out, float value)
{
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    out.append(text, size_t(end - text));
}

// P = 10^-x written in decimal, also where it is below the double range.
void appendPFromNegLog10(std::string &out, double x)
{
    char text[96]; // room for an exponent of up to 39 digits
    int size;
    if (x < 300.0) {
        const auto [end, ec] = std::to_chars(text, text + sizeof text, std::pow(10.0, -x),
                                             std::chars_format::general, 6);
        size = int(end - text);
    } else {
        // The exponent stays a double: -log10(P) may be far beyond any integer type.
        const double whole = std::floor(x);
        double mantissa = std::pow(10.0, 1.0 - (x - whole)); // in (1, 10]
        double exponent = whole + 1.0;
        if (mantissa >= 9.999995) {
            mantissa = 1.0;
            exponent -= 1.0;
        }
        size = std::snprintf(text, sizeof text, "%.5fe-%.0f", mantissa, exponent);
    }
    out.append(text, size_t(size));
}

} // namespace

ToolRowConverter::ToolRowConverter(ToolFormat format, std::vector<ToolTraitFile> &files, AtomicFile *results,
                                   AtomicFile &snpInfo)
    : m_format(format),
      m_files(files),
      m_results(results),
      m_snpInfo(snpInfo)
{
    // The columns match the first file's.
    m_width = files.empty() ? 2 : 2 + files.front().columns.effects.size();
}

bool ToolRowConverter::invalid(const QString &text)
{
    if (m_error.isEmpty())
        m_error = text;
    return false;
}

QString ToolRowConverter::at(int file, qint64 line) const
{
    return QStringLiteral("%1 line %2").arg(QDir::toNativeSeparators(m_files[size_t(file)].path)).arg(line);
}

bool ToolRowConverter::convert(int file, qint64 line, QByteArrayView lineText, bool &kept)
{
    kept = false;
    splitToolLine(m_format, lineText, m_fields, m_files[size_t(file)].columns.fieldCount);
    ToolTraitFile &trait = m_files[size_t(file)];
    const ToolColumns &c = trait.columns;
    SkippedRows &skipped = trait.skipped;
    if (int(m_fields.size()) != c.fieldCount) {
        if (m_fields.empty() || (m_fields.size() == 1 && m_fields[0].isEmpty())) {
            return true; // a blank line holds no row
        }
        return invalid(QStringLiteral("%1 has %2 columns, its header %3!")
                           .arg(at(file, line))
                           .arg(toolFieldCount(m_format, lineText))
                           .arg(c.fieldCount));
    }
    if (c.test >= 0 && m_fields[size_t(c.test)] != "ADD") {
        ++skipped.count[SkippedRows::NotAdditive];
        return true;
    }
    const QByteArrayView chromosomeText = m_fields[size_t(c.chromosome)];
    const std::optional<int> chromosome = parseChromosome(chromosomeText, ChromosomeSpelling::Tool);
    if (!chromosome) {
        ++skipped.count[SkippedRows::OtherChromosome];
        const QString name = QString::fromUtf8(chromosomeText);
        if (skipped.otherChromosomes.size() < SkippedRows::OtherChromosomesShown
            && !skipped.otherChromosomes.contains(name))
            skipped.otherChromosomes.append(name);
        return true;
    }

    // -log10(P) from the tool's own column when it wrote one, else from P's text.
    double negLog10P = 0.0;
    if (c.negLog10P >= 0) {
        const QByteArrayView text = m_fields[size_t(c.negLog10P)];
        if (isToolMissing(text)) {
            ++skipped.count[SkippedRows::MissingP];
            return true;
        }
        const std::optional<double> value = parseDouble(text);
        if (!value || *value < 0.0 || *value > 3.4e38)
            return invalid(QStringLiteral("%1 has %2 where a -log10 p-value belongs, which is not one!")
                               .arg(at(file, line), QString::fromUtf8(text)));
        negLog10P = *value + 0.0; // "-0" is stored as 0
    }
    if (c.p >= 0) {
        const QByteArrayView text = m_fields[size_t(c.p)];
        // No p-value is infinite, however it is spelled; inf is missing only in effect columns.
        const QByteArrayView bare = text.startsWith('+') || text.startsWith('-') ? text.sliced(1) : text;
        const bool infinite = (bare.size() == 3 && qstrnicmp(bare.data(), "inf", 3) == 0)
            || (bare.size() == 8 && qstrnicmp(bare.data(), "infinity", 8) == 0);
        if (!infinite && isToolMissing(text)) {
            ++skipped.count[SkippedRows::MissingP];
            return true;
        }
        const NegLog10 p = quillmap::negLog10(text);
        if (p.status == NegLog10::Status::Zero)
            return invalid(QStringLiteral("%1 has a p-value of 0, which has no -log10!").arg(at(file, line)));
        if (p.status != NegLog10::Status::Ok)
            return invalid(QStringLiteral("%1 has the p-value %2, which is not a number between 0 and 1!")
                               .arg(at(file, line), QString::fromUtf8(text)));
        if (c.negLog10P < 0)
            negLog10P = p.value;
    }

    const QByteArrayView positionText = m_fields[size_t(c.position)];
    const std::optional<qint64> position = parseBasePairs(positionText);
    if (!position) {
        if (isToolMissing(positionText)) {
            ++skipped.count[SkippedRows::MissingPosition];
            return true;
        }
        return invalid(QStringLiteral("%1 has the position %2, which is not a whole number of base pairs!")
                           .arg(at(file, line), QString::fromUtf8(positionText)));
    }
    // Checked here, where the line is known, rather than in the derived SNP information file.
    if (!positionBin(*chromosome, double(*position) / 1e6))
        return invalid(
            QStringLiteral("%1 has the position %2, too far along chromosome %3 for a dataset"
                           " (chromosome x 1000 + position in Mb must lie between -32768 and"
                           " 32767)!")
                .arg(at(file, line), QString::fromUtf8(positionText), chromosomeName(*chromosome)));
    m_stats.resize(m_width);
    m_lost.resize(m_width);
    for (size_t j = 0; j < c.effects.size(); ++j) {
        const QByteArrayView text = m_fields[size_t(c.effects[j])];
        bool lost = false;
        if (const std::optional<float> value = parseStatistic(text, &lost)) {
            m_stats[2 + j] = *value;
            m_lost[2 + j] = lost;
            continue;
        }
        if (isToolMissing(text) || isCNumber(text)) {
            ++skipped.count[SkippedRows::MissingEffect];
            return true;
        }
        return invalid(QStringLiteral("%1 has %2 in a statistic column, which is not a number!")
                           .arg(at(file, line), QString::fromUtf8(text)));
    }

    // The SNP ID, made of its place and alleles where the tool wrote none.
    QByteArrayView id = c.id >= 0 ? m_fields[size_t(c.id)] : QByteArrayView();
    if (isToolMissing(id) && c.otherId >= 0)
        id = m_fields[size_t(c.otherId)];
    if (!isToolMissing(id)) {
        m_id.assign(id.data(), size_t(id.size()));
    } else {
        m_id.assign(chromosomeText.data(), size_t(chromosomeText.size()));
        m_id += ':';
        m_id.append(positionText.data(), size_t(positionText.size()));
        for (int k : c.alleles) {
            m_id += ':';
            m_id.append(m_fields[size_t(k)].data(), size_t(m_fields[size_t(k)].size()));
        }
    }
    id = QByteArrayView(m_id.data(), qsizetype(m_id.size()));
    if (id.contains('\t') || id.endsWith('\r'))
        return invalid(QStringLiteral("%1 has a SNP ID with a tab or carriage return!").arg(at(file, line)));
    m_alleles.clear();
    for (int k : c.alleles) {
        m_alleles += ':';
        m_alleles.append(m_fields[size_t(k)].data(), size_t(m_fields[size_t(k)].size()));
    }
    const QByteArrayView alleles(m_alleles.data(), qsizetype(m_alleles.size()));

    qint64 known = m_snps.find(id);
    // An ID another row wrote with other alleles is another variant (a split multi-allelic site,
    // or the alleles swapped): it gets a name of its own, never the other's effect direction.
    if (known >= 0 && m_snps.allelesOf(known) != alleles) {
        m_id += m_alleles;
        id = QByteArrayView(m_id.data(), qsizetype(m_id.size()));
        known = m_snps.find(id);
        if (known < 0 && m_renamed++ == 0)
            m_firstRenamed = QStringLiteral("%1 as %2").arg(at(file, line), QString::fromUtf8(id));
        if (known >= 0 && m_snps.allelesOf(known) != alleles)
            return invalid(QStringLiteral("%1 has the SNP %2, a name another SNP's other alleles took!")
                               .arg(at(file, line), QString::fromUtf8(id)));
    }
    m_snpId = qint32(known < 0 ? m_snps.size() : known);
    if (known < 0) {
        m_snps.add(id, alleles, *chromosome, *position, file, line);
        m_snpLine.assign(id.data(), size_t(id.size()));
        m_snpLine += '\t';
        if (*chromosome == 23)
            m_snpLine += 'X';
        else
            appendNumber(m_snpLine, *chromosome);
        m_snpLine += '\t';
        appendMegabases(m_snpLine, *position);
        for (int k : c.alleles) {
            m_snpLine += '\t';
            m_snpLine.append(m_fields[size_t(k)].data(), size_t(m_fields[size_t(k)].size()));
        }
        m_snpLine += '\n';
        m_snpInfo.write(QByteArrayView(m_snpLine.data(), qsizetype(m_snpLine.size())));
    } else {
        const SnpTable::Entry &entry = m_snps.at(known);
        if (entry.chromosome != *chromosome || entry.position != *position) {
            auto place = [](int chr, qint64 bp) {
                return QStringLiteral("%1:%2").arg(chromosomeName(chr)).arg(bp);
            };
            return invalid(QStringLiteral("the SNP %1 is at %2 in %3 but at %4 in %5!")
                               .arg(QString::fromUtf8(id), place(entry.chromosome, entry.position),
                                    at(entry.file, entry.line), place(*chromosome, *position),
                                    at(file, line)));
        }
    }

    // The two numbers written here are handed over as read back from their text.
    auto readBack = [this](size_t begin, size_t k) {
        bool lost = false;
        const std::optional<float> value = parseStatistic(
            QByteArrayView(m_resultLine.data() + begin, qsizetype(m_resultLine.size() - begin)), &lost);
        m_stats[k] = value.value_or(0.0f);
        m_lost[k] = lost;
        return value.has_value();
    };
    m_resultLine.clear();
    m_resultLine.append(trait.traitBytes.constData(), size_t(trait.traitBytes.size()));
    m_resultLine += '\t';
    m_resultLine.append(id.data(), size_t(id.size()));
    m_resultLine += '\t';
    const size_t negLog10Begin = m_resultLine.size();
    appendFloat(m_resultLine, float(negLog10P));
    const bool negLog10Read = readBack(negLog10Begin, 0);
    m_resultLine += '\t';
    const size_t pBegin = m_resultLine.size();
    if (c.p >= 0)
        m_resultLine.append(m_fields[size_t(c.p)].data(), size_t(m_fields[size_t(c.p)].size()));
    else
        appendPFromNegLog10(m_resultLine, negLog10P);
    const size_t pEnd = m_resultLine.size();
    if (!readBack(pBegin, 1) || !negLog10Read)
        return invalid(QStringLiteral("%1 has a p-value that cannot be stored!").arg(at(file, line)));
    for (int k : c.effects) {
        m_resultLine += '\t';
        m_resultLine.append(m_fields[size_t(k)].data(), size_t(m_fields[size_t(k)].size()));
    }
    m_resultLine += '\n';
    if (m_results)
        m_results->write(QByteArrayView(m_resultLine.data(), qsizetype(m_resultLine.size())));

    if (trait.kept++ == 0)
        trait.traitId = m_traitsKept++;
    kept = true;
    if (negLog10P > trait.bestNegLog10) {
        trait.bestNegLog10 = negLog10P;
        trait.bestP = QByteArray(m_resultLine.data() + pBegin, qsizetype(pEnd - pBegin));
        trait.bestSnp = id.toByteArray();
    }
    return true;
}

} // namespace quillmap
