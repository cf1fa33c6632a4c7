#include "browse/sortkeys.h"

#include <QTest>

using namespace quillmap;
using namespace Qt::StringLiterals;

class TestSortKeys : public QObject
{
    Q_OBJECT

private slots:
    void genomeOrder_data();
    void genomeOrder();
    void fieldOrder_data();
    void fieldOrder();
};

// Rows: 0 = 2:10.5, 1 = X:0.2, 2 = 1:12.5, 3 = 10:1.0, 4 = 1:3.25, 5 = 1:16.077315,
// 6 = 1:16.0773150000001 (the same base as row 5).
static std::vector<GenomeKey> genomeRows()
{
    return {genomeKey(2, 10.5),
            genomeKey(23, 0.2),
            genomeKey(1, 12.5),
            genomeKey(10, 1.0),
            genomeKey(1, 3.25),
            genomeKey(1, 16.077315),
            genomeKey(1, 16.0773150000001)};
}

void TestSortKeys::genomeOrder_data()
{
    QTest::addColumn<bool>("byPosition");
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<QList<int>>("order");
    QTest::newRow("position ascending: chromosome, then position, X last")
        << true << true << QList<int>{4, 2, 5, 6, 0, 3, 1};
    QTest::newRow("position descending") << true << false << QList<int>{1, 3, 0, 5, 6, 2, 4};
    QTest::newRow("chromosome ascending") << false << true << QList<int>{4, 2, 5, 6, 0, 3, 1};
    QTest::newRow("chromosome descending keeps positions in order")
        << false << false << QList<int>{1, 3, 0, 4, 2, 5, 6};
}

void TestSortKeys::genomeOrder()
{
    QFETCH(bool, byPosition);
    QFETCH(bool, ascending);
    QFETCH(QList<int>, order);
    const std::vector<GenomeKey> keys = genomeRows();
    QList<int> got(qsizetype(keys.size()));
    orderByGenome(keys, byPosition, ascending, got.data());
    QCOMPARE(got, order);
    QCOMPARE(keys[5].bp, qint64(16077315));
}

void TestSortKeys::fieldOrder_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<QList<int>>("order");
    const QStringList maf{u"0.25"_s, u"NA"_s, u"1e-3"_s, u"10"_s, u"9"_s, u""_s, u"0.25"_s};
    QTest::newRow("numbers by value, NA and blanks after") << maf << true << QList<int>{2, 0, 6, 4, 3, 5, 1};
    QTest::newRow("descending, text still after the numbers")
        << maf << false << QList<int>{3, 4, 0, 6, 2, 1, 5};
    QTest::newRow("text by code units")
        << QStringList{u"b"_s, u"B"_s, u"a10"_s, u"a9"_s} << true << QList<int>{1, 2, 3, 0};
    QTest::newRow("inf and nan are text")
        << QStringList{u"inf"_s, u"nan"_s, u"-1"_s} << true << QList<int>{2, 0, 1};
}

void TestSortKeys::fieldOrder()
{
    QFETCH(QStringList, fields);
    QFETCH(bool, ascending);
    QFETCH(QList<int>, order);
    std::vector<FieldKey> keys;
    for (const QString &field : fields)
        keys.push_back(fieldKey(field));
    QList<int> got(fields.size());
    orderByField(keys, ascending, got.data());
    QCOMPARE(got, order);
}

QTEST_GUILESS_MAIN(TestSortKeys)
#include "tst_sortkeys.moc"
