#include "import/toolformat.h"

#include "dataset/nametable.h"
#include "io/linereader.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace quillmap {

namespace {

constexpr const char *FormatNameTable[] = {"plink2", "plink1", "regenie", "gwas-ssf"};
constexpr EnumNames<ToolFormat> FormatNames(FormatNameTable);

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

int columnOf(const std::vector<QByteArrayView> &header, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        for (size_t k = 0; k < header.size(); ++k) {
            if (header[k] == QByteArrayView(name, qsizetype(std::strlen(name))))
                return int(k);
        }
    }
    return -1;
}

struct Names {
    const char *chromosome;
    const char *position;
    std::initializer_list<const char *> id;
    std::initializer_list<const char *> ref;
    std::initializer_list<const char *> alt;
    std::initializer_list<const char *> p;
    std::initializer_list<const char *> negLog10P;
    std::initializer_list<const char *> effect;
    std::initializer_list<const char *> se;
    std::initializer_list<const char *> statistic;
    std::initializer_list<const char *> frequency;
};

const Names &namesOf(ToolFormat format)
{
    static const Names plink2{"#CHROM",
                              "POS",
                              {"ID"},
                              {"REF"},
                              {"ALT"},
                              {"P"},
                              {"LOG10_P"},
                              {"BETA", "OR"},
                              {"SE", "LOG(OR)_SE"},
                              {"T_STAT", "Z_STAT", "T_OR_Z_STAT"},
                              {"A1_FREQ"}};
    static const Names plink1{
        "CHR", "BP", {"SNP"}, {"A2"}, {"A1"}, {"P"}, {}, {"BETA", "OR"}, {"SE"}, {"STAT", "T", "CHISQ"}, {}};
    static const Names regenie{"CHROM",    "GENPOS", {"ID"}, {"ALLELE0"}, {"ALLELE1"}, {},
                               {"LOG10P"}, {"BETA"}, {"SE"}, {"CHISQ"},   {"A1FREQ"}};
    static const Names gwasSsf{"chromosome",
                               "base_pair_location",
                               {"rsid"},
                               {"other_allele"},
                               {"effect_allele"},
                               {"p_value"},
                               {"neg_log_10_p_value"},
                               {"beta", "odds_ratio", "hazard_ratio"},
                               {"standard_error"},
                               {},
                               {"effect_allele_frequency"}};
    switch (format) {
    case ToolFormat::Plink2:
        return plink2;
    case ToolFormat::Plink1:
        return plink1;
    case ToolFormat::Regenie:
        return regenie;
    case ToolFormat::GwasSsf:
        break;
    }
    return gwasSsf;
}

// The file name without folders and without a ".gz" or ".zst" ending.
QString baseName(const QString &path)
{
    QString name = QFileInfo(path).fileName();
    if (name.endsWith(QLatin1String(".gz")))
        name.chop(3);
    else if (name.endsWith(QLatin1String(".zst")))
        name.chop(4);
    return name;
}

// PHENO of PREFIX<sep>PHENO<suffix> names: what follows the prefix all names share up to a
// separator, or for a lone name what follows its last separator. Names sharing no prefix are
// runs of their own (qm.LDL_C, extreme.Bilirubin_extreme): with `firstWhenNone` their PHENO
// follows their first separator.
QStringList afterCommonPrefix(const QStringList &stems, QChar separator, bool firstWhenNone = false)
{
    qsizetype common = 0;
    if (stems.size() > 1) {
        const QString &first = stems.first();
        qsizetype same = first.size();
        for (const QString &stem : stems) {
            qsizetype k = 0;
            while (k < same && k < stem.size() && stem.at(k) == first.at(k))
                ++k;
            same = k;
        }
        // Back to just after a separator, and never the whole of a name.
        while (same > 0 && first.at(same - 1) != separator)
            --same;
        for (const QString &stem : stems) {
            if (same >= stem.size())
                same = 0;
        }
        common = same;
    }
    QStringList traits;
    for (const QString &stem : stems) {
        if (stems.size() > 1 && common == 0 && firstWhenNone)
            traits.append(stem.mid(stem.indexOf(separator) + 1));
        else if (stems.size() > 1)
            traits.append(stem.mid(common));
        else
            traits.append(stem.mid(stem.lastIndexOf(separator) + 1));
    }
    return traits;
}

} // namespace

QStringList toolFormatNames()
{
    return FormatNames.all();
}

QString toolFormatName(ToolFormat format)
{
    return FormatNames.nameOf(format);
}

std::optional<ToolFormat> toolFormatNamed(QStringView name)
{
    return FormatNames.named(name);
}

