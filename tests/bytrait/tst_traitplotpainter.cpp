#include "browse/traitplotgeometry.h"
#include "bytrait/traitplotpainter.h"

#include <QFileInfo>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <cmath>
#include <vector>

using namespace traitplot;

namespace {

// Device pixel of the centre of a point box at logical (x, y) on a W x H screen plot.
QPoint screenCentre(QSize size, int x, int y, int box)
{
    const double g = screenHeightScale(size.width(), size.height());
    const double dx = 40 + (x + box / 2.0) * (size.width() - 40) / double(genomeExtent() + 50);
    const double dy = 10 + (y + box / 2.0) * (size.height() - 35) / double(int(g));
    return QPoint(int(dx), int(dy));
}

bool near(const QImage &image, QPoint p, QRgb colour, int radius = 1)
{
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
            const QPoint q = p + QPoint(dx, dy);
            if (image.rect().contains(q) && (image.pixel(q) & 0xffffff) == (colour & 0xffffff))
                return true;
        }
    return false;
}

bool anyNonWhite(const QImage &image, const QRect &rect)
{
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (image.rect().contains(x, y) && (image.pixel(x, y) & 0xffffff) != 0xffffff)
                return true;
    return false;
}

struct Rows {
    std::vector<int> chromosomes;
    std::vector<float> positions;
    std::vector<float> values;
    TraitPlotData data(float low, float high) const
    {
        TraitPlotData d;
        d.rowCount = int(values.size());
        d.chromosomes = chromosomes.data();
        d.positions = positions.data();
        d.values = values.data();
        d.valueMin = low;
        d.valueMax = high;
        d.plotReady = true;
        return d;
    }
};

QImage whiteImage(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

} // namespace

class TestTraitPlotPainter : public QObject
{
    Q_OBJECT

private slots:
    void pointsByChromosomeColour();
    void highlightModes_data();
    void highlightModes();
    void equalValuesAtMidHeight();
    void frameLines();
    void valueLabelsFarFromZero();
    void notReadyDrawsNoPoints();
    void progressCancels();
    void selectionCircles();
    void exportPicture();
    void exportPdfOnePage();
};

void TestTraitPlotPainter::pointsByChromosomeColour()
{
    const QSize size(1000, 400);
    Rows rows{{2, 1}, {10.5f, 100.0f}, {5.0f, 1.0f}};
    QImage image = whiteImage(size);
    QVERIFY(renderTraitPlot(&image, rows.data(1.0f, 5.0f)));
    const ValueScale scale = makeScale(1.0f, 5.0f, screenHeightScale(1000, 400));
    // Chromosome 2 at 10.5 Mb: x = 300; the largest value at 0.05 G. Blue fill.
    const QPoint even = screenCentre(size, 300, scale.y(5.0), 13);
    QCOMPARE(image.pixel(even) & 0xffffff, QColor(Qt::blue).rgb() & 0xffffff);
    // Chromosome 1 at 100 Mb, smallest value at 0.85 G; outlined dark blue (odd chromosome).
    int x = 0;
    QVERIFY(pointX(1, 100.0, &x));
    const QPoint odd = screenCentre(size, x, scale.y(1.0), 13);
    QCOMPARE(image.pixel(odd) & 0xffffff, QColor(Qt::blue).rgb() & 0xffffff);
    QVERIFY(near(image, odd, QColor(Qt::darkBlue).rgb(), 2));
    QVERIFY(!near(image, even, QColor(Qt::darkBlue).rgb(), 2));
}

void TestTraitPlotPainter::highlightModes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("highDrawn");
    QTest::addColumn<bool>("middleDrawn");
    QTest::addColumn<bool>("lowDrawn");
    QTest::newRow("none") << 0 << true << true << true;
    QTest::newRow("top") << 1 << true << false << false;
    QTest::newRow("bottom") << 2 << false << false << true;
    QTest::newRow("top and bottom") << 3 << true << false << true;
}

