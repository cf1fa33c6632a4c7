#include "import/folderlock.h"

#include "dataset/datasetfiles.h"
#include "dataset/genomebuild.h"
#include "import/toolimport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmap {

namespace {

// A lock is written within moments of its creation: an empty one younger than this may be
// being written.
constexpr qint64 UnfinishedLockSeconds = 5;

QString ageText(qint64 seconds)
{
    if (seconds < 120)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 2 * 3600)
        return QStringLiteral("%1 min").arg(seconds / 60);
    return QStringLiteral("%1 h").arg(seconds / 3600);
}

// True once the unfinished lock at `path` is gone: no process holds it (holders keep it
// flock()ed from its creation on), and it was removed while this one held it.
bool removeUnheldLock(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    const bool removed = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(path.constData()) == 0;
    ::close(fd);
    return removed;
}

// The temporary files of imports that were killed (.table2.dat.k3j9x0a.tmp): the lock says no
// import is writing them, and nothing else would remove them.
void removeStaleTemporaries(const QString &folder)
{
    using namespace files;
    static const char *const outputs[] = {
        Summary,     TraitList, SnpList,         TraitTable,     TraitCounts,    BinTable,        BinCounts,
        GroupTraits, BinGenes,  GenomeBuildFile, DerivedResults, DerivedSnpInfo, DerivedTraitInfo};
    QDir dir(folder);
    const QStringList temporaries = dir.entryList({QStringLiteral(".*.tmp")},
                                                  QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : temporaries) {
        for (const char *output : outputs) {
            const QString stem = QLatin1Char('.') + QLatin1String(output) + QLatin1Char('.');
            const QStringView random = QStringView(name).sliced(0, name.size() - 4);
            if (!name.startsWith(stem) || random.size() <= stem.size())
                continue;
            const QStringView tag = random.sliced(stem.size());
            if (std::all_of(tag.begin(), tag.end(), [](QChar c) {
                    return (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                        || (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
                }))
                ::unlink(QFile::encodeName(dir.filePath(name)).constData());
        }
    }
}

} // namespace

FolderLock lockImportFolder(const QString &folder)
{
    FolderLock result;
    const QString path = QDir(folder).filePath(QLatin1String(ImportLockName));
    const QByteArray native = QFile::encodeName(path);
    const QString running = QStringLiteral("error : another import into the folder %1 is running, please wait"
                                           " until it has finished!")
                                .arg(folder);
    // What no import makes would block every import, or hang one reading it (a FIFO).
    struct stat entry;
    if (::lstat(native.constData(), &entry) == 0 && !S_ISREG(entry.st_mode)) {
        const bool removed = S_ISDIR(entry.st_mode) ? ::rmdir(native.constData()) == 0
                                                    : ::unlink(native.constData()) == 0;
        if (!removed) {
            result.error =
                QStringLiteral("error : %1 is not a lock file, please remove it and import again!").arg(path);
            return result;
        }
    }

    result.lock = std::make_unique<QLockFile>(path);
    result.lock->setStaleLockTime(0); // an import may run for hours; only a gone holder frees it
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (result.lock->tryLock(0)) {
            result.outcome = FolderLock::Outcome::Locked;
            removeStaleTemporaries(folder);
            return result;
        }
        if (result.lock->error() != QLockFile::LockFailedError) {
            result.error = QStringLiteral("error : can't write the file %1!").arg(path);
            return result;
        }
        qint64 pid = 0;
        QString host;
        QString application;
        const QFileInfo info(path);
        const qint64 age = std::max<qint64>(0, info.lastModified().secsTo(QDateTime::currentDateTime()));
        if (result.lock->getLockInfo(&pid, &host, &application)) {
            // Qt has judged a holder on this computer to be running; one elsewhere it cannot.
            result.outcome = FolderLock::Outcome::Busy;
            result.error = running
                + QStringLiteral(" (process %1 on %2, for %3").arg(pid).arg(host, ageText(age));
            if (host != QSysInfo::machineHostName())
                result.error += QStringLiteral("; if no import is running on %1, remove %2 and import again")
                                    .arg(host, path);
            result.error += QLatin1Char(')');
            return result;
        }
        if (age < UnfinishedLockSeconds || !removeUnheldLock(native))
            break;
    }
    result.outcome = FolderLock::Outcome::Busy;
    result.error = running
        + QStringLiteral(" (its lock names no process; if no import into it is running, remove %1 and"
                         " import again)")
              .arg(path);
    return result;
}

} // namespace quillmap
