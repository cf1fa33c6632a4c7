#include "browse/locusgeometry.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <tuple>

namespace quillmap {

LocusGeometry::LocusGeometry(const LocusWindow &window, double scoreMax, double width, double height)
    : m_window(window),
      m_width(width),
      m_height(height),
      m_yMax(std::max(8.0, std::isfinite(scoreMax) ? std::ceil(scoreMax * 1.05) : 8.0))
{
}

double LocusGeometry::xOf(double bp) const
{
    const double span = double(std::max<qint64>(1, m_window.width()));
    return Left + (bp - double(m_window.startBp)) / span * (plotRight() - Left);
}

double LocusGeometry::bpAt(double x) const
{
    const double span = double(m_window.width());
    return double(m_window.startBp) + (x - Left) / std::max(1.0, plotRight() - Left) * span;
}

double LocusGeometry::yOf(double score) const
{
    return plotBottom() - std::min(score, m_yMax) / m_yMax * (plotBottom() - Top);
}

qint64 LocusGeometry::panOf(double dx) const
{
    return -qint64(std::llround(dx / std::max(1.0, plotRight() - Left) * double(m_window.width())));
}

std::vector<LocusGeometry::Tick> LocusGeometry::xTicks() const
{
    const double span = double(m_window.width());
    const double step = [span] {
        for (double power = 1; power < 1e9; power *= 10) {
            for (const double m : {1.0, 2.0, 5.0}) {
                if (span / (m * power) <= 10)
                    return m * power;
            }
        }
        return 1e9;
    }();
    // Decimals of the Mb label enough to tell the ticks apart.
    const int decimals = std::max(0, int(std::ceil(-std::log10(step / 1e6) - 1e-9)));
    std::vector<Tick> ticks;
    for (double bp = std::ceil(double(m_window.startBp) / step) * step; bp <= double(m_window.endBp);
         bp += step)
        ticks.push_back({bp, QStringLiteral("%1 Mb").arg(bp / 1e6, 0, 'f', decimals)});
    return ticks;
}

std::vector<int> LocusGeometry::yTicks() const
{
    int step = 1;
    for (const int s : {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000}) {
        step = s;
        if (m_yMax / s <= 8)
            break;
    }
    std::vector<int> ticks;
    for (int v = 0; v <= m_yMax; v += step)
        ticks.push_back(v);
    return ticks;
}

std::vector<bypos::RegionGene> locusGenes(const QString &folder, const LocusWindow &window)
{
    std::vector<bypos::RegionGene> genes;
    std::set<std::tuple<QString, double, double>> seen;
    const double from = double(window.startBp) / 1e6;
    const double to = double(window.endBp) / 1e6;
    for (int bin = window.firstBin(); bin <= window.lastBin(); ++bin) {
        // Each bin's read also brings the long genes of the bins before it.
        for (const bypos::RegionGene &gene : bypos::readRegionGenes(folder, bin).genes) {
            if (gene.end < from || gene.start >= to)
                continue;
            if (seen.insert({gene.name, gene.start, gene.end}).second)
                genes.push_back(gene);
        }
    }
    std::stable_sort(genes.begin(), genes.end(), [](const bypos::RegionGene &a, const bypos::RegionGene &b) {
        return a.start < b.start;
    });
    return genes;
}

std::vector<PackedGene> packLocusGenes(const QString &folder, const LocusGeometry &geometry,
                                       const std::function<double(const QString &)> &textWidth, int *rows)
{
    constexpr double Gap = 6;
    std::vector<PackedGene> packed;
    std::vector<double> rowEnds; // right end of what each row holds
    for (const bypos::RegionGene &gene : locusGenes(folder, geometry.window())) {
        PackedGene p;
        p.name = gene.name;
        p.x1 = std::max(geometry.plotLeft(), geometry.xOf(gene.start * 1e6));
        p.x2 = std::min(geometry.plotRight(), std::max(p.x1 + 1, geometry.xOf(gene.end * 1e6)));
        const double text = textWidth(gene.name) + 3;
        const bool right = p.x2 + text <= geometry.plotRight();
        const double left = right ? p.x1 : std::max(geometry.plotLeft(), p.x1 - text);
        const double end = right ? p.x2 + text : p.x2;
        size_t row = 0;
        while (row < rowEnds.size() && rowEnds[row] + Gap > left)
            ++row;
        if (row == rowEnds.size())
            rowEnds.push_back(0);
        rowEnds[row] = end;
        p.row = int(row);
        packed.push_back(p);
    }
    if (rows)
        *rows = int(rowEnds.size());
    return packed;
}

} // namespace quillmap
