// The value transforms and the index-carrying sorts behind column sorts and trait ranking.
#include "dataset/indexsort.h"
#include "dataset/transform.h"

#include <QString>
#include <QTest>

#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

using namespace quillmap;

class TestTransform : public QObject
{
    Q_OBJECT

private slots:
    void transform_data();
    void transform();
    void transformNan();

    void sortExamples_data();
    void sortExamples();
    void sortKeepsPairs_data();
    void sortKeepsPairs();
    void sortTinyRanges();
    void sortSubrange();
    void sortLargeOrderedInputs_data();
    void sortLargeOrderedInputs();
    void sortNanKeys();
};

void TestTransform::transform_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<int>("code");
    QTest::addColumn<float>("expected");
    QTest::newRow("none keeps value") << -3.5f << 0 << -3.5f;
    QTest::newRow("log10 of 0 missing") << 0.0f << 1 << MissingValue;
    QTest::newRow("log10 of 1000") << 1000.0f << 1 << 3.0f;
    QTest::newRow("minus log10 of 100") << 100.0f << 2 << -2.0f;
    QTest::newRow("minus log10 of 0.001") << 0.001f << 2 << 3.0f;
    QTest::newRow("minus log10 negative missing") << -1.0f << 2 << MissingValue;
    QTest::newRow("log2 of 8") << 8.0f << 3 << 3.0f;
    QTest::newRow("log2 negative missing") << -8.0f << 3 << MissingValue;
    QTest::newRow("minus log2 of -3 missing") << -3.0f << 4 << MissingValue;
    QTest::newRow("minus log2 of 0.25") << 0.25f << 4 << 2.0f;
    QTest::newRow("abs of -3") << -3.0f << 5 << 3.0f;
    QTest::newRow("code 6 missing") << 5.0f << 6 << MissingValue;
    QTest::newRow("code -1 missing") << 5.0f << -1 << MissingValue;
}

void TestTransform::transform()
{
    QFETCH(float, value);
    QFETCH(int, code);
    QFETCH(float, expected);
    QCOMPARE(applyTransform(value, code), expected);
}

void TestTransform::transformNan()
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    QVERIFY(std::isnan(applyTransform(nan, 1)));
    QVERIFY(std::isnan(applyTransform(nan, 4)));
    QVERIFY(std::isnan(applyTransform(nan, 0)));
}

void TestTransform::sortExamples_data()
{
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<QList<double>>("keys");
    QTest::addColumn<QList<double>>("sortedKeys");
    QTest::addColumn<QList<int>>("sortedIndex");
    QTest::newRow("ascending 3 1 2") << true << QList<double>{3, 1, 2} << QList<double>{1, 2, 3}
                                     << QList<int>{1, 2, 0};
    QTest::newRow("descending 3 1 2")
        << false << QList<double>{3, 1, 2} << QList<double>{3, 2, 1} << QList<int>{0, 2, 1};
    QTest::newRow("ascending negatives")
        << true << QList<double>{-1, -5, 0, 2.5} << QList<double>{-5, -1, 0, 2.5} << QList<int>{1, 0, 2, 3};
    QTest::newRow("descending two") << false << QList<double>{1, 2} << QList<double>{2, 1}
                                    << QList<int>{1, 0};
}

void TestTransform::sortExamples()
{
    QFETCH(bool, ascending);
    QFETCH(QList<double>, keys);
    QFETCH(QList<double>, sortedKeys);
    QFETCH(QList<int>, sortedIndex);
    std::vector<double> k(keys.begin(), keys.end());
    std::vector<int> index(k.size());
    std::iota(index.begin(), index.end(), 0);
    if (ascending)
        sortAscendingWithIndex(k.data(), index.data(), 0, int(k.size()) - 1);
    else
        sortDescendingWithIndex(k.data(), index.data(), 0, int(k.size()) - 1);
    QCOMPARE(QList<double>(k.begin(), k.end()), sortedKeys);
    QCOMPARE(QList<int>(index.begin(), index.end()), sortedIndex);
}

void TestTransform::sortKeepsPairs_data()
{
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("distinct");
    QTest::newRow("ascending random 1000") << true << 1000 << 1000000;
    QTest::newRow("descending random 1000") << false << 1000 << 1000000;
    QTest::newRow("ascending many equal") << true << 5000 << 3;
    QTest::newRow("descending many equal") << false << 5000 << 3;
    QTest::newRow("ascending all equal") << true << 300 << 1;
}

