#include "browse/traitplotgeometry.h"

#include <QTest>

#include <cmath>
#include <numeric>
#include <vector>

using namespace quillmap;

using namespace traitplot;

class TestTraitPlotGeometry : public QObject
{
    Q_OBJECT

private slots:
    void pointPositions_data();
    void pointPositions();
    void valueHeights();
    void equalWholeBounds();
    void labelSteps_data();
    void labelSteps();
    void labels_data();
    void labels();
    void screenLabelHeights();
    void stripPositions();
    void thresholds_data();
    void thresholds();
    void thresholdsFewRows();
};

void TestTraitPlotGeometry::pointPositions_data()
{
    QTest::addColumn<int>("chromosome");
    QTest::addColumn<double>("position");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("x");
    QTest::newRow("chr 2 at 10.5") << 2 << 10.5 << true << 300;
    QTest::newRow("chr 1 at 0") << 1 << 0.0 << true << 15;
    QTest::newRow("X at 1.9") << 23 << 1.9 << true << 3538;
    QTest::newRow("chromosome 0 has no offset") << 0 << 1.0 << false << 0;
    QTest::newRow("chromosome 24 has no offset") << 24 << 1.0 << false << 0;
}

void TestTraitPlotGeometry::pointPositions()
{
    QFETCH(int, chromosome);
    QFETCH(double, position);
    QFETCH(bool, valid);
    QFETCH(int, x);
    int got = 0;
    QCOMPARE(pointX(chromosome, position, &got), valid);
    if (valid)
        QCOMPARE(got, x);
}

void TestTraitPlotGeometry::valueHeights()
{
    const ValueScale scale = makeScale(1.0f, 5.0f, 1000.0);
    QCOMPARE(scale.fmin, 1);
    QCOMPARE(scale.cmax, 5);
    // Largest value at 0.05 G, smallest at 0.85 G.
    QCOMPARE(scale.y(5.0), 50);
    QCOMPARE(scale.y(1.0), 850);
    QCOMPARE(scale.y(3.0), 450);
    QCOMPARE(scale.circleY(5.0), 47); // the circle's box is centred on the point's
    const ValueScale fractional = makeScale(0.3f, 12.7f, 1544.58);
    QCOMPARE(fractional.fmin, 0);
    QCOMPARE(fractional.cmax, 13);
    QCOMPARE(fractional.y(13.0), int(std::floor(0.05 * 1544.58)));
}

void TestTraitPlotGeometry::equalWholeBounds()
{
    // All values equal to one whole number: no division by zero, mid height.
    const ValueScale scale = makeScale(3.0f, 3.0f, 1000.0);
    QCOMPARE(scale.y(3.0), 450);
    QCOMPARE(scale.circleY(3.0), 447);
    QCOMPARE(screenLabelY(scale, 435, 3.0), int(std::floor(400 * 0.45 + 10)));
}

void TestTraitPlotGeometry::labelSteps_data()
{
    QTest::addColumn<float>("low");
    QTest::addColumn<float>("high");
    QTest::addColumn<int>("step");
    QTest::newRow("range 3") << 0.0f << 3.0f << 1;
    QTest::newRow("range 4") << 0.0f << 4.0f << 1;
    QTest::newRow("range 8") << 0.0f << 8.0f << 2;
    QTest::newRow("range 12.4") << 0.3f << 12.7f << 5;
    QTest::newRow("range 20") << 100.0f << 120.0f << 5;
    QTest::newRow("range 30") << 0.0f << 30.0f << 10;
    QTest::newRow("range 414, at most ten labels") << 0.0f << 414.0f << 100;
}

void TestTraitPlotGeometry::labelSteps()
{
    QFETCH(float, low);
    QFETCH(float, high);
    QFETCH(int, step);
    QCOMPARE(labelStep(low, high), step);
}

