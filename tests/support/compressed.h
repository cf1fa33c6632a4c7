#pragma once

#include <QByteArray>

// Compressed test inputs, as the tools that make real ones write them.

// One gzip member holding `bytes`; several back to back are one gzip file, as bgzip writes.
QByteArray gzipMember(const QByteArray &bytes);
// One zstd frame with its checksum, as the zstd tool writes: damage inside it is then seen.
QByteArray zstdFrame(const QByteArray &bytes);
