#pragma once

#include "browse/phewasgeometry.h"

#include <QColor>

class QPainter;

namespace quillmap {

// Draws the plot of every trait at one variant, on the screen and into a figure alike.
class PhewasPainter final
{
public:
    // Group g's colour; the ungrouped are grey.
    static QColor groupColour(const PhewasGeometry::Group &group, int g);
    // Draws on a white `geometry.width()` x `geometry.height()` area from the painter's origin.
    static void paint(QPainter &painter, const PhewasGeometry &geometry, const QString &title);
};

} // namespace quillmap
