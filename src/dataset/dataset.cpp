#include "dataset/dataset.h"

#include "dataset/datasetfiles.h"
#include "dataset/datasetloader.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace quillmap {

namespace {

const char *tableName(ResultTable which)
{
    return which == ResultTable::Traits ? files::TraitTable : files::BinTable;
}

} // namespace

Dataset::Dataset(QString folder)
    : m_folder(std::move(folder))
{
}

Dataset::~Dataset()
{
    for (const Held *held : {&m_traitTable, &m_binTable}) {
        if (held->fd >= 0)
            ::close(held->fd);
    }
}

QString Dataset::reimportedMessage(const QString &folder)
{
    return QStringLiteral("The dataset in %1 was imported again; reload it").arg(folder);
}

std::shared_ptr<const Dataset> Dataset::unloaded(const QString &folder)
{
    return std::shared_ptr<const Dataset>(new Dataset(folder));
}

Result<std::shared_ptr<const Dataset>> Dataset::load(const QString &folder)
{
    std::shared_ptr<Dataset> dataset(new Dataset(folder));
    // The tables are opened before the index files are read: if an import replaces them
    // meanwhile, the check after the load sees it, and what is held is never newer than the
    // counts.
    dataset->hold(ResultTable::Traits);
    dataset->hold(ResultTable::Bins);
    const Status loaded = DatasetLoader(folder).load(dataset->m_tables);
    if (!loaded)
        return loaded.error();
    if (!dataset->stillHeld())
        return Error{ErrorKind::Reimported, reimportedMessage(folder)};
    return std::shared_ptr<const Dataset>(std::move(dataset));
}

void Dataset::hold(ResultTable which)
{
    Held &held = which == ResultTable::Traits ? m_traitTable : m_binTable;
    const QByteArray path = QFile::encodeName(files::datasetFilePath(m_folder, tableName(which)));
    // Without blocking: a FIFO in a table's place must not hang the load.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return;
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return;
    }
    held.fd = fd;
    held.identity = {quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size),
                     qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

const Dataset::Held &Dataset::held(ResultTable which) const
{
    return which == ResultTable::Traits ? m_traitTable : m_binTable;
}

bool Dataset::stillHeld() const
{
    for (const ResultTable which : {ResultTable::Traits, ResultTable::Bins}) {
        const Result<OpenTable> open = table(which);
        if (!open && open.kind() == ErrorKind::Reimported)
            return false;
    }
    return true;
}

Result<Dataset::OpenTable> Dataset::table(ResultTable which) const
{
    const Held &h = held(which);
    const QByteArray path = QFile::encodeName(files::datasetFilePath(m_folder, tableName(which)));
    struct stat info = {};
    if (::stat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return Error{ErrorKind::MissingFile,
                     QStringLiteral("The file %1 is not found! Please reload the dataset!")
                         .arg(QLatin1StringView(tableName(which)))};
    // The import replaces a table by renaming a new file over it, so a path that names another
    // inode, or the same one written since, is another import's table.
    // A dataset that could not be loaded has no records to read.
    if (!m_tables.loaded)
        return OpenTable{};
    const Identity now{quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size),
                       qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
    if (h.fd < 0 || now != h.identity)
        return Error{ErrorKind::Reimported, reimportedMessage(m_folder)};
    return OpenTable{h.fd, h.identity.size};
}

} // namespace quillmap
