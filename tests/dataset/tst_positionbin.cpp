#include "dataset/positionbin.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace quillmap;

class tst_PositionBin final : public QObject
{
    Q_OBJECT

private slots:
    void chromosome_data();
    void chromosome();
    void bin_data();
    void bin();
    void binParts_data();
    void binParts();
    void basePairs_data();
    void basePairs();
};

void tst_PositionBin::chromosome_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("number"); // 0: no chromosome

    for (int c = 1; c <= 23; ++c)
        QTest::addRow("%d", c) << QString::number(c) << c;
    QTest::newRow("X") << "X" << 23;
    const char *invalid[] = {"x",  "chr1", "Chr1", "Y",  "XY", "MT", "M",  "01",  "0", "00",
                             "24", "100",  "",     " 1", "1 ", "+1", "-1", "1.0", "X "};
    for (const char *field : invalid)
        QTest::addRow("'%s'", field) << QString::fromLatin1(field) << 0;
    QTest::newRow("fullwidth digit") << QStringLiteral("\uff11") << 0;
}

void tst_PositionBin::chromosome()
{
    QFETCH(QString, field);
    QFETCH(int, number);
    const std::optional<int> fromText = quillmap::chromosomeNumber(field);
    const QByteArray bytes = field.toUtf8();
    const std::optional<int> fromBytes = quillmap::chromosomeNumber(QByteArrayView(bytes));
    QCOMPARE(fromText.value_or(0), number);
    QCOMPARE(fromBytes.value_or(0), number);
}

void tst_PositionBin::bin_data()
{
    QTest::addColumn<int>("chromosome");
    QTest::addColumn<double>("position");
    QTest::addColumn<int>("bin"); // 99999: no bin

    QTest::newRow("12.3 on 1") << 1 << 12.3 << 1012;
    QTest::newRow("12.9 on 1 shares the bin") << 1 << 12.9 << 1012;
    QTest::newRow("12.3 on X") << 23 << 12.3 << 23012;
    QTest::newRow("-0.5 on 1") << 1 << -0.5 << 999;
    QTest::newRow("-1.5 on X") << 23 << -1.5 << 22998;
    QTest::newRow("1000 Mb on 1 is chromosome 2's first bin") << 1 << 1000.0 << 2000;
    QTest::newRow("largest bin") << 23 << 9767.5 << 32767;
    QTest::newRow("one past the largest bin") << 23 << 9768.0 << 99999;
    QTest::newRow("123456.0 on 1") << 1 << 123456.0 << 99999;
    QTest::newRow("smallest bin") << 1 << -33768.0 << -32768;
    QTest::newRow("below the smallest bin") << 1 << -33768.5 << 99999;
    QTest::newRow("infinite") << 1 << std::numeric_limits<double>::infinity() << 99999;
    QTest::newRow("not a number") << 1 << std::numeric_limits<double>::quiet_NaN() << 99999;
}

void tst_PositionBin::bin()
{
    QFETCH(int, chromosome);
    QFETCH(double, position);
    QFETCH(int, bin);
    const std::optional<qint16> got = quillmap::positionBin(chromosome, position);
    QCOMPARE(got ? int(*got) : 99999, bin);
}

void tst_PositionBin::binParts_data()
{
    QTest::addColumn<int>("bin");
    QTest::addColumn<int>("chromosome");
    QTest::addColumn<int>("megabase");
    QTest::newRow("1012") << 1012 << 1 << 12;
    QTest::newRow("999") << 999 << 0 << 999;
    QTest::newRow("22998") << 22998 << 22 << 998;
    QTest::newRow("-1") << -1 << -1 << 999;
    QTest::newRow("-1000") << -1000 << -1 << 0;
}

void tst_PositionBin::binParts()
{
    QFETCH(int, bin);
    QFETCH(int, chromosome);
    QFETCH(int, megabase);
    QCOMPARE(quillmap::binChromosome(bin), chromosome);
    QCOMPARE(quillmap::binMegabase(bin), megabase);
}

void tst_PositionBin::basePairs_data()
{
    QTest::addColumn<QString>("megabases");
    QTest::addColumn<qint64>("bp"); // -1: none
    // Truncation would show a base too few for these: Mb x 1e6 falls just below the base.
    QTest::newRow("16.077315") << "16.077315" << qint64(16077315);
    QTest::newRow("0.000001") << "0.000001" << qint64(1);
    QTest::newRow("12.5") << "12.5" << qint64(12500000);
    QTest::newRow("half a base rounds up") << "0.0000015" << qint64(2);
    QTest::newRow("largest") << "2147.483647" << qint64(2147483647);
    QTest::newRow("beyond 32 bits") << "2147.483648" << qint64(-1);
    QTest::newRow("not a number") << "nan" << qint64(-1);
}

void tst_PositionBin::basePairs()
{
    QFETCH(QString, megabases);
    QFETCH(qint64, bp);
    const std::optional<qint32> got = quillmap::positionBasePairs(megabases.toDouble());
    QCOMPARE(got ? qint64(*got) : qint64(-1), bp);
}

QTEST_GUILESS_MAIN(tst_PositionBin)
#include "tst_positionbin.moc"
