#pragma once

#include <QString>

#include <functional>

class QImage;
class QPainter;

namespace quillmap {

// Prints `image` at its own size at the top-left corner of a one-page landscape PDF at screen
// resolution and puts it at `path` through AtomicFile: a file already there is replaced only by
// a complete PDF and keeps its permissions, a new one gets the umask's. False when the PDF
// could not be made or written; the file at `path` is then as it was.
bool writeImagePdf(const QImage &image, const QString &path);

// The same page with `paint` drawing onto it directly, in device units of 1/96 inch from the
// page's top-left corner: shapes and text stay sharp at any size.
bool writePagePdf(const QString &path, const std::function<void(QPainter &painter)> &paint);

} // namespace quillmap
