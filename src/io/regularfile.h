#pragma once

#include <QFile>

namespace quillmap {

// Opens `file` (its fileName()) for reading when it names a regular file. A FIFO, device or
// folder at a dataset's path is refused at once: opening a FIFO for reading waits for a writer
// that never comes.
bool openRegularFile(QFile &file, QIODevice::OpenMode mode = QIODevice::ReadOnly);

} // namespace quillmap
