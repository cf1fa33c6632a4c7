#include "dataset/genomebuild.h"

#include "dataset/atomicfile.h"
#include "dataset/datasetfiles.h"
#include "dataset/datasetloader.h"
#include "dataset/nametable.h"

#include <QFile>

namespace quillmap {

namespace {

const char *const BuildNames[] = {"hg18", "hg19", "hg38"};

} // namespace

QString genomeBuildName(GenomeBuild build)
{
    return QString::fromLatin1(BuildNames[int(build)]);
}

std::optional<GenomeBuild> genomeBuildNamed(QStringView name)
{
    if (const std::optional<int> k = nameIndex(name, BuildNames))
        return GenomeBuild(*k);
    return std::nullopt;
}

QStringList genomeBuildNames()
{
    return {genomeBuildName(GenomeBuild::Hg18), genomeBuildName(GenomeBuild::Hg19),
            genomeBuildName(GenomeBuild::Hg38)};
}

Result<GenomeBuild> readGenomeBuild(const QString &folder)
{
    QFile file(files::datasetFilePath(folder, GenomeBuildFile));
    if (!file.exists())
        return GenomeBuild::Hg18;
    if (!file.open(QIODevice::ReadOnly))
        return Error{ErrorKind::MissingFile,
                     QStringLiteral("The file %1 can't be read! Please reload the dataset!")
                         .arg(QLatin1StringView(GenomeBuildFile))};
    const QString text = QString::fromUtf8(file.read(64)).trimmed();
    if (const std::optional<GenomeBuild> build = genomeBuildNamed(text))
        return *build;
    return Error{ErrorKind::Damaged,
                 damagedDatasetMessage(folder,
                                       QStringLiteral("%1 names no genome build (hg18, hg19 or hg38).")
                                           .arg(QLatin1StringView(GenomeBuildFile)))};
}

Status writeGenomeBuild(const QString &folder, std::optional<GenomeBuild> build)
{
    const QString path = files::datasetFilePath(folder, GenomeBuildFile);
    if (!build) {
        if (!QFile::exists(path) || QFile::remove(path))
            return success();
        return Error{ErrorKind::WriteFailed, QStringLiteral("error : can't remove the file %1!").arg(path)};
    }
    QString error;
    if (!AtomicFile::writeWhole(path, (genomeBuildName(*build) + QLatin1Char('\n')).toLatin1(), &error))
        return Error{ErrorKind::WriteFailed, QStringLiteral("error : can't write the file %1!").arg(path)};
    return success();
}

} // namespace quillmap
