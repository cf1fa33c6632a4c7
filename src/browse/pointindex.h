#pragma once

#include <QtGlobal>

#include <vector>

// A grid over a plot's drawn points, built with the plot, so that the point under the mouse is
// found without a scan of every row: hover tooltips and clicks on plots of millions of points.
// Coordinates are device pixels. GUI-free.
namespace quillmap {

class PointIndex final
{
public:
    // Indexes points (x[i], y[i]), i < count, for look-ups within `radius` pixels. Points that
    // are not finite are left out.
    void build(const float *x, const float *y, int count, double radius);
    void clear();

    // The point nearest to (px, py) within the radius (the lowest index among equals); -1 when
    // none is that close.
    int nearest(double px, double py) const;

    int count() const { return int(m_x.size()); }

private:
    qint64 cellOf(double px, double py) const;

    double m_radius = 1.0; // look-up reach
    double m_cell = 1.0;   // grid cell side
    double m_originX = 0.0, m_originY = 0.0;
    qint64 m_columns = 0, m_rows = 0;
    std::vector<float> m_x, m_y;
    std::vector<qint32> m_cellStart; // cell c holds m_order[m_cellStart[c] .. m_cellStart[c+1])
    std::vector<qint32> m_order;
};

} // namespace quillmap
