#include "browse/genetrack.h"

#include "browse/regionplotgeometry.h"
#include "dataset/datasetfiles.h"
#include "dataset/positionbin.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace quillmap::bypos {

namespace {

constexpr double GeneGap = 70.0; // kb a row keeps free behind a bar

// The rows' bounds as a min-tree, so that the first row a bar fits is found without walking
// every row: regions of dense gene clusters open thousands of rows.
class RowBounds
{
public:
    explicit RowBounds(size_t rows)
    {
        while (m_leaves < rows)
            m_leaves *= 2;
        m_tree.assign(2 * m_leaves, std::numeric_limits<double>::infinity());
    }

    void set(int row, double bound)
    {
        // A bound that is not a number is never passed, like an infinite one.
        size_t i = m_leaves + size_t(row);
        m_tree[i] = std::isnan(bound) ? std::numeric_limits<double>::infinity() : bound;
        for (i /= 2; i >= 1; i /= 2)
            m_tree[i] = std::min(m_tree[2 * i], m_tree[2 * i + 1]);
    }

    // The lowest row whose bound `start` lies beyond; -1 when there is none.
    int firstFit(double start) const
    {
        if (!(start > m_tree[1]))
            return -1;
        size_t i = 1;
        while (i < m_leaves)
            i = start > m_tree[2 * i] ? 2 * i : 2 * i + 1;
        return int(i - m_leaves);
    }

private:
    size_t m_leaves = 1;
    std::vector<double> m_tree;
};

} // namespace

RegionGenes readRegionGenes(const QString &folder, int bin)
{
    RegionGenes result;
    QFile file(files::datasetFilePath(folder, files::BinGenes));
    if (!file.open(QIODevice::ReadOnly))
        return result;
    result.fileOpened = true;

    // A gene is listed in the bin of its start only, so one that reaches into the region from
    // an earlier megabase sits on an earlier bin's line: those lines come first in the file.
    const int region = binMegabase(bin);
    const int lookBack = std::clamp(region, 0, GeneLookBackBins);
    QByteArray keys[GeneLookBackBins + 1];
    for (int k = 0; k <= lookBack; ++k)
        keys[k] = QByteArray::number(bin - k);
    QByteArray line;
    std::vector<RegionGene> reaching[GeneLookBackBins];
    bool taken[GeneLookBackBins] = {};
    while (!file.atEnd()) {
        line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        const qsizetype tab = line.indexOf('\t');
        const QByteArrayView field = QByteArrayView(line).first(tab < 0 ? line.size() : tab);
        int lineBin = bin + 1;
        for (int k = 0; k <= lookBack; ++k) {
            if (field == keys[k])
                lineBin = bin - k;
        }
        if (lineBin > bin)
            continue;
        if (lineBin < bin) {
            // The first line of a bin counts, as for the region's own.
            const int k = bin - lineBin - 1;
            if (taken[k])
                continue;
            taken[k] = true;
        }
        const QList<QByteArray> fields = line.split('\t');
        const qsizetype count = (fields.size() - 1) / 3;
        std::vector<RegionGene> genes;
        genes.reserve(size_t(count));
        for (qsizetype i = 0; i < count; ++i) {
            RegionGene gene;
            gene.name = QString::fromLocal8Bit(fields.at(1 + 3 * i));
            gene.start = fields.at(2 + 3 * i).toDouble();
            gene.end = fields.at(3 + 3 * i).toDouble();
            if (lineBin == bin || gene.end > region)
                genes.push_back(std::move(gene));
        }
        if (lineBin == bin) {
            result.found = true;
            result.genes = std::move(genes);
            break;
        }
        reaching[bin - lineBin - 1] = std::move(genes);
    }
    std::vector<RegionGene> genes;
    for (int k = lookBack - 1; k >= 0; --k)
        for (RegionGene &gene : reaching[k])
            genes.push_back(std::move(gene));
    if (!genes.empty()) {
        result.found = true;
        genes.insert(genes.end(), std::make_move_iterator(result.genes.begin()),
                     std::make_move_iterator(result.genes.end()));
        result.genes = std::move(genes);
    }
    return result;
}

GeneTrackLayout layoutGenes(const std::vector<RegionGene> &genes, int region)
{
    GeneTrackLayout layout;
    const double t = region;
    const double u = region + 1.0;
    const size_t capacity = genes.size() + 1;

    RowBounds sizing(capacity);
    sizing.set(0, 0.0);
    int last = 0;
    for (const RegionGene &gene : genes) {
        const double xs = (gene.start - t) * 1000.0;
        const double xe = (gene.end - t) * 1000.0;
        const int row = sizing.firstFit(xs);
        if (row >= 0) {
            if (gene.end < u - 0.01)
                sizing.set(row, xe + GeneGap);
        } else {
            sizing.set(++last, xe + GeneGap);
        }
    }
    layout.sizingLastRow = last;

    RowBounds drawing(capacity);
    drawing.set(0, 0.0);
    last = 0;
    layout.placements.reserve(genes.size());
    for (const RegionGene &gene : genes) {
        const double xsExact = (gene.start - t) * 1000.0;
        const double xeExact = (gene.end - t) * 1000.0;
        GenePlacement place;
        // A gene reaching in from an earlier megabase starts its bar at the region start.
        place.x1 = std::max(toCoordinate(xsExact), 0);
        const int xe = toCoordinate(xeExact);
        place.x2 = std::min(xe, 1000);
        const int row = drawing.firstFit(xsExact);
        // A bar that runs to the megabase end has no room for its name behind it.
        const double threshold = row >= 0 ? u - 0.02 : u - 0.01;
        place.row = row >= 0 ? row : ++last;
        place.nameX = gene.end > threshold ? place.x1 + 5 : std::min(xe + 10, 1010);
        drawing.set(place.row, xeExact + GeneGap);
        layout.placements.push_back(place);
    }
    layout.drawingLastRow = last;
    return layout;
}

int geneTrackHeight(const GeneTrackLayout &layout, int frameWidth)
{
    const double width = std::max(1, frameWidth - 50);
    const double sized = 15.0 * (double(layout.sizingLastRow) + 2.0);
    // Rows are drawn in a window of 1080 units per (frameWidth - 50) pixels.
    const double drawn = std::ceil(15.0 * (double(layout.drawingLastRow) + 2.0) * width / 1080.0);
    return int(std::min(std::max({300.0, sized, drawn}), double(MaxGeneTrackHeight)));
}

int geneTrackWindowHeight(int height, int frameWidth)
{
    const qint64 width = std::max(1, frameWidth - 50);
    return int(std::max<qint64>(1, 1080 * qint64(height) / width));
}

} // namespace quillmap::bypos
