#include "support/datasetfixture.h"

#include "dataset/positionbin.h"
#include "dataset/resultrecord.h"

#include <QDir>
#include <QFile>
#include <QMap>

#include <algorithm>
#include <vector>

using namespace quillmap;

namespace {

void writeText(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
}

QByteArray joinLine(const QStringList &fields)
{
    return fields.join(QLatin1Char('\t')).toUtf8() + '\n';
}

} // namespace

QString DatasetFixture::snpInfoPath(const QString &folder)
{
    return folder + QStringLiteral("/inputs/snp_info.txt");
}

QString DatasetFixture::traitInfoPath(const QString &folder)
{
    return folder + QStringLiteral("/inputs/trait_info.txt");
}

QString DatasetFixture::groupPath(const QString &folder)
{
    return folder + QStringLiteral("/inputs/groups.txt");
}

QString DatasetFixture::write(const QString &folder) const
{
    QDir().mkpath(folder + QStringLiteral("/inputs"));
    const int e = int(resultsHeader.size()) - 3;
    const int m = int(snpHeader.size()) - 3;

    QStringList traits, snpNames;
    for (const Row &r : rows) {
        traits << r.trait;
        snpNames << r.snp;
    }
    traits.removeDuplicates();
    snpNames.removeDuplicates();
    std::sort(traits.begin(), traits.end());
    std::sort(snpNames.begin(), snpNames.end());

    QByteArray summary;
    QStringList paths{folder + QStringLiteral("/inputs/results.txt"), snpInfoPath(folder),
                      traitInfoPath(folder)};
    if (withGroups)
        paths << groupPath(folder);
    summary += joinLine(paths);
    summary += "Header of the columns for main table:\t" + joinLine(resultsHeader);
    summary += "Header of the columns for snp table:\t" + joinLine(snpHeader);
    summary += "number of extra trait columns\t" + QByteArray::number(e) + '\n';
    summary += "number of extra snp columns\t" + QByteArray::number(m) + '\n';
    summary += "Trait Num :\t " + QByteArray::number(traits.size()) + '\n';
    summary += "SNP Num :\t " + QByteArray::number(snpNames.size()) + '\n';
    writeText(folder + QStringLiteral("/summary.txt"), summary);

    writeText(folder + QStringLiteral("/IDlist.dat"),
              traits.isEmpty() ? QByteArray() : joinLine(traits).replace('\t', '\n'));
    writeText(folder + QStringLiteral("/SNPlist.dat"),
              snpNames.isEmpty() ? QByteArray() : joinLine(snpNames).replace('\t', '\n'));

    QMap<QString, int> binOfSnp;
    QByteArray snpInfo = joinLine(snpHeader);
    for (const Snp &s : snps) {
        snpInfo += joinLine(QStringList{s.name, s.chromosome, s.position} + s.extra);
        const int chr = quillmap::chromosomeNumber(s.chromosome).value_or(0);
        binOfSnp[s.name] = quillmap::positionBin(chr, s.position.toDouble()).value_or(0);
    }
    writeText(snpInfoPath(folder), snpInfo);

    QByteArray traitText = joinLine(traitInfoHeader);
    for (const QStringList &line : traitInfo)
        traitText += joinLine(line);
    writeText(traitInfoPath(folder), traitText);

    struct Indexed {
        int trait, snp, bin, order;
    };
    std::vector<Indexed> indexed;
    indexed.reserve(size_t(rows.size()));
    for (int i = 0; i < rows.size(); ++i) {
        indexed.push_back({int(traits.indexOf(rows[i].trait)), int(snpNames.indexOf(rows[i].snp)),
                           binOfSnp.value(rows[i].snp), i});
    }
    const qint64 size = quillmap::recordSize(e);
    auto writeTable = [&](const QString &name, const QString &countName, auto key, auto label) {
        std::vector<Indexed> sorted = indexed;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [&](const Indexed &a, const Indexed &b) { return key(a) < key(b); });
        QByteArray table;
        QByteArray counts;
        for (size_t i = 0; i < sorted.size(); ++i) {
            const Row &r = rows[sorted[i].order];
            QByteArray record(size, '\0');
            std::vector<float> extra(r.extra.begin(), r.extra.end());
            extra.resize(size_t(e), 0.0f);
            quillmap::encodeRecord(record.data(), {sorted[i].trait, sorted[i].snp, r.stat}, extra.data(), e);
            table += record;
            if (i + 1 == sorted.size() || key(sorted[i + 1]) != key(sorted[i])) {
                int count = 0;
                for (const Indexed &x : sorted)
                    count += key(x) == key(sorted[i]);
                counts += label(sorted[i]) + '\t' + QByteArray::number(count) + '\n';
            }
        }
        writeText(folder + QLatin1Char('/') + name, table);
        writeText(folder + QLatin1Char('/') + countName, counts);
    };
    writeTable(
        QStringLiteral("table1.dat"), QStringLiteral("ID_Line.dat"), [](const Indexed &x) { return x.trait; },
        [&](const Indexed &x) { return traits.at(x.trait).toUtf8(); });
    writeTable(
        QStringLiteral("table2.dat"), QStringLiteral("Pos_Line.dat"), [](const Indexed &x) { return x.bin; },
        [](const Indexed &x) { return QByteArray::number(x.bin); });

    if (withGroups) {
        QByteArray groupText;
        QMap<QString, QStringList> groupTraits;
        for (const QStringList &line : groupLines) {
            groupText += joinLine(line);
            for (int k = 1; k < line.size(); ++k)
                groupTraits[line.at(k)] << line.at(0);
        }
        writeText(groupPath(folder), groupText);
        QByteArray gene2id;
        for (auto it = groupTraits.cbegin(); it != groupTraits.cend(); ++it)
            gene2id += joinLine(QStringList{it.key()} + it.value());
        writeText(folder + QStringLiteral("/Gene2ID.dat"), gene2id);
    }
    return folder;
}

