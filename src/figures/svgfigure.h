#pragma once

#include <QByteArray>
#include <QColor>
#include <QHash>
#include <QList>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QSvgGenerator>

#include <vector>

class QPainter;

namespace quillmap::figures {

// An SVG generator on which one small text can be placed many times as one shared glyph: the
// outline is defined once and each placement is a <use>. Renderers draw tens of thousands of
// uses in moments where as many texts take them many minutes.
class SvgFigure final : public QSvgGenerator
{
public:
    SvgFigure();

    // The SVG figure `painter` draws on, or null for any other device.
    static SvgFigure *of(const QPainter &painter);

    // Places `text` in the painter's font and `colour`, its baseline origin at each of
    // `devicePoints`, scaled by `scale` as the painter would scale it, above what is drawn so
    // far. A placement repeating an earlier one of this call (same spot) is written once.
    void placeText(QPainter &painter, const QString &text, const QColor &colour, QSizeF scale,
                   const std::vector<QPointF> &devicePoints);

    // `svg`, the document written once the painter ended, with the glyphs and their placements.
    QByteArray finish(const QByteArray &svg) const;

private:
    QString marker(int index) const;

    QString m_token; // makes the placeholders unlike any text of the picture
    QHash<QString, int> m_glyphIds;
    QByteArray m_glyphDefs;
    QList<QByteArray> m_placements; // per placeholder
};

} // namespace quillmap::figures
