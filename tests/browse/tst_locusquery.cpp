#include "browse/locusquery.h"
#include "dataset/dataset.h"
#include "dataset/ldreference.h"
#include "support/regiondataset.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace Qt::StringLiterals;
using namespace quillmap;

class TestLocusQuery : public QObject
{
    Q_OBJECT

private slots:
    void windows_data()
    {
        QTest::addColumn<LocusWindow>("from");
        QTest::addColumn<QString>("move");
        QTest::addColumn<double>("amount");
        QTest::addColumn<double>("anchor");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("end");
        const LocusWindow mid{1, 5000000, 6000000};
        // clang-format off
        QTest::newRow("centred") << LocusWindow{1, 0, 0} << "centre" << 1e6 << 45e6 << 44500000ll << 45500000ll;
        QTest::newRow("centred at the start") << LocusWindow{1, 0, 0} << "centre" << 1e6 << 100e3 << 0ll << 1000000ll;
        QTest::newRow("centred past the end (hg38 chr1 248,956,422)") << LocusWindow{1, 0, 0} << "centre" << 1e6 << 248.9e6 << 248000000ll << 249000000ll;
        QTest::newRow("narrowest") << LocusWindow{1, 0, 0} << "centre" << 10.0 << 1e6 << 990000ll << 1010000ll;
        QTest::newRow("widest") << LocusWindow{1, 0, 0} << "centre" << 5e7 << 20e6 << 15000000ll << 25000000ll;
        QTest::newRow("zoom in about the pointer") << mid << "zoom" << 0.5 << 5.25e6 << 5125000ll << 5625000ll;
        QTest::newRow("zoom out about the pointer") << mid << "zoom" << 2.0 << 5.75e6 << 4250000ll << 6250000ll;
        QTest::newRow("zoom stops at the least width") << mid << "zoom" << 0.001 << 5e6 << 5000000ll << 5020000ll;
        QTest::newRow("zoom out at the start") << LocusWindow{1, 0, 1000000} << "zoom" << 4.0 << 5e5 << 0ll << 4000000ll;
        QTest::newRow("pan") << mid << "pan" << -250000.0 << 0.0 << 4750000ll << 5750000ll;
        QTest::newRow("pan stops at the start") << mid << "pan" << -9e6 << 0.0 << 0ll << 1000000ll;
        QTest::newRow("pan stops at the end of X") << LocusWindow{23, 150000000, 151000000} << "pan" << 10e6 << 0.0 << 156000000ll << 157000000ll;
        // clang-format on
    }

    void windows()
    {
        QFETCH(LocusWindow, from);
        QFETCH(QString, move);
        QFETCH(double, amount);
        QFETCH(double, anchor);
        QFETCH(qint64, start);
        QFETCH(qint64, end);
        LocusWindow got;
        if (move == u"centre")
            got = LocusWindow::centred(from.chromosome, qint64(anchor), qint64(amount));
        else if (move == u"zoom")
            got = from.zoomed(amount, anchor);
        else
            got = from.panned(qint64(amount));
        QCOMPARE(got.startBp, start);
        QCOMPARE(got.endBp, end);
        QCOMPARE(got.chromosome, from.chromosome);
    }

    // Rows across bins, in position order, one trait only, with r2 matched by ID or by place
    // and alleles in either order; a SNP the fileset lacks or holds with other alleles has none.
    void readsAcrossBinsWithLd()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TestDataset d;
        d.statNames = {u"P"_s, u"BETA"_s};
        d.snpExtraNames = {u"REF"_s, u"ALT"_s};
        d.snps = {{u"rsA"_s, u"2"_s, 1.999, {u"A"_s, u"G"_s}},
                  {u"2:2000500"_s, u"2"_s, 2.0005, {u"T"_s, u"C"_s}},
                  {u"rsB"_s, u"2"_s, 1.9995, {u"A"_s, u"C"_s}},
                  {u"rsOut"_s, u"2"_s, 2.2, {u"A"_s, u"G"_s}},
                  {u"rsD"_s, u"2"_s, 2.0001, {u"G"_s, u"T"_s}}};
        d.results = {{u"t1"_s, u"2:2000500"_s, {1e-8, 0.3}}, {u"t1"_s, u"rsA"_s, {1e-3, 0.1}},
                     {u"t2"_s, u"rsB"_s, {1e-20, 1}},        {u"t1"_s, u"rsB"_s, {0.5, 0}},
                     {u"t1"_s, u"rsOut"_s, {1e-30, 2}},      {u"t1"_s, u"rsD"_s, {0.2, 0.2}}};
        std::shared_ptr<const Dataset> dataset;
        QCOMPARE(buildDataset(dir.path(), d, dataset), QString());

        const Result<LocusQuery::Locus> locus = LocusQuery::read(
            *dataset, int(dataset->tables().traitNames.indexOf(u"t1"_s)),
            LocusWindow::centred(2, 2000000, 20000));
        QVERIFY2(locus.ok(), qPrintable(locus.message()));
        QCOMPARE(locus->bp, (std::vector<qint64>{1999000, 1999500, 2000100, 2000500}));
        QCOMPARE(locus->count(), 4);
        QCOMPARE(locus->leadRow(), 3);
        QCOMPARE(locus->rows.statistic(3, 1), 0.3f);
        QVERIFY(std::fabs(locus->scores[0] - 3.0) < 1e-6);

        // rsA by ID; 2:2000500 by place with its alleles swapped; rsB there with other alleles.
        // Allele counts 0,1,2,1; 0,1,2,1; 2,2,0,2.
        QCOMPARE(writeLdFileset(dir.filePath(u"ld"_s),
                                "2 rsA 0 1999000 A G\n2 x 0 1999500 A T\n2 y 0 2000500 C T\n", 4,
                                "\xb8\xb8\xcf"),
                 QString());
        const auto ld = LdReference::open(dir.filePath(u"ld"_s));
        QVERIFY2(ld.ok(), qPrintable(ld.message()));
        LocusQuery::Locus withLd = *locus;
        const Result<int> matched = LocusQuery::addR2(withLd, *dataset, **ld, 3);
        QVERIFY(matched.ok());
        QCOMPARE(*matched, 2);
        // Counts 0,1,2,1 against 2,2,0,2: r = -2 / sqrt(2 x 3).
        QVERIFY(std::fabs(withLd.r2[0] - 2.0 / 3.0) < 1e-12);
        QVERIFY(std::isnan(withLd.r2[1]) && std::isnan(withLd.r2[2]));
        QCOMPARE(withLd.r2[3], 1.0);
        QCOMPARE(LocusQuery::r2Bin(withLd.r2[0]), 3);
        QCOMPARE(LocusQuery::r2Bin(1.0), 4);
        QCOMPARE(LocusQuery::r2Bin(0.2), 1);
        QCOMPARE(LocusQuery::r2Bin(0.0), 0);
        QCOMPARE(LocusQuery::r2Bin(std::nan("")), -1);
    }
};

QTEST_GUILESS_MAIN(TestLocusQuery)
#include "tst_locusquery.moc"