DatasetFixture DatasetFixture::small()
{
    DatasetFixture f;
    f.resultsHeader = {QStringLiteral("probe"), QStringLiteral("marker"), QStringLiteral("pvalue"),
                       QStringLiteral("beta")};
    f.snpHeader = {QStringLiteral("SNP"), QStringLiteral("chr"), QStringLiteral("pos"),
                   QStringLiteral("gene")};
    f.snps = {
        {QStringLiteral("rs1"), QStringLiteral("1"), QStringLiteral("12.5"), {QStringLiteral("GA")}},
        {QStringLiteral("rs2"), QStringLiteral("2"), QStringLiteral("10.5"), {QStringLiteral("GB")}},
        {QStringLiteral("rs3"), QStringLiteral("X"), QStringLiteral("0.0000015"), {QStringLiteral("GC")}}};
    f.rows = {{QStringLiteral("T2"), QStringLiteral("rs1"), 0.5f, {1.5f}},
              {QStringLiteral("T1"), QStringLiteral("rs2"), 0.01f, {-2.0f}},
              {QStringLiteral("T1"), QStringLiteral("rs1"), 0.1f, {3.0f}},
              {QStringLiteral("T2"), QStringLiteral("rs3"), 0.001f, {4.0f}},
              {QStringLiteral("T2"), QStringLiteral("rs2"), 1.0f, {-5.0f}}};
    f.traitInfo = {{QStringLiteral("T1"), QStringLiteral("first <b>trait</b>")},
                   {QStringLiteral("T2"), QStringLiteral("second")}};
    f.groupLines = {{QStringLiteral("T1"), QStringLiteral("G1")},
                    {QStringLiteral("T2"), QStringLiteral("G1"), QStringLiteral("G2")}};
    f.withGroups = true;
    return f;
}
