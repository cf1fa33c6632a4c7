#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

namespace quillmap {

// The lock file every import of a folder holds, from its first write to its last.
inline constexpr char ImportLockName[] = ".quillmap-import.lock";

struct FolderLock {
    enum class Outcome { Locked, Busy, CannotWrite };
    Outcome outcome = Outcome::CannotWrite;
    std::unique_ptr<QLockFile> lock; // held while Locked
    QString error;                   // the error line otherwise
};

// Locks `folder` for an import. A lock whose holder is gone is taken over: one of a process on
// this computer that has ended, one left unfinished (empty or unreadable) that no process holds,
// and whatever no import makes at the lock's name (a link, a FIFO, an empty folder). Otherwise
// the error names the holder (host, process, age) and, where this computer cannot judge it, how
// to clear the lock. Once locked, the temporary files killed imports left are removed.
FolderLock lockImportFolder(const QString &folder);

} // namespace quillmap
