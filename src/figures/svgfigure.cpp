#include "figures/svgfigure.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QSet>
#include <QTransform>

#include <cmath>

namespace quillmap::figures {

namespace {

QByteArray number(double value)
{
    return QByteArray::number(std::abs(value) < 0.005 ? 0.0 : value, 'f', 2);
}

QByteArray pathData(const QPainterPath &path)
{
    QByteArray d;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            if (i > 0)
                d += "Z";
            d += "M" + number(e.x) + ',' + number(e.y);
        } else if (e.isLineTo()) {
            d += "L" + number(e.x) + ',' + number(e.y);
        } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
            const QPainterPath::Element c2 = path.elementAt(i + 1);
            const QPainterPath::Element end = path.elementAt(i + 2);
            d += "C" + number(e.x) + ',' + number(e.y) + ' ' + number(c2.x) + ',' + number(c2.y) + ' '
                + number(end.x) + ',' + number(end.y);
            i += 2;
        }
    }
    if (!d.isEmpty())
        d += "Z";
    return d;
}

} // namespace

SvgFigure::SvgFigure()
    : m_token(QString::number(QRandomGenerator::global()->generate64(), 36))
{
}

SvgFigure *SvgFigure::of(const QPainter &painter)
{
    return dynamic_cast<SvgFigure *>(painter.device());
}

QString SvgFigure::marker(int index) const
{
    return QStringLiteral("quillmap-glyphs-%1-%2").arg(m_token).arg(index);
}

void SvgFigure::placeText(QPainter &painter, const QString &text, const QColor &colour, QSizeF scale,
                          const std::vector<QPointF> &devicePoints)
{
    if (devicePoints.empty() || text.isEmpty())
        return;
    const QString key = text + QLatin1Char('\n') + colour.name(QColor::HexArgb) + QLatin1Char('\n')
        + painter.font().key() + QLatin1Char('\n') + QString::number(scale.width()) + QLatin1Char(' ')
        + QString::number(scale.height());
    auto found = m_glyphIds.constFind(key);
    if (found == m_glyphIds.cend()) {
        QPainterPath outline;
        outline.addText(QPointF(0, 0), QFont(painter.font(), painter.device()), text);
        outline = QTransform::fromScale(scale.width(), scale.height()).map(outline);
        const int id = int(m_glyphIds.size());
        m_glyphDefs += "<path id=\"qm-glyph-" + QByteArray::number(id) + "\" fill=\""
            + colour.name(QColor::HexRgb).toLatin1() + "\" fill-opacity=\"" + number(colour.alphaF())
            + "\" stroke=\"none\" fill-rule=\""
            + (outline.fillRule() == Qt::WindingFill ? "nonzero" : "evenodd") + "\" d=\"" + pathData(outline)
            + "\"/>\n";
        found = m_glyphIds.insert(key, id);
    }
    const QByteArray href = "<use xlink:href=\"#qm-glyph-" + QByteArray::number(found.value()) + "\" x=\"";
    QByteArray uses;
    QSet<QByteArray> written;
    for (const QPointF &p : devicePoints) {
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()) || std::abs(p.x()) > 1e7 || std::abs(p.y()) > 1e7)
            continue;
        const QByteArray at = number(p.x()) + "\" y=\"" + number(p.y());
        if (written.contains(at))
            continue;
        written.insert(at);
        uses += href + at + "\"/>\n";
    }
    // A placeholder text at this point of the drawing order, replaced by the uses in finish().
    painter.save();
    painter.resetTransform();
    painter.setViewTransformEnabled(false);
    painter.drawText(QPointF(0, 0), marker(int(m_placements.size())));
    painter.restore();
    m_placements.append(uses);
}

QByteArray SvgFigure::finish(const QByteArray &svg) const
{
    QByteArray out = svg;
    for (int i = 0; i < m_placements.size(); ++i) {
        const QByteArray mark = '>' + marker(i).toLatin1() + "</text>";
        const qsizetype at = out.indexOf(mark);
        const qsizetype start = at < 0 ? -1 : out.lastIndexOf("<text", at);
        if (start < 0)
            continue;
        out.replace(start, at + mark.size() - start, m_placements[i]);
    }
    const qsizetype defs = out.indexOf("<defs>");
    if (defs >= 0 && !m_glyphDefs.isEmpty())
        out.insert(defs + 6, "\n" + m_glyphDefs);
    return out;
}

} // namespace quillmap::figures
