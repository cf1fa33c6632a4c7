#include "import/nameset.h"

#include <QTest>

using quillmap::NameList;
using quillmap::NameSet;

using Names = QList<QByteArray>;

class tst_NameSet : public QObject
{
    Q_OBJECT
private slots:
    void idsAndSortedNames_data();
    void idsAndSortedNames();
};

void tst_NameSet::idsAndSortedNames_data()
{
    QTest::addColumn<Names>("input");      // names in the order they are met
    QTest::addColumn<Names>("sorted");     // the names finish() gives
    const QByteArray longName(70000, 'a'); // beyond a slot's length field
    Names many;
    Names manySorted;
    for (int i = 0; i < 5000; ++i) // grows the table several times
        many << "rs" + QByteArray::number(4999 - i);
    manySorted = many;
    std::sort(manySorted.begin(), manySorted.end());

    QTest::newRow("repeats in a row and apart")
        << Names{"b", "b", "a", "b", "c", "a"} << Names{"a", "b", "c"};
    QTest::newRow("empty name") << Names{"x", "", "", "x"} << Names{"", "x"};
    QTest::newRow("long names") << Names{longName, longName + 'b', longName}
                                << Names{longName, longName + 'b'};
    QTest::newRow("prefixes") << Names{"rs12", "rs1", "rs123", "rs1"} << Names{"rs1", "rs12", "rs123"};
    // UTF-16 order puts a surrogate pair (U+1F600) before U+FF21, unlike byte order.
    QTest::newRow("utf-16 order") << Names{"\xEF\xBC\xA1", "\xF0\x9F\x98\x80", "z"}
                                  << Names{"z", "\xF0\x9F\x98\x80", "\xEF\xBC\xA1"};
    // Two invalid byte strings decode to the same text: one name.
    QTest::newRow("alike after decoding") << Names{"a\xFF", "a\xFE", "b"} << Names{"a\xEF\xBF\xBD", "b"};
    QTest::newRow("many") << many << manySorted;
}

void tst_NameSet::idsAndSortedNames()
{
    QFETCH(Names, input);
    QFETCH(Names, sorted);
    NameSet set;
    QList<qint32> ids;
    for (const QByteArray &name : std::as_const(input))
        ids << set.idOf(name);
    // Ids count up in order of first appearance; a name met again keeps its id.
    qint32 next = 0;
    for (qsizetype i = 0; i < input.size(); ++i) {
        const qsizetype first = input.indexOf(input[i]);
        QCOMPARE(ids[i], first == i ? next++ : ids[first]);
        QCOMPARE(set.find(input[i]), ids[i]);
        QCOMPARE(set.nameAt(ids[i]), QByteArrayView(input[i]));
    }
    QCOMPARE(set.size(), next);
    QCOMPARE(set.find("absent"), -1);

    NameList list;
    std::vector<qint32> finalIndex;
    set.finish(list, finalIndex);
    Names got;
    for (qint64 i = 0; i < list.size(); ++i)
        got << list.at(i).toByteArray();
    QCOMPARE(got, sorted);
    for (qsizetype i = 0; i < input.size(); ++i)
        QCOMPARE(QString::fromUtf8(list.at(finalIndex[size_t(ids[i])])), QString::fromUtf8(input[i]));

    // Split among parts, as threads fill them: the same names in the same order.
    for (const int parts : {2, 3}) {
        quillmap::SplitNameSet split;
        split.reset(parts);
        for (const QByteArray &name : std::as_const(input)) {
            const size_t hash = NameSet::hashOf(name);
            const qint32 id = split.idOf(split.partOf(hash), name, hash);
            QCOMPARE(split.find(name), id);
        }
        QCOMPARE(split.size(), set.size());
        NameList splitList;
        std::vector<qint32> splitIndex;
        split.finish(splitList, splitIndex);
        QCOMPARE(splitList.bytes, list.bytes);
        QCOMPARE(splitList.ends, list.ends);
        for (const QByteArray &name : std::as_const(input))
            QCOMPARE(splitIndex[size_t(split.find(name))], finalIndex[size_t(set.find(name))]);
    }
    set.clear();
    QCOMPARE(set.size(), 0);
    QCOMPARE(set.find(input.value(0)), -1);
}

QTEST_GUILESS_MAIN(tst_NameSet)
#include "tst_nameset.moc"
