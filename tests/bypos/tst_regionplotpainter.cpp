#include "bypos/regionplotpainter.h"
#include "browse/pointindex.h"
#include "figures/figureexport.h"

#include <QFileInfo>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <cmath>
#include <functional>

using namespace Qt::StringLiterals;
using namespace quillmap;

using namespace quillmap::bypos;

namespace {

using ColourTest = std::function<bool(QRgb)>;

bool reddish(QRgb c)
{
    return qRed(c) > 150 && qGreen(c) < 110 && qBlue(c) < 110;
}
bool bluish(QRgb c)
{
    return qBlue(c) > 150 && qRed(c) < 110 && qGreen(c) < 110;
}
bool darkBlue(QRgb c)
{
    return qBlue(c) > 90 && qBlue(c) < 170 && qRed(c) < 60 && qGreen(c) < 60;
}
bool greenish(QRgb c)
{
    return qGreen(c) - qRed(c) > 40 && qGreen(c) - qBlue(c) > 40;
}
bool blackish(QRgb c)
{
    return qRed(c) < 80 && qGreen(c) < 80 && qBlue(c) < 80;
}
bool magentaish(QRgb c)
{
    return qRed(c) > 150 && qBlue(c) > 150 && qGreen(c) < 110;
}

// Pixels of `image` inside `box` that pass `test`.
int count(const QImage &image, const QRect &box, const ColourTest &test)
{
    int n = 0;
    const QRect clipped = box.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y)
        for (int x = clipped.left(); x <= clipped.right(); ++x)
            n += test(image.pixel(x, y)) ? 1 : 0;
    return n;
}

// The device pixel of a logical point under `g`.
QPoint device(const PlotGeometry &g, int x, int y)
{
    const double sx = double(g.viewport.width()) / g.window.width();
    const double sy = double(g.viewport.height()) / g.window.height();
    return QPoint(int(g.viewport.x() + (x - g.window.x()) * sx),
                  int(g.viewport.y() + (y - g.window.y()) * sy));
}

// Where a label drawn with its baseline at device point p shows its glyph.
QRect glyphBox(const QPoint &p)
{
    return QRect(p.x() - 1, p.y() - 11, 10, 12);
}

struct Series {
    std::vector<std::vector<double>> positions;
    std::vector<std::vector<double>> values;
    std::vector<int> order;
};

RegionPlotInput inputFor(const Series &s, double low, double high)
{
    RegionPlotInput in;
    in.plotReady = true;
    in.traitCount = int(s.order.size());
    in.traitPositions = &s.positions;
    in.traitValues = &s.values;
    in.traitOrder = &s.order;
    in.valueMin = low;
    in.valueMax = high;
    in.rankColours = {Qt::red,  Qt::red,   Qt::red,   Qt::blue, Qt::blue,
                      Qt::blue, Qt::black, Qt::black, Qt::black};
    in.laterColour = QColor(QStringLiteral("green"));
    in.regionText = QStringLiteral("150");
    in.region = 150;
    return in;
}

QImage render(const RegionPlotInput &in, const PlotGeometry &g)
{
    QImage image(std::max(800, g.viewport.right() + 51), std::max(400, g.viewport.bottom() + 41),
                 QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    paintRegionPlot(painter, in, g);
    painter.end();
    return image;
}

// Twelve traits, rank r (0-based) at position 150.05 + 0.07 r Mb and value 12 - r.
Series twelveTraits()
{
    Series s;
    for (int g = 0; g < 12; ++g) {
        s.positions.push_back({150.05 + 0.07 * g});
        s.values.push_back({12.0 - g});
        s.order.push_back(g);
    }
    return s;
}

} // namespace

class RegionPlotPainterTest : public QObject
{
    Q_OBJECT

private slots:
    void rankLabelsByColourAndStar();
    void singlePointAtMidHeight();
    void frameMarkerAndHighlights();
    void valueLabelsFollowTheStep();
    void geneBarsInRows();
    void exportUsesDefaultColours();
    void exportWritesOneLandscapePage();
    void significanceLine_data();
    void significanceLine();
    void hoverFindsTheLabel();
    void figureLegendAndTextLabels_data();
    void figureLegendAndTextLabels();
};

