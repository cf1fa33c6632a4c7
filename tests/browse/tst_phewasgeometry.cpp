#include "browse/phewasgeometry.h"

#include <QTest>

#include <cmath>

using namespace Qt::StringLiterals;
using namespace quillmap;

namespace {

VariantQuery::TraitRow row(const QString &trait, const QString &groups, double p, float effect)
{
    VariantQuery::TraitRow r;
    r.trait = trait;
    r.groups = groups;
    r.statistics = {float(p), effect};
    r.score = std::isnan(p) ? NAN : -std::log10(p);
    return r;
}

} // namespace

class TestPhewasGeometry : public QObject
{
    Q_OBJECT

private slots:
    void direction_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<float>("value");
        QTest::addColumn<int>("direction");
        QTest::newRow("beta up") << QStringList{u"P"_s, u"BETA"_s} << 0.2f << 1;
        QTest::newRow("beta down") << QStringList{u"P"_s, u"BETA"_s} << -0.2f << -1;
        QTest::newRow("beta zero") << QStringList{u"P"_s, u"BETA"_s} << 0.0f << 0;
        QTest::newRow("odds ratio up") << QStringList{u"P"_s, u"OR"_s} << 1.5f << 1;
        QTest::newRow("odds ratio down") << QStringList{u"P"_s, u"OR"_s} << 0.5f << -1;
        QTest::newRow("odds ratio one") << QStringList{u"P"_s, u"odds_ratio"_s} << 1.0f << 0;
        QTest::newRow("odds ratio not positive") << QStringList{u"P"_s, u"OR"_s} << -1.0f << 0;
        QTest::newRow("t statistic") << QStringList{u"P"_s, u"T_STAT"_s} << -3.0f << -1;
        QTest::newRow("z score") << QStringList{u"P"_s, u"Z"_s} << 2.0f << 1;
        QTest::newRow("no signed column") << QStringList{u"P"_s, u"SE"_s} << -2.0f << 0;
        QTest::newRow("NaN") << QStringList{u"P"_s, u"BETA"_s} << float(NAN) << 0;
    }

    void direction()
    {
        QFETCH(QStringList, names);
        QFETCH(float, value);
        QFETCH(int, direction);
        VariantQuery::Table table;
        table.rows = {row(u"t"_s, {}, 0.01, value)};
        const PhewasGeometry geometry(table, names, 400, 300);
        QCOMPARE(geometry.points().at(0).direction, direction);
    }

    void layout()
    {
        VariantQuery::Table table;
        table.rows = {row(u"z"_s, {}, 1e-10, 1), row(u"b"_s, u"liver, blood"_s, 1e-3, -1),
                      row(u"a"_s, u"liver"_s, 0.5, 1), row(u"c"_s, u"blood"_s, 0.01, 1),
                      row(u"n"_s, {}, NAN, 1)};
        const PhewasGeometry geometry(table, {u"P"_s, u"BETA"_s}, 475, 385);
        // Groups by name, the ungrouped last; the row without a p-value is not drawn.
        QStringList order;
        for (const PhewasGeometry::Point &point : geometry.points())
            order << table.rows[size_t(point.row)].trait;
        QCOMPARE(order, (QStringList{u"c"_s, u"a"_s, u"b"_s, u"z"_s}));
        QCOMPARE(geometry.groups().size(), size_t(3));
        QCOMPARE(geometry.groups().back().name, QString());
        QCOMPARE(geometry.bonferroniScore(), -std::log10(0.05 / 4));
        QCOMPARE(geometry.genomeWideScore(), -std::log10(5e-8));
        // x in equal steps across the plotting area; y by score.
        QCOMPARE(geometry.points().at(0).x, PhewasGeometry::Left + 0.5 * 100);
        QCOMPARE(geometry.points().at(3).y, geometry.yOf(10));
        QVERIFY(geometry.yOf(10) < geometry.yOf(2));
        QCOMPARE(geometry.yOf(0), 385 - PhewasGeometry::Bottom);
        // The tallest point is within the plot.
        QVERIFY(geometry.points().at(3).y > PhewasGeometry::Top);

        const PhewasGeometry::Point &b = geometry.points().at(2);
        QCOMPARE(geometry.pointAt(b.x + 3, b.y - 3), 2);
        QCOMPARE(geometry.pointAt(b.x + 7, b.y), -1);
    }

    void labels_data()
    {
        QTest::addColumn<int>("traits");
        QTest::addColumn<double>("spread"); // score range over the traits
        QTest::addColumn<int>("labelled");  // at least
        QTest::newRow("few traits, all named") << 3 << 6.0 << 3;
        QTest::newRow("crowded, equal heights") << 60 << 0.0 << 2;
        QTest::newRow("crowded, close heights") << 60 << 0.5 << 3;
    }

    void labels()
    {
        QFETCH(int, traits);
        QFETCH(double, spread);
        QFETCH(int, labelled);
        VariantQuery::Table table;
        for (int k = 0; k < traits; ++k)
            table.rows.push_back(row(u"trait_number_%1"_s.arg(k), k % 2 ? u"g"_s : QString(),
                                     std::pow(10.0, -(8.0 + spread * k / traits)), 1));
        const PhewasGeometry geometry(table, {u"P"_s, u"BETA"_s}, 400, 300);
        const auto width = [](const QString &text) { return 6.0 * double(text.size()); };
        const std::vector<PhewasGeometry::Label> labels = geometry.labels(width, 12.0);
        QVERIFY2(int(labels.size()) >= labelled, qPrintable(QString::number(labels.size())));
        QVERIFY(int(labels.size()) <= PhewasGeometry::LabelCount);
        const QRectF area(PhewasGeometry::Left, PhewasGeometry::Top,
                          400 - PhewasGeometry::Left - PhewasGeometry::Right,
                          300 - PhewasGeometry::Top - PhewasGeometry::Bottom);
        double lastY = -1.0;
        for (size_t a = 0; a < labels.size(); ++a) {
            const PhewasGeometry::Point &named = geometry.points().at(size_t(labels[a].point));
            QCOMPARE(labels[a].box.width(), width(named.trait));
            QVERIFY(area.contains(labels[a].box));
            QVERIFY(named.y >= lastY); // tallest first
            lastY = named.y;
            for (size_t b = a + 1; b < labels.size(); ++b)
                QVERIFY(!labels[a].box.intersects(labels[b].box));
            for (const PhewasGeometry::Point &p : geometry.points())
                QVERIFY(!labels[a].box.intersects(QRectF(p.x - 4.5, p.y - 4.5, 9, 9)));
        }
    }
};

QTEST_GUILESS_MAIN(TestPhewasGeometry)
#include "tst_phewasgeometry.moc"
