#include "figures/figureexport.h"

#include "figures/svgfigure.h"
#include "io/atomicfile.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QLineF>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>
#include <QTransform>

#include <algorithm>

namespace quillmap::figures {

std::optional<FigureFormat> figureFormatOf(const QString &path)
{
    if (path.endsWith(u".pdf", Qt::CaseInsensitive))
        return FigureFormat::Pdf;
    if (path.endsWith(u".svg", Qt::CaseInsensitive))
        return FigureFormat::Svg;
    if (path.endsWith(u".png", Qt::CaseInsensitive))
        return FigureFormat::Png;
    return std::nullopt;
}

namespace {

constexpr double ScreenDpi = 96.0;

// Draws the whole picture into `bytes`; the file is written only once it is complete.
bool drawInto(QByteArray &bytes, FigureFormat format, QSize size, int dpi,
              const std::function<void(QPainter &, QSize)> &paint)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const auto draw = [&](QPaintDevice *device, QSize drawn) {
        QPainter painter;
        if (!painter.begin(device))
            return false;
        painter.fillRect(QRect(QPoint(0, 0), drawn), Qt::white);
        painter.setRenderHint(QPainter::LosslessImageRendering);
        paint(painter, drawn);
        return painter.end();
    };
    switch (format) {
    case FigureFormat::Png: {
        // Drawn as the screen would draw it at 96 dpi, dpi / 96 times finer: the plots' pixel
        // margins and point-sized texts keep their proportions at any resolution.
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        const double ratio = dpi / ScreenDpi;
        const int screenDotsPerMeter = qRound(ScreenDpi / 0.0254);
        image.setDotsPerMeterX(screenDotsPerMeter);
        image.setDotsPerMeterY(screenDotsPerMeter);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::white);
        const QSize drawn(std::max(1, int(size.width() / ratio)), std::max(1, int(size.height() / ratio)));
        if (!draw(&image, drawn))
            return false;
        image.setDevicePixelRatio(1.0);
        const int dotsPerMeter = qRound(dpi / 0.0254);
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
        return image.save(&buffer, "PNG");
    }
    case FigureFormat::Svg: {
        SvgFigure svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setResolution(dpi);
        svg.setTitle(QStringLiteral("Quillmap"));
        if (!draw(&svg, size))
            return false;
        buffer.close();
        bytes = svg.finish(bytes);
        return true;
    }
    case FigureFormat::Pdf: {
        QPdfWriter pdf(&buffer);
        pdf.setResolution(dpi);
        pdf.setPageSize(QPageSize(QSizeF(size.width() * 72.0 / dpi, size.height() * 72.0 / dpi),
                                  QPageSize::Point, QString(), QPageSize::ExactMatch));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setCreator(QStringLiteral("Quillmap"));
        return draw(&pdf, size);
    }
    }
    return false;
}

} // namespace

bool exportFigure(const QString &path, QSize size, int dpi,
                  const std::function<void(QPainter &painter, QSize size)> &paint, QString *error)
{
    const std::optional<FigureFormat> format = figureFormatOf(path);
    if (!format) {
        *error = QStringLiteral("%1: the file name must end in .pdf, .svg or .png").arg(path);
        return false;
    }
    if (size.width() < 16 || size.height() < 16 || size.width() > 20000 || size.height() > 20000 || dpi < 10
        || dpi > 2400) {
        *error = QStringLiteral("a picture is 16 to 20000 units on each side, at 10 to 2400 dpi");
        return false;
    }
    QByteArray bytes;
    if (!drawInto(bytes, *format, size, dpi, paint) || bytes.isEmpty()) {
        *error = QStringLiteral("%1: the picture could not be drawn").arg(path);
        return false;
    }
    QString reason;
    if (AtomicFile::writeWhole(path, bytes, &reason))
        return true;
    *error = QStringLiteral("%1 cannot be written: %2").arg(path, reason);
    return false;
}

void paintAxisTitle(QPainter &painter, const QString &title, double baselineX, double centreY)
{
    if (title.isEmpty())
        return;
    painter.save();
    painter.resetTransform();
    painter.setViewTransformEnabled(false);
    QFont font(QStringLiteral("Helvetica"));
    font.setPointSize(8);
    painter.setFont(font);
    QPen pen(Qt::blue);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.translate(baselineX, centreY);
    painter.rotate(-90);
    painter.drawText(-painter.fontMetrics().horizontalAdvance(title) / 2, 0, title);
    painter.restore();
}

QTransform unscaledTransform(const QPainter &painter)
{
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatio() : 1.0;
    return painter.combinedTransform() * QTransform::fromScale(1.0 / ratio, 1.0 / ratio);
}

void paintValueLabel(QPainter &painter, const QString &text, double textX, double y, double tickLeft,
                     double tickRight)
{
    painter.drawLine(QLineF(tickLeft, y, tickRight, y));
    const QFontMetricsF metrics(painter.font(), painter.device());
    painter.drawText(QPointF(textX, y + metrics.capHeight() / 2.0), text);
}

QPen significancePen()
{
    QPen pen(Qt::darkRed);
    pen.setCosmetic(true);
    pen.setStyle(Qt::DashLine);
    return pen;
}

} // namespace quillmap::figures
