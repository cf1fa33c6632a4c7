#pragma once

#include "io/alignedbuffer.h"

#include <QString>
#include <QtGlobal>

namespace quillmap {

// A scratch file of the import, written by appending and then read at any offset. Its transfers
// bypass the page cache where the file system allows: spilled rows are what did not fit the
// memory meant for the import, so caching them would only push everything else out (and on
// some virtual machines, filling fresh page cache costs more processor time than the disk takes
// to write). Every transfer is therefore made of whole blocks, through buffers of its own. A
// small spill may keep the page cache: removed before the kernel writes it back, it never
// reaches the disk at all.
class SpillFile final
{
public:
    SpillFile() = default;
    ~SpillFile() { close(); }
    SpillFile(const SpillFile &) = delete;
    SpillFile &operator=(const SpillFile &) = delete;

    // Creates `path`, which must not exist (nor be a link), bypassing the page cache or not.
    bool create(const QString &path, bool bypassCache = true);
    // Closes and removes the file.
    void close();
    bool isOpen() const { return m_fd >= 0; }
    QString path() const { return m_path; }

    // Bytes appended so far: the offset of the next append.
    qint64 size() const { return m_size; }
    bool append(const void *data, qint64 size);
    // Writes out what is buffered, the last block filled up with zeros; reads see every byte
    // appended before.
    bool finishAppending();

    // A reader with a window of its own: one per stream of reads that goes through the file
    // front to back, so each takes whole windows from the disk.
    class Reader
    {
    public:
        Reader(SpillFile &file, qint64 windowBytes);
        bool read(void *data, qint64 size, qint64 offset);

    private:
        SpillFile &m_file;
        AlignedBuffer m_window;
        qint64 m_start = 0; // file offset of the window's first byte
        qint64 m_end = 0;   // and past its last
    };

private:
    bool writeBlocks(const char *data, qint64 size);
    bool readBlocks(char *data, qint64 size, qint64 offset);

    int m_fd = -1;
    QString m_path;
    AlignedBuffer m_buffer;
    qint64 m_buffered = 0;
    qint64 m_size = 0;
    qint64 m_written = 0; // bytes on the disk: whole blocks
    bool m_bypassing = false;
};

} // namespace quillmap