void RegionPlotPainterTest::rankLabelsByColourAndStar()
{
    const Series s = twelveTraits();
    RegionPlotInput in = inputFor(s, 1.0, 12.0);
    const PlotGeometry g = screenGeometry(800, 300);
    const PlotScale scale = makeScale(g.R, 150, in.valueMin, in.valueMax);
    const QImage image = render(in, g);

    const ColourTest expected[] = {reddish,  reddish,  reddish,  bluish,   bluish,   bluish,
                                   blackish, blackish, blackish, greenish, greenish, greenish};
    for (int r = 0; r < 12; ++r) {
        const QPoint at = device(g, scale.x(s.positions[r][0]), scale.y(s.values[r][0]));
        QVERIFY2(count(image, glyphBox(at), expected[r]) >= 3, qPrintable(QString::number(r + 1)));
    }
    // Nothing is drawn where no point is.
    QCOMPARE(count(image, QRect(device(g, 950, 150), QSize(20, 20)),
                   [](QRgb c) { return c != qRgb(255, 255, 255); }),
             0);

    // A user's colour for rank 2; "*" for rank 10 is thinner than a digit: compare with a "1".
    in.rankColours[1] = QColor(QStringLiteral("magenta"));
    const QImage recoloured = render(in, g);
    const QPoint second = device(g, scale.x(s.positions[1][0]), scale.y(s.values[1][0]));
    QVERIFY(count(recoloured, glyphBox(second), magentaish) >= 3);
    QCOMPARE(count(recoloured, glyphBox(second), reddish), 0);

    // Without plotReady no label is drawn.
    in.plotReady = false;
    const QImage bare = render(in, g);
    for (int r = 0; r < 12; ++r) {
        const QPoint at = device(g, scale.x(s.positions[r][0]), scale.y(s.values[r][0]));
        QCOMPARE(count(bare, glyphBox(at), expected[r]), 0);
    }
}

void RegionPlotPainterTest::singlePointAtMidHeight()
{
    Series s;
    s.positions = {{150.5}};
    s.values = {{5.5}};
    s.order = {0};
    RegionPlotInput in = inputFor(s, 5.5, 5.5);
    const PlotGeometry g = screenGeometry(800, 300);
    const PlotScale scale = makeScale(g.R, 150, 5.5, 5.5);
    const QImage image = render(in, g);
    const QPoint mid = device(g, 500, scale.middle());
    QVERIFY(count(image, glyphBox(mid), reddish) >= 3);
    QCOMPARE(count(image, glyphBox(device(g, 500, scale.y(5.5))), reddish), 0);

    // Two points of one trait follow the scale; equal values stand at mid height too.
    s.positions = {{150.25, 150.75}};
    s.values = {{2.0, 2.0}};
    in = inputFor(s, 2.0, 2.0);
    const QImage flat = render(in, g);
    const PlotScale flatScale = makeScale(g.R, 150, 2.0, 2.0);
    QVERIFY(count(flat, glyphBox(device(g, 250, flatScale.middle())), reddish) >= 3);
    QVERIFY(count(flat, glyphBox(device(g, 750, flatScale.middle())), reddish) >= 3);
}

void RegionPlotPainterTest::frameMarkerAndHighlights()
{
    const Series s = twelveTraits();
    RegionPlotInput in = inputFor(s, 1.0, 12.0);
    const PlotGeometry g = screenGeometry(800, 300);
    const PlotScale scale = makeScale(g.R, 150, 1.0, 12.0);

    in.snpMarkOn = true;
    in.snpMarkPosition = 150.73;
    in.snpMarkName = QStringLiteral("rs42");
    const std::vector<float> hp{150.05f, 150.12f}, hv{12.0f, 11.0f};
    in.highlightOn = true;
    in.highlightCount = 2;
    in.highlightPositions = hp.data();
    in.highlightValues = hv.data();
    const QImage image = render(in, g);

    // Frame box: its top line across the plot and its left edge.
    const QPoint topLeft = device(g, 0, 0);
    QVERIFY(count(image, QRect(device(g, 300, 0).x(), topLeft.y(), 1, 2), bluish) >= 1);
    QVERIFY(count(image, QRect(topLeft.x() - 1, device(g, 0, 100).y(), 3, 1), bluish) >= 1);
    const QPoint bottom = device(g, 300, g.boxBottom);
    QVERIFY(count(image, QRect(bottom.x(), bottom.y() - 1, 1, 3), bluish) >= 1);

    // The found SNP: a black line at 730 kb from the top towards H - 50, its name in red 40
    // units to the left, 8 above the window's bottom.
    const QPoint line = device(g, 730, 150);
    QVERIFY(count(image, QRect(line.x() - 1, line.y(), 3, 1), blackish) >= 1);
    QCOMPARE(count(image, QRect(line.x() - 1, device(g, 730, g.markerBottom + 20).y(), 3, 1), blackish), 0);
    const QPoint name = device(g, 690, g.snpNameY);
    QVERIFY(count(image, QRect(name.x(), name.y() - 12, 30, 13), reddish) >= 5);

    // Circles around the highlighted labels: dark blue pixels at the circle's left edge.
    for (int i = 0; i < 2; ++i) {
        const int x = scale.x(hp[i]);
        const int y = scale.y(hv[i]);
        const QPoint left = device(g, x - 5, y - 5);
        QVERIFY(count(image, QRect(left.x() - 1, left.y() - 2, 3, 5), darkBlue) >= 1);
    }
}

