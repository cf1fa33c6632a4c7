#include "browse/genetrack.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quillmap;

using namespace quillmap::bypos;
using namespace Qt::StringLiterals;

class GeneTrackTest : public QObject
{
    Q_OBJECT

private slots:
    void packsBarsIntoRows();
    void sizingKeepsRowsOpenBehindBarsAtTheEnd();
    void trackHeight_data();
    void trackHeight();
    void readsTheRegionsLine_data();
    void readsTheRegionsLine();
    void missingFile();
};

// Region 0: x is the position in kb. Values are binary fractions, so no rounding blurs the
// 70 kb gap.
static std::vector<RegionGene> sample()
{
    return {{u"a"_s, 0.125, 0.25},      {u"b"_s, 0.3125, 0.375}, {u"c"_s, 0.375, 0.5},
            {u"d"_s, 0.75, 1.5},        {u"e"_s, 0.5, 0.985},    {u"f"_s, 0.0625, 0.985},
            {u"g"_s, 0.875, 0.9921875}, {u"h"_s, 0.0, 0.0625}};
}

void GeneTrackTest::packsBarsIntoRows()
{
    const GeneTrackLayout layout = layoutGenes(sample(), 0);
    QCOMPARE(layout.placements.size(), size_t(8));
    struct Expected {
        int row, x1, x2, nameX;
    };
    const Expected expected[] = {
        {0, 125, 250, 260},  // name 10 kb behind the bar
        {1, 312, 375, 385},  // starts within 70 kb of a's end: next row
        {0, 375, 500, 510},  // more than 70 kb after a: back in row 0
        {0, 750, 1000, 755}, // runs past the megabase: clipped, name at its start
        {1, 500, 985, 505},  // existing row, ends after u - 0.02: name at its start
        {2, 62, 985, 995},   // new row, ends before u - 0.01: name behind it
        {3, 875, 992, 880},  // new row, ends after u - 0.01: name at its start
        {4, 0, 62, 72},      // starting at 0 fits no row, not even an empty row 0
    };
    for (size_t i = 0; i < 8; ++i) {
        const GenePlacement &p = layout.placements[i];
        QCOMPARE(p.row, expected[i].row);
        QCOMPARE(p.x1, expected[i].x1);
        QCOMPARE(p.x2, expected[i].x2);
        QCOMPARE(p.nameX, expected[i].nameX);
    }
    QCOMPARE(layout.drawingLastRow, 4);

    // The same picture for a later region: positions are taken from the region start.
    std::vector<RegionGene> shifted = sample();
    for (RegionGene &gene : shifted) {
        gene.start += 150;
        gene.end += 150;
    }
    const GeneTrackLayout later = layoutGenes(shifted, 150);
    QCOMPARE(later.placements[3].x2, 1000);
    QCOMPARE(later.placements[1].row, 1);

    // A gene reaching in from the megabase before starts its bar at the region start.
    const GenePlacement reaching = layoutGenes({{u"r"_s, 149.5, 150.25}}, 150).placements.front();
    QCOMPARE(reaching.x1, 0);
    QCOMPARE(reaching.x2, 250);
    QCOMPARE(reaching.nameX, 260);
}

void GeneTrackTest::sizingKeepsRowsOpenBehindBarsAtTheEnd()
{
    // d reaches past the megabase; the sizing pass leaves row 0 open behind it, so g fits
    // there and opens no row.
    QCOMPARE(layoutGenes(sample(), 0).sizingLastRow, 3);
    QCOMPARE(layoutGenes({}, 0).sizingLastRow, 0);
    QCOMPARE(layoutGenes({}, 0).drawingLastRow, 0);
}

void GeneTrackTest::trackHeight_data()
{
    QTest::addColumn<int>("stacked");
    QTest::addColumn<int>("frameWidth");
    QTest::addColumn<int>("height");
    QTest::newRow("few rows") << 3 << 800 << 300;
    QTest::newRow("40 rows") << 40 << 800 << 615;
    // Wider frames draw the rows further apart than 15 pixels.
    QTest::newRow("40 rows, wide frame") << 40 << 1600 << 883;
    QTest::newRow("capped") << 5000 << 800 << MaxGeneTrackHeight;
}