void TestTraitPlotPainter::highlightModes()
{
    QFETCH(int, mode);
    QFETCH(bool, highDrawn);
    QFETCH(bool, middleDrawn);
    QFETCH(bool, lowDrawn);
    const QSize size(1200, 500);
    Rows rows{{3, 9, 15}, {50.0f, 50.0f, 50.0f}, {9.0f, 5.0f, 1.0f}};
    TraitPlotData data = rows.data(1.0f, 9.0f);
    data.highlightMode = mode;
    data.topThreshold = 8.0;
    data.bottomThreshold = 2.0;
    QImage image = whiteImage(size);
    QVERIFY(renderTraitPlot(&image, data));
    const ValueScale scale = makeScale(1.0f, 9.0f, screenHeightScale(size.width(), size.height()));
    const bool expected[3] = {highDrawn, middleDrawn, lowDrawn};
    for (int i = 0; i < 3; ++i) {
        int x = 0;
        QVERIFY(pointX(rows.chromosomes[size_t(i)], 50.0, &x));
        const QPoint centre = screenCentre(size, x, scale.y(rows.values[size_t(i)]), 13);
        const bool drawn = (image.pixel(centre) & 0xffffff) == (QColor(Qt::blue).rgb() & 0xffffff);
        QCOMPARE(drawn, expected[i]);
        if (drawn && mode != 0)
            QVERIFY(near(image, centre, QColor(Qt::magenta).rgb(), 3));
    }
}

void TestTraitPlotPainter::equalValuesAtMidHeight()
{
    const QSize size(1000, 400);
    Rows rows{{5}, {20.0f}, {3.0f}};
    QImage image = whiteImage(size);
    QVERIFY(renderTraitPlot(&image, rows.data(3.0f, 3.0f)));
    const double g = screenHeightScale(1000, 400);
    int x = 0;
    QVERIFY(pointX(5, 20.0, &x));
    const QPoint centre = screenCentre(size, x, int(std::floor(0.45 * g)), 13);
    QCOMPARE(image.pixel(centre) & 0xffffff, QColor(Qt::blue).rgb() & 0xffffff);
}

void TestTraitPlotPainter::frameLines()
{
    const QSize size(1000, 400);
    QImage image = whiteImage(size);
    Rows rows;
    QVERIFY(renderTraitPlot(&image, rows.data(0.0f, 1.0f)));
    // The vertical line at the start of chromosome 2 (x = 275), half way down the frame.
    const double dx = 40 + 275 * 960.0 / (genomeExtent() + 50);
    QVERIFY(near(image, QPoint(int(dx), 150), QColor(Qt::blue).rgb(), 1));
    // Cosmetic: one pixel wide, whatever the window scale.
    QVERIFY((image.pixel(int(dx) + 3, 150) & 0xffffff) == 0xffffff);
    QVERIFY((image.pixel(int(dx) - 3, 150) & 0xffffff) == 0xffffff);
    // The top line at y = 0 maps to device row 10.
    QVERIFY(near(image, QPoint(500, 10), QColor(Qt::blue).rgb(), 1));
}

void TestTraitPlotPainter::valueLabelsFarFromZero()
{
    // Values 100 to 120: labels 100 ... 120 in steps of 5 at their device heights.
    const QSize size(1000, 435);
    Rows rows{{1}, {5.0f}, {110.0f}};
    QImage image = whiteImage(size);
    QVERIFY(renderTraitPlot(&image, rows.data(100.0f, 120.0f)));
    const ValueScale scale = makeScale(100.0f, 120.0f, screenHeightScale(1000, 435));
    for (int t : {100, 110, 120}) {
        const int baseline = screenLabelY(scale, 435, t);
        QVERIFY2(anyNonWhite(image, QRect(15, baseline - 10, 22, 10)), qPrintable(QString::number(t)));
    }
    // No label between the lines of 100 and 105.
    const int between = (screenLabelY(scale, 435, 100) + screenLabelY(scale, 435, 105)) / 2;
    QVERIFY(!anyNonWhite(image, QRect(15, between - 2, 20, 2)));
}

void TestTraitPlotPainter::notReadyDrawsNoPoints()
{
    const QSize size(1000, 400);
    Rows rows{{2}, {10.5f}, {5.0f}};
    TraitPlotData data = rows.data(1.0f, 5.0f);
    data.plotReady = false;
    QImage image = whiteImage(size);
    QVERIFY(renderTraitPlot(&image, data));
    const ValueScale scale = makeScale(1.0f, 5.0f, screenHeightScale(1000, 400));
    QCOMPARE(image.pixel(screenCentre(size, 300, scale.y(5.0), 13)) & 0xffffff, 0xffffffu);
    // Nor value labels.
    QVERIFY(!anyNonWhite(image, QRect(0, 0, 39, 360)));
}