void RegionPlotPainterTest::valueLabelsFollowTheStep()
{
    Series s;
    RegionPlotInput in = inputFor(s, 0.0, 12.0);
    in.plotReady = false;
    const PlotGeometry g = screenGeometry(800, 300);
    const PlotScale scale = makeScale(g.R, 150, 0.0, 12.0);
    const QImage image = render(in, g);
    const auto labelAt = [&](int m) {
        const QPoint p = device(g, g.valueLabelX, scale.y(m));
        return count(image, QRect(p.x() - 1, p.y() - 9, 12, 10), bluish);
    };
    QVERIFY(labelAt(0) >= 3);
    QVERIFY(labelAt(5) >= 3);
    QVERIFY(labelAt(10) >= 3);
    QCOMPARE(labelAt(2), 0);
    QCOMPARE(labelAt(7), 0);
    // Each on a tick at the value's own height, its ink centred on it.
    const double sy = double(g.viewport.height()) / g.window.height();
    for (const int m : {0, 5, 10}) {
        const double y = g.viewport.y() + scale.exactY(m) * sy;
        const int tickX = device(g, -3, 0).x();
        QVERIFY2(count(image, QRect(tickX, int(std::floor(y)), 1, 1), bluish) == 1,
                 qPrintable(QString::number(m)));
        const QRect labelColumns(device(g, g.valueLabelX, 0).x() - 1, int(y) - 12,
                                 tickX - 3 - device(g, g.valueLabelX, 0).x(), 25);
        QRect ink;
        for (int row = labelColumns.top(); row <= labelColumns.bottom(); ++row)
            if (count(image, QRect(labelColumns.left(), row, labelColumns.width(), 1), bluish) > 0)
                ink |= QRect(labelColumns.left(), row, 1, 1);
        QVERIFY2(
            std::abs((ink.top() + ink.bottom() + 1) / 2.0 - y) <= 1.0,
            qPrintable(
                QStringLiteral("%1: ink %2-%3, tick %4").arg(m).arg(ink.top()).arg(ink.bottom()).arg(y)));
    }

    // Region labels: "150" at the left, "151 " at the right, "150.5 " in the middle.
    for (const int x : {10, 500, 980}) {
        const QPoint p = device(g, x, g.positionLabelY);
        QVERIFY2(count(image, QRect(p.x(), p.y() - 9, 20, 10), bluish) >= 3, qPrintable(QString::number(x)));
    }
}

