#include "browse/pointindex.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>

using namespace quillmap;

class PointIndexTest : public QObject
{
    Q_OBJECT

private slots:
    void nearest_data();
    void nearest();
    void agreesWithAScan();
};

void PointIndexTest::nearest_data()
{
    QTest::addColumn<QPointF>("at");
    QTest::addColumn<int>("expected");
    // Points 0 (10,10), 1 (16,10), 2 (16,10) again, 3 (500,300), 4 NaN; reach 6 px.
    QTest::newRow("on a point") << QPointF(10, 10) << 0;
    QTest::newRow("nearer the second") << QPointF(14, 10) << 1;
    QTest::newRow("exactly 6 px away") << QPointF(10, 4) << 0;
    QTest::newRow("just beyond 6 px") << QPointF(10, 3.9) << -1;
    QTest::newRow("halfway: the lower index") << QPointF(13, 10) << 0;
    QTest::newRow("far corner") << QPointF(503, 304) << 3;
    QTest::newRow("empty middle") << QPointF(250, 150) << -1;
    QTest::newRow("far outside") << QPointF(-1e12, 1e12) << -1;
}

void PointIndexTest::nearest()
{
    QFETCH(QPointF, at);
    const float x[] = {10, 16, 16, 500, NAN};
    const float y[] = {10, 10, 10, 300, 5};
    PointIndex index;
    index.build(x, y, 5, 6.0);
    QTEST(index.nearest(at.x(), at.y()), "expected");
}

void PointIndexTest::agreesWithAScan()
{
    QRandomGenerator random(13);
    std::vector<float> x(20000), y(20000);
    for (size_t i = 0; i < x.size(); ++i) {
        x[i] = float(random.bounded(1000.0));
        y[i] = float(random.bounded(400.0));
    }
    PointIndex index;
    index.build(x.data(), y.data(), int(x.size()), 6.0);
    for (int q = 0; q < 500; ++q) {
        const double px = random.bounded(1010.0) - 5, py = random.bounded(410.0) - 5;
        int best = -1;
        double bestDistance = 36.0;
        for (size_t i = 0; i < x.size(); ++i) {
            const double d = (x[i] - px) * (x[i] - px) + (y[i] - py) * (y[i] - py);
            if (d < bestDistance) {
                bestDistance = d;
                best = int(i);
            }
        }
        QCOMPARE(index.nearest(px, py), best);
    }
}

QTEST_GUILESS_MAIN(PointIndexTest)
#include "tst_pointindex.moc"
