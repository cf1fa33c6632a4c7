// pos2gene.dat as the gene track reads it: the fuzzer's bytes are the file. Every bin named at
// the start of a line, and a few fixed ones, is read and packed into rows; the packing must give
// one placement per gene and a track height within its limits.

#include "fuzzsupport.h"

#include "browse/genetrack.h"
#include "dataset/positionbin.h"

#include <QDir>

#include <set>

using namespace quillmap;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace quillmap::bypos;
    const QString folder = fuzz::scratchPath(QStringLiteral("genes"));
    static const bool made = QDir().mkpath(folder);
    (void)made;
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    fuzz::writeFile(folder + QStringLiteral("/pos2gene.dat"), bytes);

    std::set<int> bins{0, 1001, 23000, -1};
    for (const QByteArray &line : bytes.toByteArray().split('\n')) {
        bool ok = false;
        const int bin = line.left(line.indexOf('\t')).toInt(&ok);
        if (ok)
            bins.insert(bin);
        if (bins.size() > 16)
            break;
    }
    for (const int bin : bins) {
        const RegionGenes genes = readRegionGenes(folder, bin);
        fuzz::check(genes.fileOpened, "pos2gene.dat did not open");
        fuzz::check(genes.found || genes.genes.empty(), "genes of a bin that was not found");
        const int region = quillmap::binMegabase(bin);
        const GeneTrackLayout layout = layoutGenes(genes.genes, region);
        fuzz::check(layout.placements.size() == genes.genes.size(), "a gene without a placement");
        for (const GenePlacement &p : layout.placements)
            fuzz::check(p.row >= 0 && p.row <= layout.drawingLastRow && p.x2 <= 1000,
                        "a gene placed outside the track");
        for (const int width : {1, 60, 1100}) {
            const int height = geneTrackHeight(layout, width);
            fuzz::check(height >= 300 && height <= MaxGeneTrackHeight, "a gene track height out of range");
            fuzz::check(geneTrackWindowHeight(height, width) >= 1, "an empty gene track window");
        }
    }
    return 0;
}
