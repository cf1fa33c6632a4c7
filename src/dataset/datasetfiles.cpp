#include "dataset/datasetfiles.h"

#include <QFileInfo>

namespace quillmap::files {

QString datasetFilePath(const QString &folder, const char *name)
{
    return folder + QLatin1Char('/') + QLatin1String(name);
}

QString pdfExportPath(const QString &chosen)
{
    if (chosen.isEmpty() || !QFileInfo(chosen).suffix().isEmpty())
        return chosen;
    return chosen + QStringLiteral(".pdf");
}

} // namespace quillmap::files