void splitToolLine(ToolFormat format, QByteArrayView line, std::vector<QByteArrayView> &fields,
                   qsizetype maxFields)
{
    fields.clear();
    const char *p = line.data();
    const char *const end = p + line.size();
    if (format == ToolFormat::Plink2 || format == ToolFormat::GwasSsf) {
        splitTabs(line, fields, maxFields);
        return;
    }
    for (;;) {
        while (p != end && isBlank(*p))
            ++p;
        if (p == end)
            return;
        if (qsizetype(fields.size()) >= maxFields) {
            fields.emplace_back(p, end - p);
            return;
        }
        const char *start = p;
        while (p != end && !isBlank(*p))
            ++p;
        fields.emplace_back(start, p - start);
    }
}

qsizetype toolFieldCount(ToolFormat format, QByteArrayView line)
{
    if (format == ToolFormat::Plink2 || format == ToolFormat::GwasSsf)
        return 1 + std::count(line.begin(), line.end(), '\t');
    qsizetype count = 0;
    bool inField = false;
    for (char c : line) {
        if (!isBlank(c) && !inField)
            ++count;
        inField = !isBlank(c);
    }
    return count;
}

bool isToolMissing(QByteArrayView field)
{
    if (field.isEmpty() || field == ".")
        return true;
    if (field.front() == '+' || field.front() == '-')
        field = field.sliced(1);
    if (field.size() > 3 || field.size() < 2)
        return false;
    char lower[3] = {};
    for (qsizetype k = 0; k < field.size(); ++k)
        lower[k] = char(field[k] >= 'A' && field[k] <= 'Z' ? field[k] + ('a' - 'A') : field[k]);
    const QByteArrayView text(lower, field.size());
    return text == "na" || text == "#na" || text == "nan" || text == "inf";
}

std::optional<ToolColumns> toolColumns(ToolFormat format, QByteArrayView header, QString *missing)
{
    std::vector<QByteArrayView> fields;
    splitToolLine(format, header, fields);
    const Names &names = namesOf(format);
    ToolColumns c;
    c.fieldCount = int(fields.size());
    c.chromosome = columnOf(fields, {names.chromosome});
    c.position = columnOf(fields, {names.position});
    c.id = columnOf(fields, names.id);
    if (format == ToolFormat::GwasSsf)
        c.otherId = columnOf(fields, {"variant_id"});
    c.ref = columnOf(fields, names.ref);
    c.alt = columnOf(fields, names.alt);
    c.test = columnOf(fields, {"TEST"});
    c.p = columnOf(fields, names.p);
    c.negLog10P = columnOf(fields, names.negLog10P);

    const char *lacking = nullptr;
    if (c.chromosome < 0)
        lacking = names.chromosome;
    else if (c.position < 0)
        lacking = names.position;
    else if (c.id < 0 && format != ToolFormat::GwasSsf)
        lacking = *names.id.begin();
    else if (c.p < 0 && c.negLog10P < 0)
        lacking = names.p.size() ? *names.p.begin() : *names.negLog10P.begin();
    if (lacking) {
        if (missing)
            *missing = QString::fromLatin1(lacking);
        return std::nullopt;
    }

    for (int k : {c.ref, c.alt}) {
        if (k >= 0) {
            c.alleles.push_back(k);
            c.alleleNames.append(fields[size_t(k)].toByteArray());
        }
    }
    for (const auto &role : {names.effect, names.se, names.statistic, names.frequency}) {
        const int k = columnOf(fields, role);
        if (k >= 0) {
            c.effects.push_back(k);
            c.effectNames.append(fields[size_t(k)].toByteArray());
        }
    }
    return c;
}

std::optional<ToolFormat> recogniseToolFormat(QByteArrayView header)
{
    // PLINK 1 and REGENIE share blank splitting; their first columns tell them apart.
    for (ToolFormat format :
         {ToolFormat::Plink2, ToolFormat::GwasSsf, ToolFormat::Regenie, ToolFormat::Plink1}) {
        if (toolColumns(format, header, nullptr))
            return format;
    }
    return std::nullopt;
}

std::optional<ToolFormat> recogniseToolFile(const QString &path)
{
    LineReader reader;
    if (!reader.open(path))
        return std::nullopt;
    QByteArrayView line;
    while (reader.readLine(line)) {
        if (!line.startsWith("##"))
            return recogniseToolFormat(line);
    }
    return std::nullopt;
}

QStringList toolTraitNames(ToolFormat format, const QStringList &paths)
{
    QStringList stems;
    for (const QString &path : paths) {
        QString name = baseName(path);
        if (format == ToolFormat::Plink2) {
            const qsizetype glm = name.indexOf(QLatin1String(".glm."));
            if (glm > 0)
                name.truncate(glm);
        } else if (format == ToolFormat::Regenie && name.endsWith(QLatin1String(".regenie"))) {
            name.chop(8);
        } else {
            const qsizetype dot = name.indexOf(QLatin1Char('.'));
            if (dot > 0)
                name.truncate(dot);
        }
        stems.append(name);
    }
    if (format == ToolFormat::Plink2)
        return afterCommonPrefix(stems, QLatin1Char('.'), true);
    if (format == ToolFormat::Regenie)
        return afterCommonPrefix(stems, QLatin1Char('_'));
    return stems;
}

} // namespace quillmap