void TestTraitPlotPainter::progressCancels()
{
    const int n = 10000;
    Rows rows;
    rows.chromosomes.assign(n, 1);
    rows.positions.assign(n, 10.0f);
    rows.values.assign(n, 1.0f);
    QImage image = whiteImage(QSize(800, 300));
    QList<int> asked;
    const bool done = renderTraitPlot(&image, rows.data(0.0f, 2.0f), [&asked](int row) {
        asked << row;
        return row < 4096;
    });
    QVERIFY(!done);
    QCOMPARE(asked, QList<int>({0, 4096}));
}

void TestTraitPlotPainter::selectionCircles()
{
    const QSize size(1000, 400);
    Rows rows{{2}, {10.5f}, {5.0f}};
    TraitPlotData data = rows.data(1.0f, 5.0f);
    const int chromosome = 2;
    const float position = 10.5f, value = 1.0f;
    data.highlightOn = true;
    data.highlightCount = 1;
    data.highlightChromosomes = &chromosome;
    data.highlightPositions = &position;
    data.highlightValues = &value;
    QImage image = whiteImage(size);
    QPainter painter(&image);
    drawSelectionCircles(painter, size, data);
    painter.end();
    const ValueScale scale = makeScale(1.0f, 5.0f, screenHeightScale(1000, 400));
    const QPoint centre = screenCentre(size, 300, scale.circleY(1.0), 19);
    QCOMPARE(image.pixel(centre) & 0xffffff, QColor(Qt::red).rgb() & 0xffffff);
}

void TestTraitPlotPainter::exportPicture()
{
    Rows rows{{2}, {10.5f}, {5.0f}};
    const QImage image = renderTraitExport(rows.data(1.0f, 5.0f), QStringLiteral("Title"),
                                           QStringLiteral("Group: All                  Trait: T1"));
    QCOMPARE(image.size(), QSize(1000, 380));
    const double g = exportHeightScale();
    const ValueScale scale = makeScale(1.0f, 5.0f, g);
    // Hollow blue circle around (300 + 6.5, y + 6.5) in the export's plot window.
    const double cx = 10 + (300 + 6.5 + 50) * 975.0 / (genomeExtent() + 50);
    const double cy = 30 + (scale.y(5.0) + 6.5 + 50) * 320.0 / int(g);
    QVERIFY(near(image, QPoint(int(cx), int(cy)), QColor(Qt::blue).rgb(), 3));
    // The title is drawn near (400, 20).
    QVERIFY(anyNonWhite(image, QRect(400, 5, 60, 16)));
    // Frame line at the start of chromosome 2 in the export mapping.
    const double fx = 10 + (275 + 50) * 975.0 / (genomeExtent() + 50);
    QVERIFY(near(image, QPoint(int(fx), 200), QColor(Qt::blue).rgb(), 1));
}

void TestTraitPlotPainter::exportPdfOnePage()
{
    ::umask(022);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Rows rows{{2}, {10.5f}, {5.0f}};
    const QImage image = renderTraitExport(rows.data(1.0f, 5.0f), QStringLiteral("T"), QString());
    const QString path = dir.filePath(QStringLiteral("plot.pdf"));
    QVERIFY(writeImagePdf(image, path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray pdf = file.readAll();
    QVERIFY(pdf.startsWith("%PDF"));
    const QString text = QString::fromLatin1(pdf);
    QCOMPARE(text.count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?!s)"))), 1);
    // A new PDF gets the umask's mode, a replaced one keeps its own.
    QCOMPARE(QFileInfo(path).permissions() & 0x0777, QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther);
    QVERIFY(QFile::setPermissions(path, QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup));
    QVERIFY(writeImagePdf(image, path));
    QCOMPARE(QFileInfo(path).permissions() & 0x0777, QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup);
    // Nothing else is left behind in the folder.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    // An unwritable place fails and reports it.
    QVERIFY(!writeImagePdf(image, dir.filePath(QStringLiteral("no/such/folder/plot.pdf"))));
}

QTEST_MAIN(TestTraitPlotPainter)
#include "tst_traitplotpainter.moc"
