#include "bypos/regionplotpainter.h"

#include "common/pdfexport.h"
#include "figures/figureexport.h"
#include "figures/svgfigure.h"

#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHash>
#include <QPaintEngine>
#include <QPainter>
#include <QPen>
#include <QTransform>

#include <cmath>
#include <cstdio>

namespace quillmap::bypos {

namespace {

QPen cosmeticPen(const QColor &colour)
{
    QPen pen(colour);
    pen.setCosmetic(true);
    return pen;
}

QFont helvetica(int pointSize)
{
    QFont font(QStringLiteral("Helvetica"), pointSize);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

QFont geneFont()
{
    QFont font(QStringLiteral("Helvetica [Cronyx]"), 10);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

// Rank labels are drawn once per point, and a dense region has tens of thousands of points:
// each distinct label is rendered once under the painter's scale and then copied into place,
// its baseline origin on the point's device pixel.
class LabelSprites
{
public:
    explicit LabelSprites(QPainter &painter)
        : m_painter(painter),
          m_transform(figures::unscaledTransform(painter)),
          m_font(painter.font())
    {
    }

    void draw(int x, int y, const QString &text, const QColor &colour)
    {
        // A rank's points come in a row: only a change of label looks the sprite up.
        if (!m_last || colour != m_lastColour || text != m_lastText) {
            m_last = &spriteFor(text, colour);
            m_lastText = text;
            m_lastColour = colour;
        }
        const Sprite &sprite = *m_last;
        const QPointF device = m_transform.map(QPointF(x, y));
        if (!std::isfinite(device.x()) || !std::isfinite(device.y()) || std::abs(device.x()) > 1e7
            || std::abs(device.y()) > 1e7)
            return;
        m_painter.drawImage(QPoint(int(std::lround(device.x())) - sprite.origin.x(),
                                   int(std::lround(device.y())) - sprite.origin.y()),
                            sprite.image);
    }

private:
    struct Sprite {
        QImage image;
        QPoint origin; // the text's baseline origin inside the image
    };

    const Sprite &spriteFor(const QString &text, const QColor &colour)
    {
        const QString key = text + QLatin1Char('\n') + colour.name(QColor::HexArgb);
        auto it = m_sprites.find(key);
        if (it != m_sprites.end())
            return it.value();

        const double sx = std::abs(m_transform.m11());
        const double sy = std::abs(m_transform.m22());
        const QFontMetricsF metrics(m_font, m_painter.device());
        const QRectF bounds = metrics.boundingRect(text);
        const int pad = 2;
        Sprite sprite;
        sprite.origin = QPoint(pad + int(std::ceil(-bounds.left() * sx)),
                               pad + int(std::ceil(-bounds.top() * sy)));
        const QSize size(sprite.origin.x() + int(std::ceil(bounds.right() * sx)) + pad,
                         sprite.origin.y() + int(std::ceil(bounds.bottom() * sy)) + pad);
        // As fine as the device: the copy is made at its pixel ratio.
        const qreal ratio = m_painter.device()->devicePixelRatio();
        sprite.image = QImage(size.expandedTo(QSize(1, 1)) * ratio, QImage::Format_ARGB32_Premultiplied);
        sprite.image.setDevicePixelRatio(ratio);
        sprite.image.setDotsPerMeterX(m_painter.device()->logicalDpiX() * 10000 / 254);
        sprite.image.setDotsPerMeterY(m_painter.device()->logicalDpiY() * 10000 / 254);
        sprite.image.fill(Qt::transparent);
        QPainter p(&sprite.image);
        p.setRenderHints(m_painter.renderHints());
        p.setFont(m_font);
        p.setPen(colour);
        p.setTransform(QTransform(sx, 0, 0, sy, sprite.origin.x(), sprite.origin.y()));
        p.drawText(QPointF(0, 0), text);
        p.end();
        return m_sprites.insert(key, sprite).value();
    }

    QPainter &m_painter;
    QTransform m_transform;
    QFont m_font;
    QHash<QString, Sprite> m_sprites;
    const Sprite *m_last = nullptr; // valid until the next insertion, which replaces it
    QString m_lastText;
    QColor m_lastColour;
};

void drawRankLabels(QPainter &painter, const RegionPlotInput &in, const PlotScale &scale)
{
    if (!in.traitPositions || !in.traitValues || !in.traitOrder)
        return;
    const auto &positions = *in.traitPositions;
    const auto &values = *in.traitValues;
    const int ranks = std::min<int>(in.traitCount, int(in.traitOrder->size()));

    painter.save();
    // Pictures copied per point suit only pixels: SVG and PDF get text, sharp at any scale
    // and readable by other programs.
    const QPaintEngine *engine = painter.paintEngine();
    const bool raster = engine && engine->type() == QPaintEngine::Raster;
    // An SVG gets one outline per label placed at every point: renderers choke on a text each.
    figures::SvgFigure *svg = raster ? nullptr : figures::SvgFigure::of(painter);
    const QTransform toDevice = figures::unscaledTransform(painter);
    std::vector<QPointF> svgPoints;
    const auto placeSvg = [&](const QString &text, const QColor &colour) {
        svg->placeText(painter, text, colour, QSizeF(std::abs(toDevice.m11()), std::abs(toDevice.m22())),
                       svgPoints);
        svgPoints.clear();
    };
    LabelSprites sprites(painter);
    if (raster) {
        // Copies are made in device pixels.
        painter.resetTransform();
        painter.setViewTransformEnabled(false);
    }
    const auto draw = [&](int x, int y, const QString &text, const QColor &colour) {
        if (raster) {
            sprites.draw(x, y, text, colour);
            return;
        }
        if (svg) {
            svgPoints.push_back(toDevice.map(QPointF(x, y)));
            return;
        }
        if (painter.pen().color() != colour)
            painter.setPen(colour);
        painter.drawText(x, y, text);
    };
    for (int k = 0; k < ranks; ++k) {
        const int g = (*in.traitOrder)[size_t(k)];
        if (g < 0 || size_t(g) >= positions.size() || size_t(g) >= values.size())
            continue;
        const QColor colour = k < 9 ? in.rankColours.value(k, Qt::black) : in.laterColour;
        const QString text = k < 9 ? QString::number(k + 1) : QStringLiteral("*");
        const auto &xs = positions[size_t(g)];
        const auto &ys = values[size_t(g)];
        if (in.traitCount == 1 && xs.size() == 1) {
            draw(scale.x(xs[0]), scale.middle(), text, colour);
        } else {
            const size_t points = std::min(xs.size(), ys.size());
            for (size_t j = 0; j < points; ++j)
                draw(scale.x(xs[j]), scale.y(ys[j]), text, colour);
        }
        // The later ranks share one label and come last: placed together after the loop.
        if (svg && k < 9)
            placeSvg(text, colour);
    }
    if (svg)
        placeSvg(QStringLiteral("*"), in.laterColour);
    painter.restore();
}

void drawHighlights(QPainter &painter, const RegionPlotInput &in, const PlotScale &scale)
{
    if (in.highlightCount <= 0 || !in.highlightPositions || !in.highlightValues)
        return;
    painter.setPen(cosmeticPen(Qt::darkBlue));
    painter.setBrush(Qt::NoBrush);
    const bool singlePoint = in.traitCount == 1 && in.traitOrder && !in.traitOrder->empty()
        && in.traitPositions && size_t((*in.traitOrder)[0]) < in.traitPositions->size()
        && (*in.traitPositions)[size_t((*in.traitOrder)[0])].size() == 1;
    if (singlePoint) {
        const int x = scale.x(in.highlightPositions[0]);
        painter.drawEllipse(QRect(x - 5, scale.middle() - 12, 15, 15));
        return;
    }
    for (int i = 0; i < in.highlightCount; ++i) {
        const int x = scale.x(in.highlightPositions[i]);
        const int y = scale.y(in.highlightValues[i]);
        painter.drawEllipse(QRect(x - 5, y - 12, 15, 15));
    }
}

void drawGeneRows(QPainter &painter, const std::vector<RegionGene> &genes, const GeneTrackLayout &layout,
                  int top, int rowHeight)
{
    const size_t count = std::min(genes.size(), layout.placements.size());
    for (size_t i = 0; i < count; ++i) {
        const GenePlacement &place = layout.placements[i];
        const int y = top + rowHeight * place.row;
        painter.setFont(geneFont());
        painter.drawLine(place.x1, y, place.x2, y);
        painter.drawText(place.nameX, y, genes[i].name);
    }
}

} // namespace

void paintRegionPlot(QPainter &painter, const RegionPlotInput &in, const PlotGeometry &geometry)
{
    painter.save();
    painter.setViewport(geometry.viewport);
    painter.setWindow(geometry.window);
    const PlotScale scale = makeScale(geometry.R, in.region, in.valueMin, in.valueMax);
    const int B = geometry.boxBottom;

    painter.setPen(cosmeticPen(Qt::blue));
    painter.drawLine(0, 0, 1005, 0);
    painter.drawLine(0, B, 1005, B);
    painter.drawLine(0, 0, 0, B);
    painter.drawLine(1005, 0, 1005, B);

    if (in.plotReady)
        drawRankLabels(painter, in, scale);
    if (in.highlightOn)
        drawHighlights(painter, in, scale);

    double lineY = 0;
    if (in.plotReady && scale.lineY(in.significanceValue, B, &lineY)) {
        painter.setPen(figures::significancePen());
        painter.drawLine(QLineF(0, lineY, 1005, lineY));
    }

    const int snpX = scale.x(in.snpMarkPosition);
    if (in.snpMarkOn) {
        painter.setPen(cosmeticPen(Qt::black));
        painter.drawLine(snpX, 0, snpX, geometry.markerBottom);
    }

    painter.setPen(cosmeticPen(Qt::blue));
    painter.setFont(helvetica(10));
    painter.drawText(10, geometry.positionLabelY, in.regionText);
    painter.drawText(980, geometry.positionLabelY, regionEndText(in.region));
    painter.drawText(500, geometry.positionLabelY, regionMiddleText(in.regionText));

    if (in.snpMarkOn) {
        painter.setPen(cosmeticPen(Qt::red));
        painter.setFont(helvetica(12));
        painter.drawText(snpX - 40, geometry.snpNameY, in.snpMarkName);
    }

    painter.setPen(cosmeticPen(Qt::blue));
    painter.setFont(helvetica(10));
    if (geometry.exportPage && in.valueMax - in.valueMin < 1.0)
        painter.drawText(-25, midScaleY(geometry.R), midScaleText(in.valueMin, in.valueMax));
    for (const int m : valueLabels(in.valueMin, in.valueMax))
        figures::paintValueLabel(painter, QString::number(m), geometry.valueLabelX, scale.exactY(m), -6, 0);
    if (in.plotReady) {
        const QPointF middle = figures::unscaledTransform(painter).map(QPointF(0, B / 2.0));
        figures::paintAxisTitle(painter, in.axisTitle, geometry.viewport.x() + 11, middle.y());
    }
    painter.restore();
}

LabelPoints labelPoints(const RegionPlotInput &in, const PlotGeometry &geometry)
{
    LabelPoints out;
    if (!in.plotReady || !in.traitPositions || !in.traitValues || !in.traitOrder)
        return out;
    const PlotScale scale = makeScale(geometry.R, in.region, in.valueMin, in.valueMax);
    const auto &positions = *in.traitPositions;
    const auto &values = *in.traitValues;
    const int ranks = std::min<int>(in.traitCount, int(in.traitOrder->size()));
    // In drawing order, as drawRankLabels places them.
    for (int k = 0; k < ranks; ++k) {
        const int g = (*in.traitOrder)[size_t(k)];
        if (g < 0 || size_t(g) >= positions.size() || size_t(g) >= values.size())
            continue;
        const auto &xs = positions[size_t(g)];
        const auto &ys = values[size_t(g)];
        const bool single = in.traitCount == 1 && xs.size() == 1;
        const size_t points = single ? 1 : std::min(xs.size(), ys.size());
        for (size_t j = 0; j < points; ++j) {
            const QPointF centre = labelCentre(geometry, scale.x(xs[j]),
                                               single ? scale.middle() : scale.y(ys[j]));
            out.x.push_back(float(centre.x()));
            out.y.push_back(float(centre.y()));
            out.group.push_back(g);
            out.point.push_back(int(j));
        }
    }
    return out;
}

void paintRegionFigure(QPainter &painter, QSize size, const RegionPlotInput &input, const QString &title,
                       const RegionGenes *genes)
{
    int top = 10;
    if (!title.isEmpty()) {
        painter.save();
        painter.setFont(helvetica(12));
        painter.setPen(Qt::black);
        top = painter.fontMetrics().height() + 8;
        painter.drawText(QRect(0, 4, size.width(), top - 4), Qt::AlignHCenter | Qt::AlignTop, title);
        painter.restore();
    }
    const bool withGenes = genes && genes->found && !genes->genes.empty();
    const GeneTrackLayout layout = withGenes ? layoutGenes(genes->genes, input.region) : GeneTrackLayout{};
    // The gene rows at the panel's spacing, at most a third of the picture.
    const int geneHeight = withGenes ? std::min(size.height() / 3, 15 * (layout.drawingLastRow + 2)) : 0;
    // Outside the program nothing else tells which trait a label stands for.
    const int legendCount = input.plotReady ? int(std::min<size_t>(input.legend.size(), 9)) : 0;
    constexpr int LegendColumns = 3;
    const int legendRows = (legendCount + LegendColumns - 1) / LegendColumns;
    painter.save();
    painter.setFont(helvetica(10));
    const int lineHeight = painter.fontMetrics().height();
    painter.restore();
    const int legendHeight = legendRows > 0 ? legendRows * lineHeight + 8 : 0;
    const PlotGeometry geometry = figureGeometry(size.width(), size.height(), top, geneHeight + legendHeight);
    paintRegionPlot(painter, input, geometry);
    if (legendCount > 0) {
        painter.save();
        painter.setFont(helvetica(10));
        const QFontMetrics metrics = painter.fontMetrics();
        const int columnWidth = size.width() / LegendColumns;
        const int legendTop = size.height() - geneHeight - legendHeight + 4;
        for (int k = 0; k < legendCount; ++k) {
            const int x = (k % LegendColumns) * columnWidth + 10;
            const int baseline = legendTop + (k / LegendColumns) * lineHeight + metrics.ascent();
            const QString rank = QString::number(k + 1);
            painter.setPen(input.rankColours.value(k, Qt::black));
            painter.drawText(x, baseline, rank);
            const LegendEntry &entry = input.legend[size_t(k)];
            const QString text = entry.groups.isEmpty()
                ? entry.trait
                : entry.trait + QStringLiteral(" (") + entry.groups + QLatin1Char(')');
            const int textX = x + metrics.horizontalAdvance(QStringLiteral("00"));
            painter.setPen(Qt::black);
            painter.drawText(textX, baseline,
                             metrics.elidedText(text, Qt::ElideRight, columnWidth - (textX - x) - 10));
        }
        painter.restore();
    }
    if (!withGenes)
        return;
    painter.save();
    const int width = geometry.viewport.width();
    painter.setViewport(0, size.height() - geneHeight, width, geneHeight);
    painter.setWindow(-50, 0, 1030, std::max(1, geneHeight * 1030 / std::max(1, width)));
    painter.setClipRect(QRect(-50, 0, 1030 + 50, geneHeight * 1030 / std::max(1, width)));
    painter.setPen(cosmeticPen(Qt::blue));
    drawGeneRows(painter, genes->genes, layout, 10, 15);
    painter.restore();
}

QImage renderGeneTrack(const std::vector<RegionGene> &genes, const GeneTrackLayout &layout, int frameWidth,
                       int imageWidth)
{
    const int height = geneTrackHeight(layout, frameWidth);
    QImage image(std::max(1, imageWidth), height, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(geneFont());
    painter.setPen(cosmeticPen(Qt::blue));
    painter.setViewport(0, 0, std::max(1, frameWidth - 50), height);
    painter.setWindow(-50, 0, 1030, geneTrackWindowHeight(height, frameWidth));
    drawGeneRows(painter, genes, layout, 15, 15);
    return image;
}

void paintExportPage(QPainter &painter, const QString &title, const RegionPlotInput &input,
                     const RegionGenes *genes)
{
    const PlotGeometry geometry = exportGeometry();
    RegionPlotInput page = input;
    page.rankColours = {Qt::red,  Qt::red,   Qt::red,   Qt::blue, Qt::blue,
                        Qt::blue, Qt::black, Qt::black, Qt::black};
    page.laterColour = Qt::darkGreen;

    painter.save();
    // Gene rows below the page's picture are cut off there, on a PDF page as on the image.
    painter.setClipRect(QRect(0, 0, ExportImageWidth, ExportImageHeight));
    painter.setViewport(geometry.viewport);
    painter.setWindow(geometry.window);
    painter.drawText(0, -20, title);
    paintRegionPlot(painter, page, geometry);

    if (genes && genes->found) {
        painter.setViewport(geometry.viewport);
        painter.setWindow(geometry.window);
        painter.setPen(cosmeticPen(Qt::blue));
        painter.setFont(geneFont());
        drawGeneRows(painter, genes->genes, layoutGenes(genes->genes, input.region), ExportGeneTop, 15);
    }
    painter.restore();
}

QImage renderExportImage(const QString &title, const RegionPlotInput &input, const RegionGenes *genes)
{
    return renderPageImage(QSize(ExportImageWidth, ExportImageHeight),
                           [&](QPainter &painter) { paintExportPage(painter, title, input, genes); });
}

bool writeExportPdf(const QString &path, const QString &title, const RegionPlotInput &input,
                    const RegionGenes *genes)
{
    return quillmap::writePagePdf(path,
                                  [&](QPainter &painter) { paintExportPage(painter, title, input, genes); });
}

} // namespace quillmap::bypos
