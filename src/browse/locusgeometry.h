#pragma once

#include "browse/genetrack.h"
#include "browse/locuswindow.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <vector>

// Where the locus view draws: bp and -log10 p onto pixels and back, the axes' ticks, and the
// genes of the window packed into rows. GUI-free; text widths come from the caller.
namespace quillmap {

class LocusGeometry final
{
public:
    static constexpr double Left = 56;
    static constexpr double Right = 46; // room for the recombination rate's axis
    static constexpr double Top = 22;
    static constexpr double Bottom = 34;

    // A plot `width` x `height` pixels of `window`, y from 0 to at least `scoreMax` (and 8).
    LocusGeometry(const LocusWindow &window, double scoreMax, double width, double height);

    const LocusWindow &window() const { return m_window; }
    double width() const { return m_width; }
    double height() const { return m_height; }
    double plotLeft() const { return Left; }
    double plotRight() const { return m_width - Right; }
    double plotTop() const { return Top; }
    double plotBottom() const { return m_height - Bottom; }
    double yMax() const { return m_yMax; }

    double xOf(double bp) const;
    double bpAt(double x) const;
    double yOf(double score) const;
    // bp a drag of `dx` pixels moves the window by (a drag to the right shows what lies left).
    qint64 panOf(double dx) const;

    struct Tick {
        double bp = 0;
        QString label; // "45.2 Mb", "45.25 Mb"
    };
    // Ticks at 1, 2 or 5 times a power of ten bp, 4 to 10 across the window.
    std::vector<Tick> xTicks() const;
    // Whole -log10 p values for the labels: a step of 1, 2, 5, 10... giving at most 8.
    std::vector<int> yTicks() const;

private:
    LocusWindow m_window;
    double m_width = 0;
    double m_height = 0;
    double m_yMax = 8;
};

// One gene of the track in pixels of a plot's x axis.
struct PackedGene {
    QString name;
    double x1 = 0;
    double x2 = 0;
    int row = 0;
};

// The genes of pos2gene.dat overlapping `window`, each once (by name and place), in start order,
// packed first-fit into rows so that no bar and name (drawn right of the bar when it fits
// before the plot's end, else left of it) comes within 6 pixels of another in its row.
std::vector<PackedGene> packLocusGenes(const QString &folder, const LocusGeometry &geometry,
                                       const std::function<double(const QString &)> &textWidth,
                                       int *rows = nullptr);
// The genes of the window, unpacked, in start order (Mb).
std::vector<bypos::RegionGene> locusGenes(const QString &folder, const LocusWindow &window);

} // namespace quillmap
