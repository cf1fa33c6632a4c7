#include "dataset/datasetfiles.h"

namespace quillmap::files {

QString datasetFilePath(const QString &folder, const char *name)
{
    return folder + QLatin1Char('/') + QLatin1String(name);
}

} // namespace quillmap::files
