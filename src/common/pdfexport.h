#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>

class QPainter;

namespace quillmap {

// A one-page landscape PDF at screen resolution, `paint` drawing onto the page in device units
// of 1/96 inch from its top-left corner (as shapes and text, sharp at any size), put at `path`
// through AtomicFile: a file already there is replaced only by a complete PDF and keeps its
// permissions, a new one gets the umask's. False when the PDF could not be made or written;
// the file at `path` is then as it was.
bool writePagePdf(const QString &path, const std::function<void(QPainter &painter)> &paint);

// The same page as a picture of `size` pixels on white (ARGB32).
QImage renderPageImage(QSize size, const std::function<void(QPainter &painter)> &paint);

} // namespace quillmap