void RegionPlotPainterTest::geneBarsInRows()
{
    // Region 0: a and c share row 0 (c starts more than 70 kb after a ends), b goes to row 1.
    const std::vector<RegionGene> genes{{u"a"_s, 0.125, 0.25}, {u"b"_s, 0.3125, 0.375}, {u"c"_s, 0.375, 0.5}};
    const GeneTrackLayout layout = layoutGenes(genes, 0);
    const QImage track = renderGeneTrack(genes, layout, 800, 780);
    QCOMPARE(track.size(), QSize(780, 300));

    const int windowHeight = geneTrackWindowHeight(300, 800);
    const auto at = [&](int x, int y) {
        return QPoint(int((x + 50) * 750.0 / 1030), int(y * 300.0 / windowHeight));
    };
    const auto barAt = [&](int x, int row) {
        const QPoint p = at(x, 15 * (row + 1));
        return count(track, QRect(p.x(), p.y() - 1, 1, 3), bluish);
    };
    QVERIFY(barAt(200, 0) >= 1); // a
    QVERIFY(barAt(450, 0) >= 1); // c
    QVERIFY(barAt(340, 1) >= 1); // b
    QCOMPARE(barAt(340, 0), 0);  // the 70 kb gap behind a
    QCOMPARE(barAt(200, 1), 0);
    // Names start 10 kb behind the bars, on the bar's row.
    const QPoint nameA = at(260, 15);
    QVERIFY(count(track, QRect(nameA.x(), nameA.y() - 8, 8, 8), bluish) >= 2);

    // A bar running past the megabase stops at its end and carries its name at its start.
    const std::vector<RegionGene> longGene{{u"long"_s, 0.75, 1.5}};
    const QImage clipped = renderGeneTrack(longGene, layoutGenes(longGene, 0), 800, 780);
    const QPoint end = at(1000, 15);
    QVERIFY(count(clipped, QRect(end.x() - 2, end.y() - 1, 2, 3), bluish) >= 1);
    QCOMPARE(count(clipped, QRect(end.x() + 3, end.y() - 1, 10, 3), bluish), 0);
    const QPoint startName = at(755, 15);
    QVERIFY(count(clipped, QRect(startName.x(), startName.y() - 8, 8, 7), bluish) >= 2);
}

void RegionPlotPainterTest::exportUsesDefaultColours()
{
    const Series s = twelveTraits();
    RegionPlotInput in = inputFor(s, 1.0, 12.0);
    for (QColor &c : in.rankColours)
        c = QColor(QStringLiteral("magenta"));
    in.laterColour = QColor(QStringLiteral("magenta"));

    RegionGenes genes;
    genes.found = true;
    genes.genes = {{u"g1"_s, 150.125, 150.25}};
    const QImage page = renderExportImage(QStringLiteral("My title"), in, &genes);
    QCOMPARE(page.size(), QSize(1000, 600));

    const PlotGeometry g = exportGeometry();
    const PlotScale scale = makeScale(g.R, 150, 1.0, 12.0);
    const ColourTest expected[] = {reddish,  reddish,  reddish,  bluish,   bluish,   bluish,
                                   blackish, blackish, blackish, greenish, greenish, greenish};
    for (int r = 0; r < 12; ++r) {
        const QPoint at = device(g, scale.x(s.positions[r][0]), scale.y(s.values[r][0]));
        QVERIFY2(count(page, glyphBox(at), expected[r]) >= 3, qPrintable(QString::number(r + 1)));
    }
    QCOMPARE(count(page, page.rect(), magentaish), 0);

    // The title above the box, the box's bottom at 293, the gene row at 385.
    const QPoint title = device(g, 0, -20);
    QVERIFY(count(page, QRect(title.x(), title.y() - 10, 60, 11), blackish) >= 10);
    const QPoint boxBottom = device(g, 500, 293);
    QVERIFY(count(page, QRect(boxBottom.x(), boxBottom.y() - 1, 1, 3), bluish) >= 1);
    const QPoint bar = device(g, 200, ExportGeneTop);
    QVERIFY(count(page, QRect(bar.x(), bar.y() - 1, 1, 3), bluish) >= 1);

    // A range narrower than 1 adds the mid-scale label.
    Series flat;
    RegionPlotInput narrow = inputFor(flat, 2.2, 2.6);
    narrow.plotReady = false;
    const QImage narrowPage = renderExportImage(QStringLiteral("t"), narrow, nullptr);
    const QPoint mid = device(g, -25, midScaleY(g.R));
    QVERIFY(count(narrowPage, QRect(mid.x(), mid.y() - 9, 16, 10), bluish) >= 3);

    // The value label 0 is written like any other.
    RegionPlotInput fromZero = inputFor(flat, 0.5, 3.2);
    fromZero.plotReady = false;
    const QImage zeroPage = renderExportImage(QStringLiteral("t"), fromZero, nullptr);
    const PlotScale zeroScale = makeScale(g.R, 150, 0.5, 3.2);
    const QPoint zero = device(g, g.valueLabelX, zeroScale.y(0));
    QVERIFY(count(zeroPage, QRect(zero.x(), zero.y() - 9, 8, 10), bluish) >= 3);
    QCOMPARE(count(zeroPage, QRect(zero.x(), zero.y() + 8, 8, 6), bluish), 0);
}

