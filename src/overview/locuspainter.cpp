#include "overview/locuspainter.h"

#include "figures/figureexport.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace quillmap {

namespace {

void drawShape(QPainter &painter, int shape, QPointF at, double r)
{
    QPainterPath path;
    switch (shape) {
    case 0:
        painter.drawEllipse(at, r, r);
        return;
    case 1: // triangle up
        path.moveTo(at.x(), at.y() - r);
        path.lineTo(at.x() + r, at.y() + r);
        path.lineTo(at.x() - r, at.y() + r);
        break;
    case 2:
        painter.drawRect(QRectF(at.x() - r, at.y() - r, 2 * r, 2 * r));
        return;
    case 3: // triangle down
        path.moveTo(at.x(), at.y() + r);
        path.lineTo(at.x() + r, at.y() - r);
        path.lineTo(at.x() - r, at.y() - r);
        break;
    default: // diamond
        path.moveTo(at.x(), at.y() - r);
        path.lineTo(at.x() + r, at.y());
        path.lineTo(at.x(), at.y() + r);
        path.lineTo(at.x() - r, at.y());
        break;
    }
    path.closeSubpath();
    painter.drawPath(path);
}

} // namespace

QColor LocusPainter::r2Colour(int bin)
{
    static const QColor colours[] = {QColor(53, 42, 134), QColor(100, 170, 230), QColor(46, 160, 44),
                                     QColor(255, 160, 20), QColor(214, 30, 30)};
    return bin >= 0 && bin < 5 ? colours[bin] : QColor(150, 150, 150);
}

QColor LocusPainter::seriesColour(int s)
{
    static const QColor colours[] = {QColor(0, 0, 0), QColor(0, 128, 128), QColor(200, 0, 200),
                                     QColor(140, 86, 75), QColor(120, 120, 0)};
    return colours[std::clamp(s, 0, MaxOverlays)];
}

