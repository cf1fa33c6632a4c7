#include "bytrait/traitplotpainter.h"

#include "common/pdfexport.h"
#include "figures/figureexport.h"

#include "browse/traitplotgeometry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QImage>
#include <QPageLayout>
#include <QPaintEngine>
#include <QPainter>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>
#include <thread>
#include <vector>

namespace quillmap {

namespace traitplot {

namespace {

QPen cosmeticPen(const QColor &colour)
{
    QPen pen(colour);
    pen.setCosmetic(true);
    return pen;
}

// Plot area of the screen plot: window (0, 0)-(E + 49, trunc(G) - 1) onto the pixels
// (40, 10)-(W - 1, H - 26) of `area`.
void mapPlotArea(QPainter &painter, const QRect &area)
{
    const double g = screenHeightScale(area.width(), area.height());
    painter.setWindow(0, 0, genomeExtent() + 50, std::max(1, int(g)));
    painter.setViewport(area.x() + 40, area.y() + 10, area.width() - 40, area.height() - 35);
}

ValueScale screenScale(const QRect &area, const TraitPlotData &data)
{
    return makeScale(data.valueMin, data.valueMax, screenHeightScale(area.width(), area.height()));
}

void drawFrameLines(QPainter &painter, double g)
{
    const int bottom = int(0.9 * g);
    for (int i = 0; i < OffsetCount; ++i) {
        const int x = int(std::floor(chromosomeOffset(i)));
        painter.drawLine(x, 0, x, bottom);
    }
    painter.drawLine(int(std::floor(chromosomeOffset(0))), 0,
                     int(std::floor(chromosomeOffset(OffsetCount - 1))), 0);
    painter.drawLine(int(std::ceil(chromosomeOffset(0))), bottom,
                     int(std::ceil(chromosomeOffset(OffsetCount - 1))), bottom);
}

// Ellipses are mapped to device pixels by hand and drawn untransformed: the raster engine then
// draws them directly instead of flattening a Bezier path per point (a million points per
// trait are common). The painter's view and world transforms are switched off meanwhile.
class DeviceEllipses
{
public:
    explicit DeviceEllipses(QPainter &painter)
        : m_painter(painter),
          m_transform(quillmap::figures::unscaledTransform(painter))
    {
        m_painter.save();
        m_painter.setViewTransformEnabled(false);
        m_painter.setWorldMatrixEnabled(false);
    }
    ~DeviceEllipses() { m_painter.restore(); }
    DeviceEllipses(const DeviceEllipses &) = delete;
    DeviceEllipses &operator=(const DeviceEllipses &) = delete;

    // The ellipse inscribed in the logical box `size` units wide from (x, y).
    void draw(int x, int y, int size) { m_painter.drawEllipse(deviceBox(x, y, size)); }

    const QTransform &transform() const { return m_transform; }