void RegionPlotPainterTest::exportWritesOneLandscapePage()
{
    ::umask(022);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("plot.pdf"));
    Series s = twelveTraits();
    const RegionPlotInput in = inputFor(s, 1, 12);
    const auto write = [&](const QString &to) {
        return writeExportPdf(to, QStringLiteral("title"), in, nullptr);
    };
    QVERIFY(write(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray pdf = file.readAll();
    QVERIFY(pdf.startsWith("%PDF"));
    QCOMPARE(pdf.count("/Type /Page\n"), 1);
    // Drawn as shapes and text: a font for the labels, no picture.
    QVERIFY(!pdf.contains("/Subtype /Image"));
    QVERIFY(pdf.contains("/Font"));
    const qsizetype box = pdf.indexOf("/MediaBox [");
    QVERIFY(box > 0);
    const QList<QByteArray> numbers =
        pdf.mid(box + 11, pdf.indexOf(']', box) - box - 11).trimmed().split(' ');
    QCOMPARE(numbers.size(), 4);
    QVERIFY(numbers[2].toDouble() > numbers[3].toDouble());
    // A new PDF gets the umask's mode, a replaced one keeps its own.
    QCOMPARE(QFileInfo(path).permissions() & 0x0777,
             QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther);
    QVERIFY(QFile::setPermissions(path, QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup));
    QVERIFY(write(path));
    QCOMPARE(QFileInfo(path).permissions() & 0x0777, QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup);
    // Nothing but the page is left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"plot.pdf"_s});

    QVERIFY(!write(dir.filePath(QStringLiteral("missing/folder/plot.pdf"))));
}

void RegionPlotPainterTest::significanceLine_data()
{
    QTest::addColumn<bool>("page");
    QTest::addColumn<QSize>("frame");
    QTest::addColumn<double>("high");
    QTest::addColumn<bool>("drawn");
    QTest::newRow("screen") << false << QSize(800, 300) << 12.0 << true;
    QTest::newRow("screen, line above the frame") << false << QSize(800, 300) << 5.0 << false;
    // Two pixels a unit: a line put on a whole unit would stand a pixel low.
    QTest::newRow("screen, wide") << false << QSize(2000, 600) << 13.0 << true;
    QTest::newRow("export page") << true << QSize() << 12.0 << true;
}

void RegionPlotPainterTest::significanceLine()
{
    QFETCH(bool, page);
    QFETCH(QSize, frame);
    QFETCH(double, high);
    QFETCH(bool, drawn);
    const Series s = twelveTraits();
    RegionPlotInput in = inputFor(s, 1.0, high);
    in.significanceValue = -std::log10(5e-8);
    in.axisTitle = QStringLiteral("-log10(P)");
    const PlotGeometry g = page ? exportGeometry() : screenGeometry(frame.width(), frame.height());
    const QImage image = page ? renderExportImage(QStringLiteral("t"), in, nullptr) : render(in, g);
    const auto darkRed = [](QRgb c) { return (c & 0xffffff) == (QColor(Qt::darkRed).rgb() & 0xffffff); };
    const int all = count(image, image.rect(), darkRed);
    double y = 0;
    QCOMPARE(makeScale(g.R, 150, 1.0, high).lineY(in.significanceValue, g.boxBottom, &y), drawn);
    if (!drawn) {
        QCOMPARE(all, 0);
        return;
    }
    // Dashed across the frame box on the row of the value itself, not of a whole unit.
    const double sy = double(g.viewport.height()) / g.window.height();
    const double exact = 0.85 * g.R - 0.8 * g.R * (in.significanceValue - 1.0) / (std::ceil(high) - 1.0);
    const int row = int(std::floor(g.viewport.y() + (exact - g.window.y()) * sy));
    const QPoint left = device(g, 0, 0), right = device(g, 1005, 0);
    const int onRow = count(image, QRect(left.x(), row, right.x() - left.x() + 1, 1), darkRed);
    QVERIFY2(onRow == all, qPrintable(QStringLiteral("%1 of %2 on row %3").arg(onRow).arg(all).arg(row)));
    QVERIFY(onRow > (right.x() - left.x()) / 3 && onRow < (right.x() - left.x()) * 9 / 10);
    // The axis title in the left margin, half way down the box.
    const int middle = device(g, 0, g.boxBottom / 2).y();
    QVERIFY(count(image, QRect(0, middle - 20, 12, 40), [](QRgb c) { return c != qRgb(255, 255, 255); }) > 0);
}

void RegionPlotPainterTest::hoverFindsTheLabel()
{
    const Series s = twelveTraits();
    const RegionPlotInput in = inputFor(s, 1.0, 12.0);
    const PlotGeometry g = screenGeometry(800, 300);
    const QImage image = render(in, g);
    const LabelPoints points = labelPoints(in, g);
    QCOMPARE(points.x.size(), size_t(12));
    quillmap::PointIndex index;
    index.build(points.x.data(), points.y.data(), int(points.x.size()), 6.0);
    const PlotScale scale = makeScale(g.R, 150, 1.0, 12.0);
    // The middle of each label's ink, as the mouse would point at it, finds that label's point.
    for (const int r : {0, 4, 11}) {
        const QRect box = glyphBox(device(g, scale.x(s.positions[r][0]), scale.y(s.values[r][0])));
        QRect ink;
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                if (image.pixel(x, y) != qRgb(255, 255, 255))
                    ink |= QRect(x, y, 1, 1);
        QVERIFY(!ink.isEmpty());
        const int found = index.nearest(ink.center().x(), ink.center().y());
        QVERIFY(found >= 0);
        QCOMPARE(points.group[size_t(found)], r);
        QCOMPARE(points.point[size_t(found)], 0);
    }
    // Nowhere near a label.
    QCOMPARE(index.nearest(device(g, 950, 150).x(), device(g, 950, 150).y()), -1);
}

void RegionPlotPainterTest::figureLegendAndTextLabels_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("svg") << u"r.svg"_s;
    QTest::newRow("pdf") << u"r.pdf"_s;
    QTest::newRow("png") << u"r.png"_s;
}

