#include "browse/traitplotgeometry.h"
#include "bytrait/traitplotpainter.h"
#include "figures/figureexport.h"

#include <QFileInfo>
#include <QFontMetrics>
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

using namespace quillmap;

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

// First and last pixel of `colour` (any non-white colour when null) on the line through
// `centre`, horizontal or vertical, within `reach` pixels of it; -1, -1 when none.
QPair<int, int> extent(const QImage &image, QPoint centre, bool horizontal, int reach, QRgb colour = 0)
{
    QPair<int, int> found{-1, -1};
    for (int d = -reach; d <= reach; ++d) {
        const QPoint q = horizontal ? QPoint(centre.x() + d, centre.y()) : QPoint(centre.x(), centre.y() + d);
        if (!image.rect().contains(q))
            continue;
        const QRgb pixel = image.pixel(q) & 0xffffff;
        if (colour ? pixel == (colour & 0xffffff) : pixel != 0xffffff) {
            const int at = horizontal ? q.x() : q.y();
            if (found.first < 0)
                found.first = at;
            found.second = at;
        }
    }
    return found;
}

struct Rows {
    std::vector<quint8> chromosomes;
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
    void valueLabelTicks_data();
    void valueLabelTicks();
    void notReadyDrawsNoPoints();
    void progressCancels();
    void selectionCircles();
    void ellipseBoxes_data();
    void ellipseBoxes();
    void exportPicture();
    void svgFigureHoldsEachPointOnce();
    void exportPdfOnePage();
    void significanceLine_data();
    void significanceLine();
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

void TestTraitPlotPainter::valueLabelTicks_data()
{
    QTest::addColumn<float>("low");
    QTest::addColumn<float>("high");
    QTest::addColumn<QList<int>>("labels");
    // Far from zero every multiple of the step in range still gets its label.
    QTest::newRow("100 to 120") << 100.0f << 120.0f << QList<int>{100, 105, 110, 115, 120};
    QTest::newRow("0 to 414, a round step") << 0.0f << 414.0f << QList<int>{0, 100, 200, 300, 400};
}

void TestTraitPlotPainter::valueLabelTicks()
{
    QFETCH(float, low);
    QFETCH(float, high);
    QFETCH(QList<int>, labels);
    const QSize size(1000, 435);
    Rows rows{{1}, {5.0f}, {high}};
    QImage image = whiteImage(size);
    QVERIFY(renderTraitPlot(&image, rows.data(low, high)));
    QCOMPARE(labelValues(low, high), labels);
    const double g = screenHeightScale(size.width(), size.height());
    const ValueScale scale = makeScale(low, high, g);
    const auto deviceY = [&](double t) { return 10 + scale.exactY(t) * (size.height() - 35) / int(g); };
    // Label ink by rows, left of the ticks: one run of rows per label, centred on its tick.
    std::vector<int> inkRows;
    for (int y = 0; y < size.height() - 35; ++y)
        if (anyNonWhite(image, QRect(15, y, 19, 1)))
            inkRows.push_back(y);
    QList<double> middles;
    for (size_t i = 0; i < inkRows.size(); ++i) {
        const size_t first = i;
        while (i + 1 < inkRows.size() && inkRows[i + 1] == inkRows[i] + 1)
            ++i;
        middles.append((inkRows[first] + inkRows[i] + 1) / 2.0);
    }
    QCOMPARE(middles.size(), labels.size());
    for (qsizetype k = 0; k < labels.size(); ++k) {
        const int t = labels[labels.size() - 1 - k]; // ink runs from the top
        const double y = deviceY(t);
        QVERIFY2(std::abs(middles[k] - y) <= 1.0,
                 qPrintable(QStringLiteral("%1: ink around %2, tick at %3").arg(t).arg(middles[k]).arg(y)));
        // A blue tick left of the frame's line, on the value's row.
        const int row = int(std::floor(y));
        QVERIFY2(near(image, QPoint(37, row), QColor(Qt::blue).rgb(), 0), qPrintable(QString::number(t)));
        QVERIFY((image.pixel(37, row - 3) & 0xffffff) == 0xffffff);
    }
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
    const quint8 chromosome = 2;
    const float position = 10.5f, value = 1.0f;
    data.highlightOn = true;
    data.highlightCount = 1;
    data.highlightChromosomes = &chromosome;
    data.highlightPositions = &position;
    data.highlightValues = &value;
    QImage image = whiteImage(size);
    QPainter painter(&image);
    drawSelectionCircles(painter, QRect(QPoint(), size), data);
    painter.end();
    const ValueScale scale = makeScale(1.0f, 5.0f, screenHeightScale(1000, 400));
    const QPoint centre = screenCentre(size, 300, scale.y(1.0), PointBox);
    QCOMPARE(image.pixel(centre) & 0xffffff, QColor(Qt::red).rgb() & 0xffffff);
}

void TestTraitPlotPainter::ellipseBoxes_data()
{
    QTest::addColumn<bool>("exported");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<int>("box");
    QTest::newRow("screen point") << false << false << 14;
    QTest::newRow("screen circle, centred on its point") << false << true << 20;
    QTest::newRow("export point") << true << false << 14;
    QTest::newRow("export circle") << true << true << 18;
}

void TestTraitPlotPainter::ellipseBoxes()
{
    QFETCH(bool, exported);
    QFETCH(bool, selected);
    QFETCH(int, box);
    // Chromosome 2 at 10.5 Mb (x = 300), value 3 of 1..5: mid height. On screen four pixels
    // per logical unit across, so a unit more or less shows.
    const QSize size(40 + 4 * (genomeExtent() + 50), 300);
    Rows rows{{2}, {10.5f}, {3.0f}};
    TraitPlotData data = rows.data(1.0f, 5.0f);
    data.highlightOn = selected;
    data.highlightCount = 1;
    data.highlightChromosomes = rows.chromosomes.data();
    data.highlightPositions = rows.positions.data();
    data.highlightValues = rows.values.data();
    QImage image;
    double sx = 0, sy = 0;
    QPointF centre;
    if (exported) {
        image = renderTraitExport(data, QStringLiteral("T"), QString());
        const double g = exportHeightScale();
        sx = 975.0 / (genomeExtent() + 50);
        sy = 320.0 / int(g);
        centre = QPointF(10 + (300 + 7 + 50) * sx, 30 + (makeScale(1, 5, g).y(3.0) + 7 + 50) * sy);
    } else {
        image = whiteImage(size);
        QVERIFY(renderTraitPlot(&image, data));
        QPainter painter(&image);
        drawSelectionCircles(painter, QRect(QPoint(), size), data);
        painter.end();
        const double g = screenHeightScale(size.width(), size.height());
        sx = 4.0;
        sy = (size.height() - 35) / double(int(g));
        centre = QPointF(40 + (300 + 7) * sx, 10 + (makeScale(1, 5, g).y(3.0) + 7) * sy);
    }
    // The ellipse spans its box (the outline adds a pixel) and is centred where the point is.
    const QRgb colour = selected ? QColor(Qt::red).rgb() : 0;
    const QPoint at = centre.toPoint();
    const QPair<int, int> across = extent(image, at, true, int(box * sx / 2) + 4, colour);
    const QPair<int, int> down = extent(image, at, false, int(box * sy / 2) + 4, colour);
    QCOMPARE(across.second - across.first, qRound(box * sx));
    QCOMPARE(down.second - down.first, qRound(box * sy));
    QVERIFY(std::abs((across.first + across.second) / 2.0 - centre.x()) <= 1.5);
    QVERIFY(std::abs((down.first + down.second) / 2.0 - centre.y()) <= 1.5);
}

void TestTraitPlotPainter::svgFigureHoldsEachPointOnce()
{
    // A hundred rows on one spot and one elsewhere: two circles in the file.
    Rows rows;
    for (int i = 0; i < 100; ++i)
        rows.chromosomes.push_back(2), rows.positions.push_back(10.5f), rows.values.push_back(3.0f);
    rows.chromosomes.push_back(5), rows.positions.push_back(20.0f), rows.values.push_back(1.0f);
    const TraitPlotData data = rows.data(1.0f, 3.0f);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.svg"));
    QString error;
    QVERIFY2(figures::exportFigure(
                 path, QSize(1000, 400), 96,
                 [&](QPainter &painter, QSize size) { paintTraitFigure(painter, size, data, QString()); },
                 &error),
             qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().count("<ellipse"), 2);
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
    const TraitPlotData data = rows.data(1.0f, 5.0f);
    const QString path = dir.filePath(QStringLiteral("plot.pdf"));
    const auto write = [&](const QString &to) {
        return writeTraitExportPdf(data, QStringLiteral("T"), QString(), to);
    };
    QVERIFY(write(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray pdf = file.readAll();
    QVERIFY(pdf.startsWith("%PDF"));
    const QString text = QString::fromLatin1(pdf);
    QCOMPARE(text.count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?!s)"))), 1);
    // Drawn as shapes and text: a font for the texts, no picture.
    QVERIFY(!pdf.contains("/Subtype /Image"));
    QVERIFY(pdf.contains("/Font"));
    // A new PDF gets the umask's mode, a replaced one keeps its own.
    QCOMPARE(QFileInfo(path).permissions() & 0x0777,
             QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther);
    QVERIFY(QFile::setPermissions(path, QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup));
    QVERIFY(write(path));
    QCOMPARE(QFileInfo(path).permissions() & 0x0777, QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup);
    // Nothing else is left behind in the folder.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    // An unwritable place fails and reports it.
    QVERIFY(!write(dir.filePath(QStringLiteral("no/such/folder/plot.pdf"))));
}

void TestTraitPlotPainter::significanceLine_data()
{
    QTest::addColumn<QString>("picture");
    QTest::addColumn<float>("high");
    QTest::addColumn<bool>("drawn");
    QTest::newRow("screen") << "screen" << 10.0f << true;
    // A pixel a unit or more: a line put on a whole unit would stand a pixel low.
    QTest::newRow("screen, wide") << "wide" << 13.0f << true;
    QTest::newRow("screen, line above the frame") << "screen" << 5.0f << false;
    QTest::newRow("export page") << "export" << 10.0f << true;
    QTest::newRow("figure under a title") << "figure" << 10.0f << true;
}

void TestTraitPlotPainter::significanceLine()
{
    QFETCH(QString, picture);
    QFETCH(float, high);
    QFETCH(bool, drawn);
    const QSize size = picture == u"wide" ? QSize(4000, 1200) : QSize(1000, 400);
    Rows rows{{2}, {10.5f}, {1.0f}};
    TraitPlotData data = rows.data(1.0f, high);
    data.significanceValue = -std::log10(5e-8);
    data.axisTitle = QStringLiteral("-log10(P)");
    QImage image = whiteImage(size);
    int top = 0; // of the plot area
    double g = screenHeightScale(size.width(), size.height());
    double sy = (size.height() - 35.0) / int(g), offsetY = 10;
    if (picture == u"export") {
        image = renderTraitExport(data, QStringLiteral("T"), QString());
        g = exportHeightScale();
        sy = 320.0 / int(g);
        offsetY = 30 + 50 * sy;
    } else if (picture == u"figure") {
        QFont font(QStringLiteral("Helvetica"));
        font.setPointSize(12);
        top = QFontMetrics(font, &image).height() + 8;
        g = screenHeightScale(1000, 400 - top);
        sy = (365.0 - top) / int(g);
        QPainter painter(&image);
        paintTraitFigure(painter, size, data, QStringLiteral("Title"));
    } else {
        QVERIFY(renderTraitPlot(&image, data));
    }
    double y = 0;
    QCOMPARE(makeScale(1.0f, high, g).lineY(data.significanceValue, &y), drawn);
    int dashes = 0;
    for (int x = 0; x < size.width(); ++x)
        for (int row = 0; row < image.height(); ++row)
            dashes += (image.pixel(x, row) & 0xffffff) == (QColor(Qt::darkRed).rgb() & 0xffffff);
    if (!drawn) {
        QCOMPARE(dashes, 0);
        return;
    }
    // Every dark red pixel on one row, a dashed one across the genome: the row the value
    // itself falls in, not that of a whole unit.
    const double exact = 0.85 * g - 0.8 * g * (data.significanceValue - 1.0) / (std::ceil(high) - 1.0);
    const int row = top + int(std::floor(offsetY + exact * sy));
    int onRow = 0;
    for (int x = 0; x < size.width(); ++x)
        onRow += near(image, QPoint(x, row), QColor(Qt::darkRed).rgb(), 0);
    QVERIFY2(onRow == dashes, qPrintable(QStringLiteral("%1 of %2 at %3").arg(onRow).arg(dashes).arg(row)));
    QVERIFY(dashes > size.width() * 3 / 10 && dashes < size.width() * 9 / 10);
    // The axis title stands left of the value labels, half way down.
    QVERIFY(anyNonWhite(image, QRect(0, top + size.height() * 3 / 10, 12, size.height() * 3 / 10)));
    if (picture == u"figure")
        QVERIFY(anyNonWhite(image, QRect(450, 0, 100, top)));
}

QTEST_MAIN(TestTraitPlotPainter)
#include "tst_traitplotpainter.moc"