void GeneTrackTest::trackHeight()
{
    QFETCH(int, stacked);
    QFETCH(int, frameWidth);
    QFETCH(int, height);
    const std::vector<RegionGene> genes(size_t(stacked), RegionGene{u"x"_s, 0.5, 0.625});
    const GeneTrackLayout layout = layoutGenes(genes, 0);
    QCOMPARE(layout.sizingLastRow, stacked - 1);
    QCOMPARE(geneTrackHeight(layout, frameWidth), height);
}

void GeneTrackTest::readsTheRegionsLine_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<int>("bin");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QStringList>("genes");
    const QString file = QStringLiteral("1000\tgA\t0.1\t0.2\n"
                                        "1005\tgB\t5.5\t5.6\tgC\t5.7\t6.25\n"
                                        "10050\tgD\t50.1\t50.2\n");
    QTest::newRow("first line") << file << 1000 << true << QStringList{u"gA 0.1 0.2"_s};
    QTest::newRow("later line") << file << 1005 << true << QStringList{u"gB 5.5 5.6"_s, u"gC 5.7 6.25"_s};
    QTest::newRow("prefix of another bin") << file << 100 << false << QStringList{};
    QTest::newRow("absent") << file << 2000 << false << QStringList{};
    QTest::newRow("crlf") << QStringLiteral("3001\tgE\t1.5\t1.6\r\n") << 3001 << true
                          << QStringList{u"gE 1.5 1.6"_s};
    // Genes are listed in the bin of their start; those reaching into a region from up to three
    // megabases before it show there too, before the region's own.
    const QString spanning = QStringLiteral("1001\tgOld\t1.2\t9.9\n"
                                            "1002\tgP\t2.6\t5.1\n"
                                            "1004\tgQ\t4.5\t5\tgR\t4.8\t5.25\n"
                                            "1005\tgB\t5.5\t5.6\n"
                                            "1999\tgZ\t999.5\t1001\n"
                                            "2000\tgY\t0.1\t0.2\n");
    QTest::newRow("genes reaching in")
        << spanning << 1005 << true << QStringList{u"gP 2.6 5.1"_s, u"gR 4.8 5.25"_s, u"gB 5.5 5.6"_s};
    QTest::newRow("only genes reaching in") << spanning << 1006 << false << QStringList{};
    QTest::newRow("reaching in without a line of its own")
        << spanning << 1003 << true << QStringList{u"gOld 1.2 9.9"_s, u"gP 2.6 5.1"_s};
    QTest::newRow("not from another chromosome") << spanning << 2000 << true << QStringList{u"gY 0.1 0.2"_s};
    QTest::newRow("incomplete triple")
        << QStringLiteral("3001\tgE\t1.5\t1.6\tgF\t1.7\n") << 3001 << true << QStringList{u"gE 1.5 1.6"_s};
}

void GeneTrackTest::readsTheRegionsLine()
{
    QFETCH(QString, content);
    QFETCH(int, bin);
    QFETCH(bool, found);
    QFETCH(QStringList, genes);
    QTemporaryDir dir;
    QFile file(dir.path() + QStringLiteral("/pos2gene.dat"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content.toLatin1());
    file.close();
    const RegionGenes read = readRegionGenes(dir.path(), bin);
    QVERIFY(read.fileOpened);
    QCOMPARE(read.found, found);
    QStringList got;
    for (const RegionGene &gene : read.genes)
        got << QStringLiteral("%1 %2 %3").arg(gene.name).arg(gene.start).arg(gene.end);
    QCOMPARE(got, genes);
}

void GeneTrackTest::missingFile()
{
    QTemporaryDir dir;
    const RegionGenes read = readRegionGenes(dir.path(), 1000);
    QVERIFY(!read.fileOpened);
    QVERIFY(!read.found);
}

QTEST_GUILESS_MAIN(GeneTrackTest)
#include "tst_genetrack.moc"
