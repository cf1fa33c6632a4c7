#include "browse/regionplotgeometry.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace quillmap;

using namespace quillmap::bypos;

class RegionPlotGeometryTest : public QObject
{
    Q_OBJECT

private slots:
    void screen();
    void page();
    void scale();
    void flatAndAbsurdValues();
    void step_data();
    void step();
    void labels_data();
    void labels();
    void texts();
};

void RegionPlotGeometryTest::screen()
{
    const PlotGeometry g = screenGeometry(800, 300);
    QCOMPARE(g.viewport, QRect(0, 50, 750, 260));
    QCOMPARE(g.R, 1000.0 * 260 / 750);
    QCOMPARE(g.window, QRect(-50, 0, 1030, 346));
    QCOMPARE(g.boxBottom, 312);
    QCOMPARE(g.markerBottom, 296);
    QCOMPARE(g.positionLabelY, 346);
    QCOMPARE(g.snpNameY, 338);
    QCOMPARE(g.valueLabelX, -30);
    QVERIFY(!g.exportPage);
}

void RegionPlotGeometryTest::page()
{
    const PlotGeometry g = exportGeometry();
    QCOMPARE(g.viewport, QRect(0, 10, 975, 335));
    QCOMPARE(g.window, QRect(-50, -50, 1050, 343));
    QCOMPARE(g.boxBottom, 293);
    QCOMPARE(g.markerBottom, 293);
    QCOMPARE(g.positionLabelY, 326);
    QCOMPARE(g.snpNameY, 335);
    QCOMPARE(g.valueLabelX, -20);
    QVERIFY(g.exportPage);
    QCOMPARE(midScaleY(g.R), 154);
}

void RegionPlotGeometryTest::scale()
{
    const PlotScale s = makeScale(400.0, 150, 0.5, 3.2);
    QCOMPARE(s.lo, 0.0);
    QCOMPARE(s.hi, 4.0);
    QCOMPARE(s.y(0.0), 340); // lo at 0.85 R
    QCOMPARE(s.y(4.0), 20);  // hi at 0.05 R
    QCOMPARE(s.y(2.0), 180);
    QCOMPARE(s.middle(), 140);
    QCOMPARE(s.x(150.73), 730);
    QCOMPARE(s.x(150.0), 0);
    QCOMPARE(s.x(151.0), 1000);
    QCOMPARE(s.x(149.5), -500);
}

void RegionPlotGeometryTest::flatAndAbsurdValues()
{
    // Every value the same whole number: nothing to scale, all at mid height.
    const PlotScale flat = makeScale(400.0, 0, 3.0, 3.0);
    QCOMPARE(flat.y(3.0), flat.middle());
    QCOMPARE(flat.y(-7.0), 140);

    const PlotScale s = makeScale(400.0, 0, 0.0, 1.0);
    QCOMPARE(s.y(std::numeric_limits<double>::quiet_NaN()), 0);
    QVERIFY(s.y(1e300) < -1000000);
    QVERIFY(s.x(1e300) > 1000000);
    QCOMPARE(toCoordinate(-2.7), -2);
}

void RegionPlotGeometryTest::step_data()
{
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<int>("step");
    QTest::newRow("0") << 0.0 << 0.0 << 1;
    QTest::newRow("4") << 0.0 << 4.0 << 1;
    QTest::newRow("4.5") << 0.0 << 4.5 << 2;
    QTest::newRow("8") << 0.0 << 8.0 << 2;
    QTest::newRow("8.1") << 0.0 << 8.1 << 5;
    QTest::newRow("20") << 0.0 << 20.0 << 5;
    QTest::newRow("20.5") << 0.0 << 20.5 << 10;
    // The fixed step of 10 while it writes at most ten labels, then round steps.
    QTest::newRow("0 to 90, ten labels") << 0.0 << 90.0 << 10;
    QTest::newRow("0.5 to 90.5, ten labels") << 0.5 << 90.5 << 10;
    QTest::newRow("0 to 100, eleven labels") << 0.0 << 100.0 << 20;
    QTest::newRow("0 to 414") << 0.0 << 414.0 << 100;
    QTest::newRow("10000") << 0.0 << 10000.0 << 2000;
    QTest::newRow("25000") << 0.0 << 25000.0 << 5000;
    QTest::newRow("-1e9 to 1e9") << -1e9 << 1e9 << 500000000;
}

void RegionPlotGeometryTest::step()
{
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(int, step);
    QCOMPARE(valueLabelStep(low, high), step);
    const size_t count = valueLabels(low, high).size();
    QVERIFY(count <= size_t(MaxFixedStepLabels));
    if (step > 10)
        QVERIFY(count >= 4 && count <= size_t(MaxValueLabels));
}

void RegionPlotGeometryTest::labels_data()
{
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<std::vector<int>>("labels");
    QTest::newRow("0.5 to 3.2") << 0.5 << 3.2 << std::vector<int>{0, 1, 2, 3, 4};
    QTest::newRow("0 to 12") << 0.0 << 12.0 << std::vector<int>{0, 5, 10};
    QTest::newRow("-3 to 2") << -3.0 << 2.0 << std::vector<int>{-2, 0, 2};
    QTest::newRow("before any search") << 100.0 << -100.0 << std::vector<int>{};
    QTest::newRow("flat") << 3.0 << 3.0 << std::vector<int>{3};
    QTest::newRow("not a number") << std::nan("") << 1.0 << std::vector<int>{};
}

void RegionPlotGeometryTest::labels()
{
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(std::vector<int>, labels);
    QCOMPARE(valueLabels(low, high), labels);
}

void RegionPlotGeometryTest::texts()
{
    QCOMPARE(regionEndText(150), QStringLiteral("151 "));
    QCOMPARE(regionMiddleText(QStringLiteral("150")), QStringLiteral("150.5 "));
    QCOMPARE(regionMiddleText(QStringLiteral("5")), QStringLiteral(" 5.5 "));
    QCOMPARE(midScaleText(2.2, 2.6), QStringLiteral("2.5"));
    QVERIFY(valueLabels(-1e9, 1e9).size() <= size_t(MaxValueLabels));
}

QTEST_GUILESS_MAIN(RegionPlotGeometryTest)
#include "tst_regionplotgeometry.moc"
