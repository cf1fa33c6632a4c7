#pragma once

#include "io/alignedbuffer.h"

#include <QByteArrayView>
#include <QString>

#include <string>

namespace quillmap {

// The one way this program writes a file. Bytes go to a temporary file in the destination's
// folder; commit() flushes, syncs and renames it over the destination, so the destination holds
// either its old content or the complete new one, never part of either.
//
// - Every write, the flush, the sync and the rename are checked; the first failure sticks, is
//   described by errorString() and makes commit() fail and remove the temporary file.
// - A symbolic link at the destination is replaced by the new file; nothing is written to
//   where the link points.
// - A new file gets the mode 0666 less the process's umask; a regular file that is replaced
//   keeps its permission bits.
// - Without commit() (an early return, an exception) the destructor removes the temporary file.
class AtomicFile final
{
public:
    // Durable: commit() syncs the file and then its folder. Unsynced: neither; the rename still
    // makes the file whole or absent, but a crash of the machine may lose it. For scratch files
    // that are cheaper to make again than to sync (a cluster step's outputs, a fuzzer's folder).
    enum class Sync { Durable, Unsynced };
    // The mode of files that name none: Durable, unless a fuzzer, making thousands of scratch
    // folders a second, set Unsynced for the whole process.
    static Sync defaultSync();
    static void setDefaultSync(Sync sync);

    explicit AtomicFile(QString path, Sync sync = defaultSync());
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // Whether the new content passes through the page cache. Bypass is for files far larger than
    // the memory meant for them, which caching would only push other files out for; where the
    // file system cannot bypass it, the file is written as usual.
    enum class Cache { Use, Bypass };

    // Creates the temporary file; false (with errorString()) when the folder cannot take it.
    bool open(Cache cache = Cache::Use);
    // Buffered: bytes may reach the disk only at a later write, flush() or commit(). False once
    // anything failed.
    bool write(QByteArrayView bytes);
    bool write(char c) { return write(QByteArrayView(&c, 1)); }
    bool flush();
    // Makes the new content the destination's. False when anything failed since open(), in
    // which case the destination is as it was.
    bool commit();
    // Drops the new content; the destination is as it was.
    void cancel();

    bool failed() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }
    QString path() const { return m_path; }

    // open(), write(content), commit() in one; false with `error` set on failure.
    static bool writeWhole(const QString &path, QByteArrayView content, QString *error = nullptr,
                           Sync sync = defaultSync());
    // Makes `complete`, a finished regular file on the destination's file system written by
    // another process, the destination the way commit() does (synced, permissions kept, renamed,
    // folder synced). False with `error` set on failure; `complete` is then removed.
    static bool adopt(const QString &path, const QString &complete, QString *error = nullptr);

private:
    bool fail(const QString &what, int error);
    bool writeOut(const char *data, qsizetype size);
    void discard();

    QString m_path;
    Sync m_sync = Sync::Durable;
    QByteArray m_temporary; // encoded name of the temporary file, empty when none
    int m_fd = -1;
    std::string m_buffer;
    // Bypassing the page cache: whole blocks go out from here, and the last one, filled with
    // zeros, at commit(), which then cuts the file to its length.
    AlignedBuffer m_blocks;
    qint64 m_blocksFilled = 0;
    qint64 m_length = 0;
    bool m_bypassing = false; // the descriptor is open with O_DIRECT
    QString m_error;
};

} // namespace quillmap