    // That ellipse's box in device pixels.
    QRect deviceBox(int x, int y, int size) const
    {
        const QRectF box = m_transform.mapRect(QRectF(x, y, size, size));
        return QRect(qRound(box.left()), qRound(box.top()), std::max(1, qRound(box.width())),
                     std::max(1, qRound(box.height())));
    }

private:
    QPainter &m_painter;
    QTransform m_transform;
};

enum : quint8 { PenBlue = 0, PenDarkBlue = 1, PenMagenta = 2 };

// A point that is drawn.
struct Point {
    QRect box; // device pixels
    quint8 pen;
};

// True when painting the same solid shape twice leaves the same pixels as painting it once.
bool repeatsAreIdempotent(const QPainter &painter)
{
    const QPaintEngine *engine = painter.paintEngine();
    return engine && engine->type() == QPaintEngine::Raster && !painter.testRenderHint(QPainter::Antialiasing)
        && painter.compositionMode() == QPainter::CompositionMode_SourceOver && painter.opacity() == 1.0;
}

// 32-bit images, where a stamped pixel keeps its colour exactly.
bool isTrueColourImage(const QPaintDevice *device)
{
    if (!device || device->devType() != QInternal::Image)
        return false;
    const QImage::Format format = static_cast<const QImage *>(device)->format();
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32
        || format == QImage::Format_ARGB32_Premultiplied;
}

// Which box corners near the device a later point of the same pen already covers, a bit each:
// small enough to stay in cache while millions of points are looked up. One plot uses blue and
// dark blue, or magenta alone: two planes hold them. Corners beyond the tracked area are never
// repeats.
class RepeatFilter
{
public:
    RepeatFilter(QSize size, bool enabled)
    {
        m_width = qint64(size.width()) + 2 * Margin;
        m_height = qint64(size.height()) + 2 * Margin;
        if (enabled && m_width * m_height <= (qint64(1) << 26))
            m_seen.assign(size_t((m_width * m_height * 2 + 63) / 64), 0);
    }
    // Called from the last point to the first: true when a later point has this corner and pen.
    bool repeated(QPoint corner, quint8 pen)
    {
        const qint64 bit = bitOf(corner, pen);
        if (bit < 0)
            return false;
        quint64 &word = m_seen[size_t(bit >> 6)];
        const quint64 mask = quint64(1) << (bit & 63);
        const bool seen = word & mask;
        word |= mask;
        return seen;
    }
    // True when a point with this corner and pen was marked.
    bool contains(QPoint corner, quint8 pen) const
    {
        const qint64 bit = bitOf(corner, pen);
        return bit >= 0 && (m_seen[size_t(bit >> 6)] >> (bit & 63) & 1);
    }

private:
    qint64 bitOf(QPoint corner, quint8 pen) const
    {
        if (m_seen.empty())
            return -1;
        const qint64 x = qint64(corner.x()) + Margin;
        const qint64 y = qint64(corner.y()) + Margin;
        if (x < 0 || y < 0 || x >= m_width || y >= m_height)
            return -1;
        return (y * m_width + x) * 2 + (pen == PenDarkBlue ? 1 : 0);
    }

