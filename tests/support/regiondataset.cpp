#include "support/regiondataset.h"

#include "dataset/dataset.h"
#include "dataset/datasettables.h"
#include "session/sharedstate.h"
#include "import/importer.h"

#include <QDir>
#include <QFile>

#include <utility>
#include <QSet>

using namespace quillmap;

namespace {

bool writeText(const QString &path, const QString &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(text.toLocal8Bit()) == text.toLocal8Bit().size();
}

QString number(double value)
{
    return QString::number(value, 'g', 10);
}

} // namespace

QString datasetFolder(const QString &dir)
{
    return dir + QStringLiteral("/dataset");
}

QString buildDataset(const QString &dir, const TestDataset &data, std::shared_ptr<const Dataset> &loaded)
{
    const QString folder = datasetFolder(dir);
    QDir().mkpath(folder);

    QString results = QStringLiteral("trait\tsnp\t") + data.statNames.join(QLatin1Char('\t'))
        + QLatin1Char('\n');
    QStringList traits;
    QSet<QString> seen;
    for (const TestResult &row : data.results) {
        QStringList fields{row.trait, row.snp};
        for (const double v : row.stats)
            fields << number(v);
        results += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
        if (!seen.contains(row.trait)) {
            seen.insert(row.trait);
            traits << row.trait;
        }
    }
    QStringList snpHeader{QStringLiteral("snp"), QStringLiteral("chr"), QStringLiteral("pos")};
    snpHeader << data.snpExtraNames;
    QString snps = snpHeader.join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (const TestSnp &snp : data.snps) {
        QStringList fields{snp.name, snp.chromosome, number(snp.position)};
        fields << snp.extra;
        snps += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    QString traitInfo = data.traitInfo.isEmpty() ? QStringLiteral("trait\tdescription\n") : data.traitInfo;
    for (const QString &trait : traits) {
        if (data.traitInfo.isEmpty())
            traitInfo += trait + QStringLiteral("\tabout ") + trait + QLatin1Char('\n');
    }

    ImportInputs inputs;
    inputs.results = dir + QStringLiteral("/results.txt");
    inputs.snpInfo = dir + QStringLiteral("/snps.txt");
    inputs.traitInfo = dir + QStringLiteral("/traits.txt");
    if (!writeText(inputs.results, results) || !writeText(inputs.snpInfo, snps)
        || !writeText(inputs.traitInfo, traitInfo))
        return QStringLiteral("cannot write the input files");
    if (data.withGroups) {
        QString groups = QStringLiteral("trait\tgroup\n");
        for (const auto &entry : data.groups)
            groups += entry.first + QLatin1Char('\t') + entry.second.join(QLatin1Char('\t'))
                + QLatin1Char('\n');
        inputs.groups = dir + QStringLiteral("/groups.txt");
        if (!writeText(inputs.groups, groups))
            return QStringLiteral("cannot write the group file");
    }

    const ImportResult imported = runImport(folder, inputs);
    if (imported.failed)
        return QStringLiteral("import failed: ") + imported.errorText;
    if (!data.binGenes.isEmpty() && !writeText(folder + QStringLiteral("/pos2gene.dat"), data.binGenes))
        return QStringLiteral("cannot write pos2gene.dat");
    if (data.build && !writeGenomeBuild(folder, data.build))
        return QStringLiteral("cannot record the genome build");

    quillmap::currentDatasetFolder() = folder;
    Result<std::shared_ptr<const Dataset>> opened = Dataset::load(folder);
    if (!opened)
        return QStringLiteral("load failed: ") + opened.message();
    loaded = std::move(*opened);
    return QString();
}

QString writeLdFileset(const QString &prefix, const QByteArray &bim, int samples, const QByteArray &rows)
{
    QByteArray fam;
    for (int s = 0; s < samples; ++s)
        fam += "f" + QByteArray::number(s) + " i" + QByteArray::number(s) + " 0 0 0 -9\n";
    const QByteArray bed = QByteArray("\x6c\x1b\x01", 3) + rows;
    for (const auto &[suffix, bytes] : {std::pair{".bim", bim}, {".fam", fam}, {".bed", bed}}) {
        QFile file(prefix + QLatin1String(suffix));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            return QStringLiteral("cannot write %1").arg(file.fileName());
    }
    return {};
}
