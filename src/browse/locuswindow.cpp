#include "browse/locuswindow.h"

#include "dataset/regionsearch.h"

#include <algorithm>
#include <cmath>

namespace quillmap {

qint64 chromosomeEndBp(int chromosome, GenomeBuild build)
{
    const QString name = chromosome == 23 ? QStringLiteral("X") : QString::number(chromosome);
    const int end = bypos::chromosomeEnd(name, build);
    if (end < 0)
        return 0;
    // The old build's table names the last whole megabase; the bases after it still count.
    return qint64(build == GenomeBuild::Hg18 ? end + 1 : end) * 1000000;
}

int LocusWindow::firstBin() const
{
    return chromosome * 1000 + int(startBp / 1000000);
}

int LocusWindow::lastBin() const
{
    return chromosome * 1000 + int(std::max<qint64>(startBp, endBp - 1) / 1000000);
}

namespace {

// `window` moved inside [0, chromosome end) without changing its width where it fits.
LocusWindow keptInside(LocusWindow window, GenomeBuild build)
{
    const qint64 end = chromosomeEndBp(window.chromosome, build);
    const qint64 width = window.width();
    if (end > 0 && window.endBp > end) {
        window.endBp = end;
        window.startBp = end - width;
    }
    if (window.startBp < 0) {
        window.startBp = 0;
        window.endBp = width;
    }
    return window;
}

} // namespace

LocusWindow LocusWindow::centred(int chromosome, qint64 centreBp, qint64 width, GenomeBuild build)
{
    width = std::clamp(width, MinWidth, MaxWidth);
    LocusWindow window;
    window.chromosome = chromosome;
    window.startBp = centreBp - width / 2;
    window.endBp = window.startBp + width;
    return keptInside(window, build);
}

LocusWindow LocusWindow::zoomed(double factor, double anchorBp, GenomeBuild build) const
{
    if (!(factor > 0.0) || !std::isfinite(anchorBp))
        return *this;
    const qint64 width = std::clamp(qint64(std::llround(double(this->width()) * factor)), MinWidth, MaxWidth);
    const double fraction = std::clamp((anchorBp - double(startBp)) / double(this->width()), 0.0, 1.0);
    LocusWindow window = *this;
    window.startBp = qint64(std::llround(anchorBp - fraction * double(width)));
    window.endBp = window.startBp + width;
    return keptInside(window, build);
}

LocusWindow LocusWindow::panned(qint64 deltaBp, GenomeBuild build) const
{
    LocusWindow window = *this;
    window.startBp += deltaBp;
    window.endBp += deltaBp;
    return keptInside(window, build);
}

} // namespace quillmap
