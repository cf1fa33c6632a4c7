#include "browse/pointindex.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quillmap {

void PointIndex::clear()
{
    m_x.clear();
    m_y.clear();
    m_cellStart.clear();
    m_order.clear();
    m_columns = m_rows = 0;
}

qint64 PointIndex::cellOf(double px, double py) const
{
    const qint64 cx = qint64(std::floor((px - m_originX) / m_cell));
    const qint64 cy = qint64(std::floor((py - m_originY) / m_cell));
    if (cx < 0 || cy < 0 || cx >= m_columns || cy >= m_rows)
        return -1;
    return cy * m_columns + cx;
}

void PointIndex::build(const float *x, const float *y, int count, double radius)
{
    clear();
    m_radius = radius > 0.0 ? radius : 1.0;
    double minX = std::numeric_limits<double>::max(), minY = minX;
    double maxX = std::numeric_limits<double>::lowest(), maxY = maxX;
    for (int i = 0; i < count; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i]))
            continue;
        minX = std::min(minX, double(x[i]));
        maxX = std::max(maxX, double(x[i]));
        minY = std::min(minY, double(y[i]));
        maxY = std::max(maxY, double(y[i]));
    }
    if (minX > maxX)
        return;
    m_originX = minX;
    m_originY = minY;
    // Cells at least a radius wide, so that the 3 x 3 cells around the mouse hold every point
    // within reach; never more than about four cells per point, so a stray far point cannot
    // blow the grid up.
    const double span = std::max(maxX - minX, maxY - minY) + m_radius;
    m_cell = std::max(m_radius, span / std::max(1.0, std::sqrt(4.0 * count)));
    m_columns = qint64((maxX - minX) / m_cell) + 1;
    m_rows = qint64((maxY - minY) / m_cell) + 1;

    std::vector<qint32> cellOfPoint(size_t(count), -1);
    m_cellStart.assign(size_t(m_columns * m_rows + 1), 0);
    for (int i = 0; i < count; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i]))
            continue;
        const qint64 c = cellOf(x[i], y[i]);
        cellOfPoint[size_t(i)] = qint32(c);
        ++m_cellStart[size_t(c) + 1];
    }
    for (size_t c = 1; c < m_cellStart.size(); ++c)
        m_cellStart[c] += m_cellStart[c - 1];
    m_order.resize(size_t(m_cellStart.back()));
    std::vector<qint32> fill(m_cellStart.begin(), m_cellStart.end() - 1);
    for (int i = 0; i < count; ++i) {
        if (cellOfPoint[size_t(i)] >= 0)
            m_order[size_t(fill[size_t(cellOfPoint[size_t(i)])]++)] = i;
    }
    m_x.assign(x, x + count);
    m_y.assign(y, y + count);
}

int PointIndex::nearest(double px, double py) const
{
    if (m_x.empty() || !std::isfinite(px) || !std::isfinite(py))
        return -1;
    // Far outside the grid nothing is in reach (and the cell numbers stay small).
    const double gx = (px - m_originX) / m_cell, gy = (py - m_originY) / m_cell;
    if (gx < -2.0 || gy < -2.0 || gx > double(m_columns) + 2.0 || gy > double(m_rows) + 2.0)
        return -1;
    const qint64 cx = qint64(std::floor(gx));
    const qint64 cy = qint64(std::floor(gy));
    int best = -1;
    double bestDistance = m_radius * m_radius;
    for (qint64 y = std::max<qint64>(cy - 1, 0); y <= std::min(cy + 1, m_rows - 1); ++y) {
        for (qint64 x = std::max<qint64>(cx - 1, 0); x <= std::min(cx + 1, m_columns - 1); ++x) {
            const qint64 c = y * m_columns + x;
            for (qint32 k = m_cellStart[size_t(c)]; k < m_cellStart[size_t(c) + 1]; ++k) {
                const int i = m_order[size_t(k)];
                const double dx = m_x[size_t(i)] - px, dy = m_y[size_t(i)] - py;
                const double d = dx * dx + dy * dy;
                if (d < bestDistance || (d == bestDistance && (best < 0 || i < best))) {
                    bestDistance = d;
                    best = i;
                }
            }
        }
    }
    return best;
}

} // namespace quillmap