void TestTransform::sortKeepsPairs()
{
    QFETCH(bool, ascending);
    QFETCH(int, size);
    QFETCH(int, distinct);
    std::mt19937 random(42);
    std::vector<double> original(size_t(size), 0.0);
    const int half = distinct / 2; // whole keys, so that many repeat
    for (double &v : original)
        v = double(random() % unsigned(distinct)) - half;
    std::vector<double> keys = original;
    std::vector<int> index(keys.size());
    std::iota(index.begin(), index.end(), 0);
    if (ascending)
        sortAscendingWithIndex(keys.data(), index.data(), 0, size - 1);
    else
        sortDescendingWithIndex(keys.data(), index.data(), 0, size - 1);
    std::vector<int> seen(keys.size(), 0);
    for (int i = 0; i < size; ++i) {
        QCOMPARE(keys[size_t(i)], original[size_t(index[size_t(i)])]);
        ++seen[size_t(index[size_t(i)])];
        if (i > 0)
            QVERIFY(ascending ? keys[size_t(i - 1)] <= keys[size_t(i)]
                              : keys[size_t(i - 1)] >= keys[size_t(i)]);
    }
    QVERIFY(std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; }));
}

void TestTransform::sortTinyRanges()
{
    double keys[3] = {5, 4, 3};
    int index[3] = {7, 8, 9};
    sortAscendingWithIndex(keys, index, 1, 1);
    sortDescendingWithIndex(keys, index, 1, 1);
    sortAscendingWithIndex(keys, index, 1, 0);
    sortDescendingWithIndex(keys, index, 2, 1);
    QCOMPARE(keys[0], 5.0);
    QCOMPARE(keys[1], 4.0);
    QCOMPARE(keys[2], 3.0);
    QCOMPARE(index[0], 7);
    QCOMPARE(index[1], 8);
    QCOMPARE(index[2], 9);
}

void TestTransform::sortSubrange()
{
    // Only lo..hi moves; the elements around it are left alone.
    double keys[6] = {9, 5, 1, 4, 2, -9};
    int index[6] = {0, 1, 2, 3, 4, 5};
    sortAscendingWithIndex(keys, index, 1, 4);
    const double expectedKeys[6] = {9, 1, 2, 4, 5, -9};
    const int expectedIndex[6] = {0, 2, 4, 3, 1, 5};
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(keys[i], expectedKeys[i]);
        QCOMPARE(index[i], expectedIndex[i]);
    }
}

void TestTransform::sortLargeOrderedInputs_data()
{
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<bool>("reversed");
    QTest::newRow("ascending on sorted") << true << false;
    QTest::newRow("ascending on reverse sorted") << true << true;
    QTest::newRow("descending on sorted") << false << false;
    QTest::newRow("descending on reverse sorted") << false << true;
}

void TestTransform::sortLargeOrderedInputs()
{
    // A last-element pivot recursing into the left part would need a million stack frames here
    // and quadratic time; the sort must finish with bounded depth.
    QFETCH(bool, ascending);
    QFETCH(bool, reversed);
    const int n = 1000000;
    std::vector<double> keys(static_cast<size_t>(n));
    std::vector<int> index(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        keys[size_t(i)] = reversed ? double(n - i) : double(i);
        index[size_t(i)] = i;
    }
    if (ascending)
        sortAscendingWithIndex(keys.data(), index.data(), 0, n - 1);
    else
        sortDescendingWithIndex(keys.data(), index.data(), 0, n - 1);
    for (int i = 1; i < n; ++i) {
        if (ascending ? keys[size_t(i - 1)] > keys[size_t(i)] : keys[size_t(i - 1)] < keys[size_t(i)])
            QFAIL(qPrintable(QStringLiteral("out of order at %1").arg(i)));
    }
    const int firstIndex = (ascending != reversed) ? 0 : n - 1;
    QCOMPARE(index[0], firstIndex);
}

void TestTransform::sortNanKeys()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (bool ascending : {true, false}) {
        std::vector<double> keys{nan, 3, nan, 1, 2, nan, 0};
        const std::vector<double> original = keys;
        std::vector<int> index{0, 1, 2, 3, 4, 5, 6};
        if (ascending)
            sortAscendingWithIndex(keys.data(), index.data(), 0, 6);
        else
            sortDescendingWithIndex(keys.data(), index.data(), 0, 6);
        // The numbers come first, in order; the NaN keys last; every pair stays together.
        const std::vector<double> numbers = ascending ? std::vector<double>{0, 1, 2, 3}
                                                      : std::vector<double>{3, 2, 1, 0};
        for (size_t i = 0; i < 4; ++i)
            QCOMPARE(keys[i], numbers[i]);
        for (size_t i = 4; i < 7; ++i)
            QVERIFY(std::isnan(keys[i]));
        for (size_t i = 0; i < 7; ++i) {
            const double o = original[size_t(index[i])];
            QVERIFY(std::isnan(o) ? std::isnan(keys[i]) : o == keys[i]);
        }
    }
    // Only NaN.
    std::vector<double> keys(100, nan);
    std::vector<int> index(100);
    std::iota(index.begin(), index.end(), 0);
    sortAscendingWithIndex(keys.data(), index.data(), 0, 99);
    QCOMPARE(int(std::accumulate(index.begin(), index.end(), 0)), 4950);
}

QTEST_GUILESS_MAIN(TestTransform)
#include "tst_transform.moc"