void LocusPainter::paintPlot(QPainter &painter, const LocusGeometry &geometry, const Scene &scene)
{
    const double left = geometry.plotLeft(), right = geometry.plotRight();
    const double top = geometry.plotTop(), bottom = geometry.plotBottom();
    painter.save();
    painter.fillRect(QRectF(0, 0, geometry.width(), geometry.height()), Qt::white);
    painter.setFont(QFont(QStringLiteral("Helvetica"), 8));
    painter.setPen(Qt::black);
    painter.drawLine(QPointF(left, top), QPointF(left, bottom));
    painter.drawLine(QPointF(left, bottom), QPointF(right, bottom));
    for (const int v : geometry.yTicks())
        figures::paintValueLabel(painter, QString::number(v), left - 24, geometry.yOf(v), left - 4, left);
    figures::paintAxisTitle(painter, QStringLiteral("-log10(p)"), 14, (top + bottom) / 2);
    const QFontMetricsF metrics(painter.font());
    for (const LocusGeometry::Tick &tick : geometry.xTicks()) {
        const double x = geometry.xOf(tick.bp);
        painter.drawLine(QPointF(x, bottom), QPointF(x, bottom + 4));
        const double w = metrics.horizontalAdvance(tick.label);
        painter.drawText(
            QPointF(std::clamp(x - w / 2, 0.0, geometry.width() - w), bottom + 6 + metrics.ascent()),
            tick.label);
    }
    const LocusWindow &window = geometry.window();
    painter.drawText(
        QRectF(left, 0, right - left, top), Qt::AlignCenter,
        QStringLiteral("chr%1:%2-%3")
            .arg(window.chromosome == 23 ? QStringLiteral("X") : QString::number(window.chromosome))
            .arg(window.startBp)
            .arg(window.endBp));
    if (scene.significanceScore > 0 && scene.significanceScore <= geometry.yMax()) {
        painter.setPen(figures::significancePen());
        const double y = geometry.yOf(scene.significanceScore);
        painter.drawLine(QPointF(left, y), QPointF(right, y));
    }

    painter.setRenderHint(QPainter::Antialiasing);
    if (!scene.rates.empty()) {
        double most = 0;
        for (const auto &[bp, rate] : scene.rates)
            most = std::max(most, rate);
        // A round top: 1, 2 or 5 times a power of ten, at least 10 cM/Mb.
        double rateTop = 10;
        while (rateTop < most)
            rateTop *= rateTop / std::pow(10.0, std::floor(std::log10(rateTop))) == 2 ? 2.5 : 2;
        const auto yOf = [&](double rate) { return bottom - rate / rateTop * (bottom - top); };
        painter.setPen(QColor(70, 130, 180));
        for (const double v : {0.0, rateTop / 2, rateTop})
            figures::paintValueLabel(painter, QString::number(v), right + 6, yOf(v), right, right + 4);
        painter.drawLine(QPointF(right, top), QPointF(right, bottom));
        figures::paintAxisTitle(painter, QStringLiteral("cM/Mb"), geometry.width() - 4, (top + bottom) / 2);
        painter.setClipRect(QRectF(left, 0, right - left, bottom + 1));
        QPolygonF line;
        for (size_t i = 0; i < scene.rates.size(); ++i) {
            const double x1 = geometry.xOf(double(scene.rates[i].first));
            const double x2 = i + 1 < scene.rates.size() ? geometry.xOf(double(scene.rates[i + 1].first))
                                                         : right;
            line << QPointF(x1, yOf(scene.rates[i].second)) << QPointF(x2, yOf(scene.rates[i].second));
        }
        painter.setPen(QPen(QColor(70, 130, 180, 170), 1.2));
        painter.drawPolyline(line);
        painter.setClipping(false);
    }
    painter.setClipRect(QRectF(left, 0, right - left, bottom + 1));
    constexpr double R = 3.5;
    // Overlays first, so the main trait's colours stay on top.
    for (int s = int(scene.series.size()) - 1; s >= 0; --s) {
        const LocusQuery::Locus &locus = *scene.series[size_t(s)];
        for (int k = 0; k < locus.count(); ++k) {
            const double score = locus.scores[size_t(k)];
            if (std::isnan(score) || (s == 0 && k == scene.indexRow))
                continue;
            QColor colour = seriesColour(s);
            if (s == 0 && scene.withLd)
                colour = r2Colour(locus.r2.empty() ? -1 : LocusQuery::r2Bin(locus.r2[size_t(k)]));
            else if (s == 0)
                colour = QColor(53, 42, 134);
            painter.setPen(colour.darker(140));
            painter.setBrush(colour);
            drawShape(painter, s, QPointF(geometry.xOf(double(locus.bp[size_t(k)])), geometry.yOf(score)), R);
        }
    }
    if (!scene.series.empty() && scene.indexRow >= 0 && scene.indexRow < scene.series.front()->count()) {
        const LocusQuery::Locus &locus = *scene.series.front();
        const QPointF at(geometry.xOf(double(locus.bp[size_t(scene.indexRow)])),
                         geometry.yOf(std::isnan(locus.scores[size_t(scene.indexRow)])
                                          ? 0.0
                                          : locus.scores[size_t(scene.indexRow)]));
        painter.setPen(Qt::black);
        painter.setBrush(QColor(145, 30, 180));
        drawShape(painter, 4, at, 6);
        painter.setClipping(false);
        const double w = metrics.horizontalAdvance(scene.indexName);
        painter.drawText(QPointF(std::clamp(at.x() - w / 2, left, right - w), std::max(top, at.y() - 9)),
                         scene.indexName);
    }
    painter.setClipping(false);

    // Legend: r2 classes, then the overlaid traits.
    QStringList labels;
    std::vector<QColor> colours;
    std::vector<int> shapes;
    if (scene.withLd) {
        for (int bin = 4; bin >= 0; --bin) {
            labels << QStringLiteral("r2 %1-%2").arg(bin * 0.2, 0, 'f', 1).arg((bin + 1) * 0.2, 0, 'f', 1);
            colours.push_back(r2Colour(bin));
            shapes.push_back(0);
        }
        labels << QStringLiteral("no r2");
        colours.push_back(r2Colour(-1));
        shapes.push_back(0);
    }
    for (size_t s = 1; s < scene.series.size(); ++s) {
        labels << scene.series[s]->trait;
        colours.push_back(seriesColour(int(s)));
        shapes.push_back(int(s));
    }
    painter.setRenderHint(QPainter::Antialiasing);
    double width = 0;
    for (const QString &label : std::as_const(labels))
        width = std::max(width, metrics.horizontalAdvance(label));
    const double lineHeight = metrics.height() + 1;
    for (qsizetype i = 0; i < labels.size(); ++i) {
        const double y = top + 8 + double(i) * lineHeight;
        const double x = right - width - 20;
        painter.setPen(colours[size_t(i)].darker(140));
        painter.setBrush(colours[size_t(i)]);
        drawShape(painter, shapes[size_t(i)], QPointF(x, y), R);
        painter.setPen(Qt::black);
        painter.drawText(QPointF(x + 8, y + metrics.ascent() / 2 - 1), labels[i]);
    }
    painter.restore();
}

void LocusPainter::paintGenes(QPainter &painter, const LocusGeometry &geometry,
                              const std::vector<PackedGene> &genes, double height)
{
    painter.save();
    painter.fillRect(QRectF(0, 0, geometry.width(), height), Qt::white);
    painter.setFont(QFont(QStringLiteral("Helvetica"), 8));
    const QFontMetricsF metrics(painter.font());
    for (const PackedGene &gene : genes) {
        const double y = 6 + GeneRowHeight * gene.row;
        painter.fillRect(QRectF(gene.x1, y + 4, gene.x2 - gene.x1, 5), QColor(0, 100, 0));
        painter.setPen(Qt::black);
        const double w = metrics.horizontalAdvance(gene.name);
        const double x = gene.x2 + 3 + w <= geometry.plotRight() ? gene.x2 + 3
                                                                 : std::max(0.0, gene.x1 - 3 - w);
        painter.drawText(QPointF(x, y + 4 + metrics.ascent() / 2 + 2), gene.name);
    }
    if (genes.empty()) {
        painter.setPen(Qt::gray);
        painter.drawText(QRectF(0, 0, geometry.width(), height), Qt::AlignCenter,
                         QStringLiteral("No genes here"));
    }
    painter.restore();
}

} // namespace quillmap
