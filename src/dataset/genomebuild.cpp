#include "dataset/genomebuild.h"

#include "io/atomicfile.h"
#include "dataset/datasetfiles.h"
#include "dataset/datasetloader.h"
#include "dataset/nametable.h"
#include "io/regularfile.h"

#include <QFile>

namespace quillmap {

namespace {

constexpr const char *BuildNameTable[] = {"hg18", "hg19", "hg38"};
constexpr EnumNames<GenomeBuild> BuildNames(BuildNameTable);

} // namespace

QString genomeBuildName(GenomeBuild build)
{
    return BuildNames.nameOf(build);
}

std::optional<GenomeBuild> genomeBuildNamed(QStringView name)
{
    return BuildNames.named(name);
}

QStringList genomeBuildNames()
{
    return BuildNames.all();
}

Result<GenomeBuild> readGenomeBuild(const QString &folder)
{
    QFile file(files::datasetFilePath(folder, GenomeBuildFile));
    if (!file.exists())
        return GenomeBuild::Hg18;
    if (!openRegularFile(file))
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