void TestTraitPlotGeometry::labels_data()
{
    QTest::addColumn<float>("low");
    QTest::addColumn<float>("high");
    QTest::addColumn<QList<int>>("values");
    QTest::newRow("0.3 to 12.7") << 0.3f << 12.7f << QList<int>{0, 5, 10};
    QTest::newRow("2.3 to 2.8") << 2.3f << 2.8f << QList<int>{2, 3};
    QTest::newRow("negative -12.7 to -0.3") << -12.7f << -0.3f << QList<int>{-10, -5, 0};
    // Far from zero every multiple of the step in range still gets its label.
    QTest::newRow("100 to 120") << 100.0f << 120.0f << QList<int>{100, 105, 110, 115, 120};
    QTest::newRow("1000.2 to 1003.5") << 1000.2f << 1003.5f << QList<int>{1000, 1001, 1002, 1003, 1004};
    QTest::newRow("-250 to -230") << -250.0f << -230.0f << QList<int>{-250, -245, -240, -235, -230};
    QTest::newRow("0 to 414") << 0.0f << 414.0f << QList<int>{0, 100, 200, 300, 400};
}

void TestTraitPlotGeometry::labels()
{
    QFETCH(float, low);
    QFETCH(float, high);
    QFETCH(QList<int>, values);
    QCOMPARE(labelValues(low, high), values);
}

void TestTraitPlotGeometry::screenLabelHeights()
{
    // Frame 1000 x 435: the label of value t sits at the device height of t.
    const ValueScale scale = makeScale(0.0f, 10.0f, screenHeightScale(1000, 435));
    QCOMPARE(screenLabelY(scale, 435, 10.0), int(std::floor(400 * 0.85 + 10 - 400 * 0.8)));
    QCOMPARE(screenLabelY(scale, 435, 0.0), int(std::floor(400 * 0.85 + 10)));
    QCOMPARE(screenHeightScale(1000, 400), 3707 * 400.0 / 960.0);
    QCOMPARE(exportHeightScale(), 3707 * 0.3282051282051282);
}

void TestTraitPlotGeometry::stripPositions()
{
    const double span = 3706.664049;
    QCOMPARE(stripMid(1, 1000), int(std::floor(275.420458 * 1000 / (2 * span))));
    QCOMPARE(stripMid(23, 975), int(std::floor((3522.170933 + 3706.664049) * 975 / (2 * span))));
    QCOMPARE(stripMid(24, 975), 0);
}

void TestTraitPlotGeometry::thresholds_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("up");
    QTest::addColumn<int>("low");
    QTest::newRow("500 rows") << 500 << 495 << 5;
    QTest::newRow("999 rows") << 999 << 990 << 10;
    QTest::newRow("1500 rows") << 1500 << 1499 << 2;
    QTest::newRow("100000 rows") << 100000 << 99900 << 100;
}

void TestTraitPlotGeometry::thresholds()
{
    QFETCH(int, rows);
    QFETCH(int, up);
    QFETCH(int, low);
    // Values 0..n-1 in reverse order: the value at sorted rank r is r.
    std::vector<float> values(static_cast<size_t>(rows));
    for (int i = 0; i < rows; ++i)
        values[size_t(i)] = float(rows - 1 - i);
    const Thresholds t = percentileThresholds(values.data(), rows);
    QCOMPARE(t.upRank, up);
    QCOMPARE(t.lowRank, low);
    QCOMPARE(t.top, double(up));
    QCOMPARE(t.bottom, double(low));
}

void TestTraitPlotGeometry::thresholdsFewRows()
{
    // Fewer than 100 rows: the upper rank is past the end, so the largest value is used.
    std::vector<float> values{3, 9, 1, 7, 5};
    Thresholds t = percentileThresholds(values.data(), 5);
    QCOMPARE(t.upRank, 5);
    QCOMPARE(t.top, 9.0);
    QCOMPARE(t.bottom, 3.0); // rank ceil(0.05) = 1
    // Negative numbers below positive ones, NaN above every number.
    values = {-2.0f, float(qQNaN()), -7.5f, 4.0f, 1.0f};
    t = percentileThresholds(values.data(), 5);
    QVERIFY(std::isnan(t.top));
    QCOMPARE(t.bottom, -2.0);
    const float single = 4.0f;
    t = percentileThresholds(&single, 1);
    QCOMPARE(t.top, 4.0);
    QCOMPARE(t.bottom, 4.0);
    t = percentileThresholds(nullptr, 0);
    QCOMPARE(t.top, 0.0);
}

QTEST_GUILESS_MAIN(TestTraitPlotGeometry)
#include "tst_traitplotgeometry.moc"
