#pragma once

#include <QtGlobal>

// Whole reads and writes at an offset of a file descriptor (pread, pwrite), continued after a
// short transfer and retried after an interrupting signal. False on an error, or when a read
// meets the end of the file first. The descriptor's own offset does not move, so threads may
// share it.
namespace quillmap {

bool readAt(int fd, void *data, qint64 size, qint64 offset);
bool writeAt(int fd, const void *data, qint64 size, qint64 offset);

} // namespace quillmap
