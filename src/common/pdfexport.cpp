#include "common/pdfexport.h"

#include "io/atomicfile.h"

#include <QFile>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>

namespace quillmap {

bool writePagePdf(const QString &path, const std::function<void(QPainter &painter)> &paint)
{
    // The printer writes only to a named file and reports few of its failures, so it writes a
    // scratch copy of its own; the bytes then go to the destination checked.
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return false;
    const QString scratchPath = scratch.filePath(QStringLiteral("page.pdf"));
    {
        QPrinter printer(QPrinter::ScreenResolution);
        printer.setPageOrientation(QPageLayout::Landscape);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(scratchPath);
        QPainter painter;
        if (!painter.begin(&printer))
            return false;
        paint(painter);
        if (!painter.end())
            return false;
    }
    QFile pdf(scratchPath);
    if (!pdf.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = pdf.readAll();
    // A PDF cut short by a full scratch folder lacks its end marker.
    if (pdf.error() != QFileDevice::NoError || !bytes.trimmed().endsWith("%%EOF"))
        return false;
    return AtomicFile::writeWhole(path, bytes);
}

QImage renderPageImage(QSize size, const std::function<void(QPainter &painter)> &paint)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    paint(painter);
    painter.end();
    return image;
}

} // namespace quillmap
