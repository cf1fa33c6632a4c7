#include "dataset/resultrecord.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace quillmap;

class tst_ResultRecord final : public QObject
{
    Q_OBJECT

private slots:
    void sizes();
    void encodesBigEndian_data();
    void encodesBigEndian();
    void roundTripsExtraStatistics();
};

void tst_ResultRecord::sizes()
{
    QCOMPARE(quillmap::recordSize(0), qint64(12));
    QCOMPARE(quillmap::recordSize(1), qint64(16));
    QCOMPARE(quillmap::recordSize(5), qint64(32));
    QCOMPARE(quillmap::recordSize(std::numeric_limits<int>::max()),
             12 + 4 * qint64(std::numeric_limits<int>::max()));
}

void tst_ResultRecord::encodesBigEndian_data()
{
    QTest::addColumn<qint32>("trait");
    QTest::addColumn<qint32>("snp");
    QTest::addColumn<float>("stat");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("small") << 1 << 2 << 0.5f << QByteArray::fromHex("00000001 00000002 3f000000");
    QTest::newRow("large indexes") << 0x01020304 << 0x7fffffff << -2.0f
                                   << QByteArray::fromHex("01020304 7fffffff c0000000");
    QTest::newRow("3e38") << 0 << 0 << 3e38f << QByteArray::fromHex("00000000 00000000 7f61b1e6");
    QTest::newRow("negative zero") << 0 << 0 << -0.0f << QByteArray::fromHex("00000000 00000000 80000000");
    QTest::newRow("float maximum") << 0 << 0 << std::numeric_limits<float>::max()
                                   << QByteArray::fromHex("00000000 00000000 7f7fffff");
}

void tst_ResultRecord::encodesBigEndian()
{
    QFETCH(qint32, trait);
    QFETCH(qint32, snp);
    QFETCH(float, stat);
    QFETCH(QByteArray, bytes);
    QByteArray out(12, '\xcc');
    quillmap::encodeRecord(out.data(), {trait, snp, stat}, nullptr, 0);
    QCOMPARE(out.toHex(), bytes.toHex());
    const quillmap::RecordHead back = quillmap::decodeRecord(out.constData(), nullptr, 0);
    QCOMPARE(back.traitIndex, trait);
    QCOMPARE(back.snpIndex, snp);
    QCOMPARE(back.firstStat, stat);
    QCOMPARE(std::signbit(back.firstStat), std::signbit(stat));
}

void tst_ResultRecord::roundTripsExtraStatistics()
{
    const float extra[] = {1.0f, -1.5f, 1e-40f};
    QByteArray out(int(quillmap::recordSize(3)), '\0');
    quillmap::encodeRecord(out.data(), {7, 9, 0.25f}, extra, 3);
    QCOMPARE(out.toHex(),
             QByteArray("00000007"
                        "00000009"
                        "3e800000"
                        "3f800000"
                        "bfc00000"
                        "000116c2"));
    float back[3] = {};
    const quillmap::RecordHead head = quillmap::decodeRecord(out.constData(), back, 3);
    QCOMPARE(head.traitIndex, 7);
    QCOMPARE(head.snpIndex, 9);
    QCOMPARE(head.firstStat, 0.25f);
    for (int k = 0; k < 3; ++k)
        QCOMPARE(back[k], extra[k]);
}

QTEST_GUILESS_MAIN(tst_ResultRecord)
#include "tst_resultrecord.moc"