void RegionPlotPainterTest::figureLegendAndTextLabels()
{
    QFETCH(QString, file);
    Series s = twelveTraits();
    // A second point on top of rank 1's: the SVG places it once.
    s.positions[0].push_back(s.positions[0][0]);
    s.values[0].push_back(s.values[0][0]);
    RegionPlotInput in = inputFor(s, 1.0, 12.0);
    for (int k = 0; k < 9; ++k)
        in.legend.push_back({u"Trait_%1"_s.arg(k + 1), k == 0 ? u"Lipids, Liver"_s : QString()});
    QTemporaryDir dir;
    const QString path = dir.filePath(file);
    const QSize size(1000, 600);
    QString error;
    QVERIFY2(figures::exportFigure(
                 path, size, 96,
                 [&](QPainter &p, QSize drawn) { paintRegionFigure(p, drawn, in, u"t"_s, nullptr); }, &error),
             qPrintable(error));
    QFile out(path);
    QVERIFY(out.open(QIODevice::ReadOnly));
    const QByteArray bytes = out.readAll();
    if (file.endsWith(u".svg")) {
        // Labels are vector outlines, one per label, placed once per spot; none a picture.
        QVERIFY(!bytes.contains("<image"));
        QCOMPARE(bytes.count("<path id="), 10);
        QCOMPARE(bytes.count("<use "), 12);
        QVERIFY(!bytes.contains(">*</text>"));
        QVERIFY(bytes.contains(">Trait_1 (Lipids, Liver)</text>"));
        QVERIFY(bytes.contains(">Trait_9</text>"));
        return;
    }
    if (file.endsWith(u".pdf")) {
        QVERIFY(!bytes.contains("/Subtype /Image"));
        return;
    }
    // Three columns of three lines under the plot: rank 1 in its colour, then black text.
    const QImage image = QImage::fromData(bytes);
    QCOMPARE(image.size(), size);
    const PlotGeometry g = figureGeometry(size.width(), size.height(), 0, 0);
    int legendTop = 0;
    for (int y = size.height() - 1; y > 0 && !legendTop; --y)
        if (count(image, QRect(0, y, size.width(), 1), reddish) > 0)
            legendTop = y;
    QVERIFY(legendTop > g.viewport.bottom() - 80);
    for (const int column : {0, 1, 2})
        QVERIFY(count(image, QRect(column * size.width() / 3 + 30, legendTop - 40, 200, 60), blackish) > 20);
}

QTEST_MAIN(RegionPlotPainterTest)
#include "tst_regionplotpainter.moc"