    static constexpr int Margin = 64;
    qint64 m_width = 0;
    qint64 m_height = 0;
    std::vector<quint64> m_seen;
};

// The device boxes of the points, mapped once per logical x and once per logical y: under a
// view that only scales and moves (every screen plot), a box's left and width follow from x
// alone and its top and height from y alone. Anything else, or beyond the tables, is mapped
// point by point.
class BoxTable
{
public:
    // Tables only pay for more points than entries (a repaint goes in slices of a thousand).
    BoxTable(const DeviceEllipses &ellipses, int size, int xEnd, int yEnd, qint64 points)
        : m_ellipses(ellipses),
          m_size(size)
    {
        if (ellipses.transform().type() > QTransform::TxScale || points < 4 * (qint64(xEnd) + yEnd))
            return;
        m_x.resize(size_t(std::max(0, xEnd) + 2 * Margin));
        m_y.resize(size_t(std::max(0, yEnd) + 2 * Margin));
        for (size_t i = 0; i < m_x.size(); ++i) {
            const QRect box = ellipses.deviceBox(int(i) - Margin, 0, size);
            m_x[i] = {box.left(), box.width()};
        }
        for (size_t i = 0; i < m_y.size(); ++i) {
            const QRect box = ellipses.deviceBox(0, int(i) - Margin, size);
            m_y[i] = {box.top(), box.height()};
        }
    }
    QRect box(int x, int y) const
    {
        const qint64 i = qint64(x) + Margin;
        const qint64 j = qint64(y) + Margin;
        if (i < 0 || j < 0 || i >= qint64(m_x.size()) || j >= qint64(m_y.size()))
            return m_ellipses.deviceBox(x, y, m_size);
        const Span &sx = m_x[size_t(i)];
        const Span &sy = m_y[size_t(j)];
        return QRect(sx.start, sy.start, sx.length, sy.length);
    }

private:
    struct Span {
        int start = 0;
        int length = 0;
    };
    static constexpr int Margin = 64;
    const DeviceEllipses &m_ellipses;
    int m_size;
    std::vector<Span> m_x, m_y;
};

// A point's picture as the opaque pixels it sets, offsets from its box's corner: stamped
// straight into a 32-bit image. Empty when the picture has partly transparent pixels, which
// must be blended.
struct Stamp {
    std::vector<QPoint> offsets;
    std::vector<quint32> colours;
    bool opaque = false;
};

Stamp stampOf(const QImage &sprite, int pad)
{
    Stamp stamp;
    for (int y = 0; y < sprite.height(); ++y) {
        const auto *line = reinterpret_cast<const quint32 *>(sprite.constScanLine(y));
        for (int x = 0; x < sprite.width(); ++x) {
            const quint32 alpha = line[x] >> 24;
            if (alpha == 0)
                continue;
            if (alpha != 255)
                return {};
            stamp.offsets.push_back(QPoint(x - pad, y - pad));
            stamp.colours.push_back(line[x]);
        }
    }
    stamp.opaque = true;
    return stamp;
}

// The pixels of a 32-bit image, taken once: QImage::bits() checks for sharing at every call.
struct Pixels {
    explicit Pixels(QImage &image)
        : bits(image.bits()),
          stride(image.bytesPerLine()),
          width(image.width()),
          height(image.height())
    {
    }
    uchar *bits;
    qsizetype stride;
    int width;
    int height;
};

void applyStamp(const Pixels &pixels, const Stamp &stamp, QPoint corner)
{
    const int width = pixels.width, height = pixels.height;
    uchar *bits = pixels.bits;
    const qsizetype stride = pixels.stride;
    for (size_t k = 0; k < stamp.offsets.size(); ++k) {
        const int x = corner.x() + stamp.offsets[k].x();
        const int y = corner.y() + stamp.offsets[k].y();
        if (x >= 0 && y >= 0 && x < width && y < height)
            reinterpret_cast<quint32 *>(bits + y * stride)[x] = stamp.colours[k];
    }
}

bool drawnInMode(int mode, double v, const TraitPlotData &data)
{
    switch (mode) {
    case 1:
        return v > data.topThreshold;
    case 2:
        return v < data.bottomThreshold;
    case 3:
        return v > data.topThreshold || v < data.bottomThreshold;
    default:
        return true;
    }
}

} // namespace

void drawFrame(QPainter &painter, const QRect &area)
{
    painter.save();
    mapPlotArea(painter, area);
    painter.setPen(cosmeticPen(Qt::blue));
    painter.setBrush(Qt::NoBrush);
    drawFrameLines(painter, screenHeightScale(area.width(), area.height()));
    painter.restore();
}

void drawSignificance(QPainter &painter, const QRect &area, const TraitPlotData &data)
{
    if (!data.plotReady)
        return;
    double y = 0;
    if (screenScale(area, data).lineY(data.significanceValue, &y)) {
        painter.save();
        mapPlotArea(painter, area);
        painter.setPen(quillmap::figures::significancePen());
        painter.drawLine(
            QLineF(std::floor(chromosomeOffset(0)), y, std::floor(chromosomeOffset(OffsetCount - 1)), y));
        painter.restore();
    }
    quillmap::figures::paintAxisTitle(painter, data.axisTitle, area.x() + 11,
                                      area.y() + 10 + 0.45 * (area.height() - 35));
}

void pointCentres(QSize size, const TraitPlotData &data, std::vector<float> *x, std::vector<float> *y)
{
    x->assign(size_t(std::max(0, data.rowCount)), NAN);
    y->assign(size_t(std::max(0, data.rowCount)), NAN);
    if (!data.plotReady)
        return;
    // The mapping of mapPlotArea, applied by hand.
    const double g = screenHeightScale(size.width(), size.height());
    const double sx = double(size.width() - 40) / double(genomeExtent() + 50);
    const double sy = double(size.height() - 35) / double(std::max(1, int(g)));
    const ValueScale scale = makeScale(data.valueMin, data.valueMax, g);
    for (int i = 0; i < data.rowCount; ++i) {
        const double v = data.values[i];
        int px = 0;
        if (!drawnInMode(data.highlightMode, v, data) || !pointX(data.chromosomes[i], data.positions[i], &px))
            continue;
        (*x)[size_t(i)] = float(40.0 + (px + PointBox / 2.0) * sx);
        (*y)[size_t(i)] = float(10.0 + (scale.y(v) + PointBox / 2.0) * sy);
    }
}

bool drawPoints(QPainter &painter, const QRect &area, const TraitPlotData &data, int from, int to,
                const std::function<bool(int)> &progress)
{
    if (!data.plotReady)
        return true;
    painter.save();
    mapPlotArea(painter, area);
    const ValueScale scale = screenScale(area, data);
    painter.setBrush(Qt::blue);
    const int mode = data.highlightMode;
    const QPen magenta = cosmeticPen(Qt::magenta);
    const QPen darkBlue = cosmeticPen(Qt::darkBlue);
    const QPen blue = cosmeticPen(Qt::blue);
    if (mode >= 1 && mode <= 3)
        painter.setPen(magenta);
    DeviceEllipses ellipses(painter);
    const bool fixedPen = mode >= 1 && mode <= 3;
    const int end = std::min(to, data.rowCount);
    const bool idempotent = repeatsAreIdempotent(painter);
    // An SVG or PDF keeps every shape it is given: a million points would make a file of
    // hundreds of megabytes that shows no more than the distinct ones.
    const QPaintEngine *engine = painter.paintEngine();
    const bool vector = engine && engine->type() != QPaintEngine::Raster && painter.opacity() == 1.0;
    // From the last row to the first, keeping a point only when no later point has the same
    // box and pen: that one paints the same pixels afterwards, so the picture is unchanged
    // (solid colours without antialiasing are idempotent) and only the distinct points are
    // held and drawn. A cancelled plot is discarded by its callers, whatever it holds.
    const QSize tracked(area.right() + 1, area.bottom() + 1);
    const bool dedupe = idempotent || vector;
    const BoxTable boxes(ellipses, PointBox, genomeExtent() + 50, int(std::min(scale.height, 1e6)) + 1,
                         qint64(end) - from);
    // Rows [lo, hi) from the last back, into `points`; false when stopped.
    const auto gather = [&](int lo, int hi, RepeatFilter &repeats, std::vector<Point> &points, QSize &lastBox,
                            const std::function<bool(int)> &ask) {
        for (int i = hi - 1; i >= lo; --i) {
            const int done = hi - 1 - i;
            if (ask && done % 4096 == 0 && !ask(done))
                return false;
            const double v = data.values[i];
            if (!drawnInMode(mode, v, data))
                continue;
            int x = 0;
            if (!pointX(data.chromosomes[i], data.positions[i], &x))
                continue;
            const quint8 pen = fixedPen ? PenMagenta : data.chromosomes[i] % 2 ? PenDarkBlue : PenBlue;
            const QRect box = boxes.box(x, scale.y(v));
            lastBox = box.size();
            if (!repeats.repeated(box.topLeft(), pen))
                points.push_back({box, pen});
        }
        return true;
    };
    const auto reported = [&](int base) {
        return std::function<bool(int)>(
            progress ? std::function<bool(int)>([&progress, base](int done) { return progress(base + done); })
                     : std::function<bool(int)>());
    };
    RepeatFilter repeats(tracked, dedupe);
    std::vector<Point> points;
    QSize firstBox;
    bool completed = true;
    // A big plot gathers its earlier rows on a second core; they keep the points no later row
    // repeats, as if gathered in one pass.
    constexpr int SplitAbove = 1 << 18;
    if (end - from > SplitAbove && std::thread::hardware_concurrency() > 1) {
        const int mid = from + (end - from) / 2;
        std::atomic<bool> stop{false};
        RepeatFilter earlierRepeats(tracked, dedupe);
        std::vector<Point> earlier;
        QSize earlierBox;
        std::thread worker([&] {
            gather(from, mid, earlierRepeats, earlier, earlierBox,
                   [&stop](int) { return !stop.load(std::memory_order_relaxed); });
        });
        completed = gather(mid, end, repeats, points, firstBox, reported(from));
        stop = !completed;
        worker.join();
        if (completed) {
            for (const Point &point : earlier) {
                if (!repeats.contains(point.box.topLeft(), point.pen))
                    points.push_back(point);
            }
            if (!earlier.empty())
                firstBox = earlierBox;
        }
    } else {
        completed = gather(from, end, repeats, points, firstBox, reported(from));
    }
    if (!completed || points.empty()) {
        painter.restore();
        return completed;
    }
    const QPen *pens[] = {&blue, &darkBlue, &magenta};
    // On a raster device every ellipse of one pen is the same pixels moved by whole pixels:
    // stamping a picture of it is the same drawing, at a fraction of the cost.
    QImage sprites[3];
    Stamp stamps[3];
    constexpr int SpritePad = 4;
    const bool stamp = idempotent && !painter.hasClipping() && isTrueColourImage(painter.device())
        && painter.device()->devicePixelRatio() == 1.0;
    bool direct = stamp && static_cast<QImage *>(painter.device())->isDetached();
    if (stamp) {
        for (quint8 k = 0; k < 3; ++k) {
            if (fixedPen != (k == PenMagenta))
                continue;
            QImage &sprite = sprites[k];
            sprite = QImage(firstBox.width() + 2 * SpritePad, firstBox.height() + 2 * SpritePad,
                            QImage::Format_ARGB32_Premultiplied);
            sprite.fill(Qt::transparent);
            QPainter spritePainter(&sprite);
            spritePainter.setRenderHints(painter.renderHints());
            spritePainter.setPen(fixedPen ? painter.pen() : *pens[k]);
            spritePainter.setBrush(painter.brush());
            spritePainter.drawEllipse(QRect(QPoint(SpritePad, SpritePad), firstBox));
            spritePainter.end();
            stamps[k] = stampOf(sprite, SpritePad);
            direct = direct && stamps[k].opaque;
        }
    }
    // Drawn in row order, as they were gathered backwards.
    std::optional<Pixels> pixels;
    if (direct)
        pixels.emplace(*static_cast<QImage *>(painter.device()));
    quint8 currentPen = 0xFF;
    for (auto point = points.rbegin(); point != points.rend(); ++point) {
        if (direct) {
            applyStamp(*pixels, stamps[point->pen], point->box.topLeft());
            continue;
        }
        if (stamp) {
            painter.drawImage(point->box.topLeft() - QPoint(SpritePad, SpritePad), sprites[point->pen]);
            continue;
        }
        if (!fixedPen && point->pen != currentPen) {
            painter.setPen(*pens[point->pen]);
            currentPen = point->pen;
        }
        painter.drawEllipse(point->box);
    }
    painter.restore();
    return true;
}

void drawValueLabels(QPainter &painter, const QRect &area, const TraitPlotData &data)
{
    if (!data.plotReady)
        return;
    painter.save();
    // Ticks at the values' own heights under the points' mapping; texts in device pixels.
    mapPlotArea(painter, area);
    const QTransform toDevice = quillmap::figures::unscaledTransform(painter);
    painter.resetTransform();
    painter.setViewTransformEnabled(false);
    painter.setPen(cosmeticPen(Qt::blue));
    painter.setFont(QFont(QStringLiteral("Helvetica")));
    const ValueScale scale = screenScale(area, data);
    const double frameX = toDevice.map(QPointF(std::floor(chromosomeOffset(0)), 0)).x();
    for (int t : labelValues(data.valueMin, data.valueMax)) {
        const double y = toDevice.map(QPointF(0, scale.exactY(t))).y();
        quillmap::figures::paintValueLabel(painter, QString::asprintf("%d ", t), area.x() + 15, y, frameX - 5,
                                           frameX - 1);
    }
    painter.restore();
}

void drawChromosomeStrip(QPainter &painter, const QRect &area)
{
    painter.save();
    const int w = area.width();
    painter.setWindow(0, 0, w, 30);
    painter.setViewport(area.x() + 40, area.y() + area.height() - 35, w - 40, 30);
    painter.setPen(cosmeticPen(Qt::blue));
    QFont font(QStringLiteral("Helvetica"));
    font.setPointSize(8);
    painter.setFont(font);
    for (int c = 1; c <= 22; ++c) {
        const bool odd = c % 2 == 1;
        painter.drawText(stripMid(c, w) - (odd ? 8 : 10), odd ? 3 : 6, QString::number(c));
    }
    painter.drawText(stripMid(23, w) - 10, 1, QStringLiteral("X"));
    painter.restore();
}

void drawSelectionCircles(QPainter &painter, const QRect &area, const TraitPlotData &data)
{
    if (!data.highlightOn)
        return;
    painter.save();
    mapPlotArea(painter, area);
    const ValueScale scale = screenScale(area, data);
    painter.setPen(cosmeticPen(Qt::red));
    painter.setBrush(Qt::red);
    DeviceEllipses ellipses(painter);
    for (int i = 0; i < data.highlightCount; ++i) {
        int x = 0;
        if (!pointX(data.highlightChromosomes[i], data.highlightPositions[i], &x))
            continue;
        ellipses.draw(x - CircleInset, scale.circleY(data.highlightValues[i]), CircleBox);
    }
    painter.restore();
}

bool renderTraitPlot(QPaintDevice *device, const TraitPlotData &data,
                     const std::function<bool(int)> &progress)
{
    const QRect area(0, 0, device->width(), device->height());
    QPainter painter(device);
    drawFrame(painter, area);
    if (!drawPoints(painter, area, data, 0, data.rowCount, progress))
        return false;
    drawSignificance(painter, area, data);
    drawValueLabels(painter, area, data);
    drawChromosomeStrip(painter, area);
    return true;
}

void paintTraitFigure(QPainter &painter, QSize size, const TraitPlotData &data, const QString &title)
{
    int top = 0;
    if (!title.isEmpty()) {
        QFont font(QStringLiteral("Helvetica"));
        font.setPointSize(12);
        painter.save();
        painter.setFont(font);
        painter.setPen(Qt::black);
        top = painter.fontMetrics().height() + 8;
        painter.drawText(QRect(0, 4, size.width(), top - 4), Qt::AlignHCenter | Qt::AlignTop, title);
        painter.restore();
    }
    const QRect area(0, top, size.width(), size.height() - top);
    drawFrame(painter, area);
    drawPoints(painter, area, data, 0, data.rowCount);
    drawSignificance(painter, area, data);
    drawValueLabels(painter, area, data);
    drawChromosomeStrip(painter, area);
    drawSelectionCircles(painter, area, data);
}

void paintTraitExport(QPainter &painter, const TraitPlotData &data, const QString &title,
                      const QString &caption)
{
    painter.save();
    painter.setClipRect(QRect(QPoint(0, 0), ExportPageSize));
    painter.setBackground(Qt::white);
    painter.eraseRect(0, 0, 1000, 350);
    QFont font(QStringLiteral("Helvetica"));
    font.setPointSize(20);
    painter.setFont(font);
    painter.drawText(400, 20, title);

    const int e = genomeExtent();
    const double g = exportHeightScale();
    // Window (-50, -50)-(E - 1, trunc(G') - 51) onto the pixels (10, 30)-(984, 349).
    painter.setWindow(-50, -50, e + 50, int(g));
    painter.setViewport(10, 30, 975, 320);
    painter.setPen(cosmeticPen(Qt::blue));
    drawFrameLines(painter, g);

    font.setPointSize(50);
    painter.setFont(font);
    painter.drawText(60, -30, caption);

    if (data.plotReady) {
        const ValueScale scale = makeScale(data.valueMin, data.valueMax, g);
        painter.setPen(cosmeticPen(Qt::blue));
        painter.setBrush(Qt::NoBrush);
        // A page holds every shape it is given: an outline drawn again on the same pixels adds
        // bytes, not ink, so each distinct one is written once.
        const QPaintEngine *engine = painter.paintEngine();
        const bool vector = !engine || engine->type() != QPaintEngine::Raster;
        const auto drawAll = [&](int count, const quint8 *chromosomes, const float *positions,
                                 const float *values, int box) {
            DeviceEllipses ellipses(painter);
            QSet<quint64> drawn;
            for (int i = 0; i < count; ++i) {
                int x = 0;
                if (!pointX(chromosomes[i], positions[i], &x))
                    continue;
                const int y = scale.y(values[i]);
                if (vector) {
                    const QRect device = ellipses.deviceBox(x, y, box);
                    const quint64 key = (quint64(quint32(device.x())) << 32) | quint32(device.y());
                    if (drawn.contains(key))
                        continue;
                    drawn.insert(key);
                }
                ellipses.draw(x, y, box);
            }
        };
        drawAll(data.rowCount, data.chromosomes, data.positions, data.values, PointBox);
        if (data.highlightOn) {
            painter.setPen(cosmeticPen(Qt::red));
            painter.setBrush(Qt::red);
            drawAll(data.highlightCount, data.highlightChromosomes, data.highlightPositions,
                    data.highlightValues, ExportCircleBox);
        }
        painter.setPen(cosmeticPen(Qt::blue));
        painter.setBrush(Qt::NoBrush);
        font.setPointSize(30);
        painter.setFont(font);
        if (data.valueMax - data.valueMin < 1.0f) {
            painter.drawText(-80, int(std::floor(0.85 * g - 0.8 * g * 0.5)),
                             QString::asprintf("%.1f ", (scale.cmax + scale.fmin) * 0.5));
        }
        for (int t : labelValues(data.valueMin, data.valueMax))
            quillmap::figures::paintValueLabel(painter, QString::asprintf("%d ", t), -80, scale.exactY(t),
                                               -20, 0);
        double y = 0;
        if (scale.lineY(data.significanceValue, &y)) {
            painter.setPen(quillmap::figures::significancePen());
            painter.drawLine(
                QLineF(std::floor(chromosomeOffset(0)), y, std::floor(chromosomeOffset(OffsetCount - 1)), y));
        }
        // Centred on the frame, in the page's left margin.
        quillmap::figures::paintAxisTitle(painter, data.axisTitle, 11, 30 + (0.45 * g + 50) * 320 / int(g));
    }

    // Chromosome strip: window (0, 0)-(974, 29) onto the pixels (20, 350)-(994, 379).
    painter.setWindow(0, 0, 975, 30);
    painter.setViewport(20, 350, 975, 30);
    painter.setPen(cosmeticPen(Qt::blue));
    font.setPointSize(8);
    painter.setFont(font);
    for (int c = 1; c <= 22; ++c) {
        const bool odd = c % 2 == 1;
        painter.drawText(stripMid(c, 975) - (odd ? 8 : 10), odd ? 5 : 8, QString::number(c));
    }
    painter.drawText(stripMid(23, 975) - 10, 1, QStringLiteral("X"));
    painter.restore();
}

QImage renderTraitExport(const TraitPlotData &data, const QString &title, const QString &caption)
{
    return renderPageImage(ExportPageSize,
                           [&](QPainter &painter) { paintTraitExport(painter, data, title, caption); });
}

bool writeTraitExportPdf(const TraitPlotData &data, const QString &title, const QString &caption,
                         const QString &fileName)
{
    return quillmap::writePagePdf(
        fileName, [&](QPainter &painter) { paintTraitExport(painter, data, title, caption); });
}

} // namespace traitplot

} // namespace quillmap
