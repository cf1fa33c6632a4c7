#include "browse/significance.h"

#include <QTest>

#include <cmath>
#include <cstring>
#include <random>

using namespace Qt::StringLiterals;
using namespace quillmap;

namespace {

// Candidate "id chr pos p" with the SNP index as id.
ClumpCandidate candidate(int id, int chromosome, qint64 bp, double p)
{
    return {id, chromosome, bp, p == 0.0 ? INFINITY : -std::log10(p), float(p)};
}

} // namespace

class SignificanceTest : public QObject
{
    Q_OBJECT

private slots:
    void pValueColumns_data();
    void pValueColumns();
    void plotAxes_data();
    void plotAxes();
    void chiSquare_data();
    void chiSquare();
    void lambda_data();
    void lambda();
    void scoresAndThresholds_data();
    void scoresAndThresholds();
    void clumping_data();
    void clumping();
    void qqPlot();
};

void SignificanceTest::pValueColumns_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("statistic");
    QTest::addColumn<bool>("negLog10");
    // A row's stored values and the lines its point's tooltip adds.
    QTest::addColumn<QList<float>>("values");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("-log10 before P") << QStringList{u"-log10(P)"_s, u"P"_s, u"BETA"_s} << 0 << true
                                     << QList<float>{9.0f, 0.0f, 0.5f}
                                     << QStringList{u"P: 1e-09"_s, u"BETA: 0.5"_s};
    QTest::newRow("-log10 beyond 64-bit exponents")
        << QStringList{u"-log10(P)"_s, u"P"_s, u"BETA"_s} << 0 << true << QList<float>{1e19f, 0.0f, 0.5f}
        << QStringList{u"P: 1e-9999999980506447872"_s, u"BETA: 0.5"_s};
    QTest::newRow("regenie LOG10P") << QStringList{u"BETA"_s, u"SE"_s, u"LOG10P"_s} << 2 << true
                                    << QList<float>{-0.25f, 0.1f, 2.0f}
                                    << QStringList{u"P: 0.01"_s, u"BETA: -0.25"_s};
    QTest::newRow("gwas-ssf") << QStringList{u"beta"_s, u"p_value"_s, u"neg_log_10_p_value"_s} << 2 << true
                              << QList<float>{1.5f, 0.0f, 50.0f}
                              << QStringList{u"P: 1e-50"_s, u"beta: 1.5"_s};
    QTest::newRow("plain p after beta")
        << QStringList{u"beta"_s, u"pvalue"_s} << 1 << false << QList<float>{0.125f, 0.5f}
        << QStringList{u"P: 0.5"_s, u"beta: 0.125"_s};
    QTest::newRow("P-value") << QStringList{u"OR"_s, u"P-value"_s} << 1 << false << QList<float>{1.5f, 2.0f}
                             << QStringList{u"OR: 1.5"_s}; // 2 is no p-value
    QTest::newRow("none") << QStringList{u"beta"_s, u"se"_s, u"pos"_s} << -1 << false
                          << QList<float>{0.2f, 0.1f, 5.0f} << QStringList{u"beta: 0.2"_s};
    QTest::newRow("neither") << QStringList{u"se"_s, u"tstat"_s} << -1 << false << QList<float>{0.2f, 2.0f}
                             << QStringList{};
}

void SignificanceTest::pValueColumns()
{
    QFETCH(QStringList, names);
    QFETCH(QList<float>, values);
    const PValueColumn column = findPValueColumn(names);
    QTEST(column.statistic, "statistic");
    QTEST(column.negLog10, "negLog10");
    QTEST(pointStatisticLines(names, [&](int statistic) { return values.value(statistic); }), "lines");
}

void SignificanceTest::plotAxes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("transform");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("negLog10P");
    QTest::newRow("p under -log(10)") << "P" << 2 << "-log10(P)" << true;
    QTest::newRow("p as stored") << "P" << 0 << "P" << false;
    QTest::newRow("p under log(10)") << "pval" << 1 << "log10(pval)" << false;
    QTest::newRow("-log10 column as stored") << "-log10(P)" << 0 << "-log10(P)" << true;
    QTest::newRow("regenie LOG10P under abs") << "LOG10P" << 5 << "abs(LOG10P)" << true;
    QTest::newRow("-log10 column under -log(10)") << "LOG10P" << 2 << "-log10(LOG10P)" << false;
    QTest::newRow("beta under -log(2)") << "BETA" << 4 << "-log2(BETA)" << false;
}

void SignificanceTest::plotAxes()
{
    QFETCH(QString, name);
    QFETCH(int, transform);
    QFETCH(bool, negLog10P);
    const PlotAxis axis = plotAxis(name, transform);
    QTEST(axis.title, "title");
    QCOMPARE(axis.negLog10P, negLog10P);
    const double line = significanceLineValue(axis, GenomeWideP);
    QCOMPARE(std::isnan(line), !negLog10P);
    if (negLog10P)
        QCOMPARE(line, -std::log10(5e-8));
    // What the user may type for the line's p-value.
    QCOMPARE(parsePValue(QStringLiteral(" 5e-8 ")), std::optional<double>(5e-8));
    for (const char *refused : {"0", "1.5", "inf", "nan", "+1e-8", "1e-400", "-0.01", "5e-8x"})
        QVERIFY2(!parsePValue(QString::fromLatin1(refused)), refused);
    // The same grammar without the range, as a window in bp is typed.
    QCOMPARE(parsePlainNumber(QStringLiteral("500000")), std::optional<double>(500000));
    for (const char *refused : {"1e400", "-1", "+5", "1e+5", ""})
        QVERIFY2(!parsePlainNumber(QString::fromLatin1(refused)), refused);
}

void SignificanceTest::chiSquare_data()
{
    QTest::addColumn<double>("score");
    QTest::addColumn<double>("expected");
    // Squared normal quantiles of p/2, computed independently.
    QTest::newRow("p 0.5") << -std::log10(0.5) << 0.4549364231195727;
    QTest::newRow("p 0.05") << -std::log10(0.05) << 3.8414588206941245;
    QTest::newRow("p 1e-8") << 8.0 << 32.84125336123678;
    QTest::newRow("p 1e-300") << 300.0 << 1373.8726312223935;
    QTest::newRow("p 0.999") << -std::log10(0.999) << 1.5707971492624934e-06;
}

void SignificanceTest::chiSquare()
{
    QFETCH(double, score);
    QFETCH(double, expected);
    QVERIFY2(std::fabs(chiSquareOfScore(score) - expected) < 1e-9 * expected,
             qPrintable(QString::number(chiSquareOfScore(score), 'g', 17)));
}

void SignificanceTest::lambda_data()
{
    QTest::addColumn<QList<double>>("pValues");
    QTest::addColumn<double>("expected");
    QTest::newRow("odd: the median p is 0.5") << QList<double>{0.05, 0.5, 0.9} << 1.0000000000000002;
    QTest::newRow("even: mean of the middle chi-squares") << QList<double>{0.01, 0.05} << 11.514087342004045;
    QTest::newRow("median among ties") << QList<double>{0.05, 1e-8, 1e-8, 0.05, 1e-8} << 72.1886656953932;
    QTest::newRow("one value") << QList<double>{0.2} << 3.6101185389549375;
}

void SignificanceTest::lambda()
{
    QFETCH(QList<double>, pValues);
    QFETCH(double, expected);
    std::vector<double> scores;
    for (const double p : pValues)
        scores.push_back(-std::log10(p));
    QVERIFY(std::fabs(lambdaGc(scores) - expected) < 1e-9 * expected);
    // The same values stored as -log10 p give the same lambda.
    std::vector<double> stored;
    for (const double p : pValues)
        stored.push_back(scoreOf(float(-std::log10(p)), true));
    QVERIFY(std::fabs(lambdaGc(stored) - expected) < 1e-5 * expected);
}

void SignificanceTest::scoresAndThresholds_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<bool>("negLog10");
    QTest::addColumn<bool>("isP");
    QTest::addColumn<bool>("meets"); // at 5e-8
    QTest::newRow("p at the threshold") << 5e-8f << false << true << true;
    QTest::newRow("p above") << 6e-8f << false << true << false;
    QTest::newRow("p zero") << 0.0f << false << true << true;
    QTest::newRow("p above one") << 1.5f << false << false << false;
    QTest::newRow("p negative") << -0.1f << false << false << false;
    QTest::newRow("p NaN") << NAN << false << false << false;
    QTest::newRow("-log10 beyond the float range") << 414.45f << true << true << true;
    QTest::newRow("-log10 below") << 7.0f << true << true << false;
    QTest::newRow("-log10 negative") << -1.0f << true << false << false;
}

void SignificanceTest::scoresAndThresholds()
{
    QFETCH(float, value);
    QFETCH(bool, negLog10);
    QTEST(!std::isnan(scoreOf(value, negLog10)), "isP");
    QTEST(meetsThreshold(value, negLog10, 5e-8), "meets");
}

void SignificanceTest::clumping_data()
{
    QTest::addColumn<QList<ClumpCandidate>>("candidates");
    QTest::addColumn<qint64>("window");
    QTest::addColumn<QStringList>("loci"); // "lead:count", in the order found
    QTest::newRow("window edges are inclusive")
        << QList<ClumpCandidate>{candidate(1, 1, 1000000, 1e-12), candidate(2, 1, 1500000, 1e-9),
                                 candidate(3, 1, 500000, 1e-9), candidate(4, 1, 1500001, 1e-9),
                                 candidate(5, 1, 499999, 1e-10)}
        << qint64(500000) << QStringList{u"1:3"_s, u"5:1"_s, u"4:1"_s};
    QTest::newRow("equal p: genome order leads")
        << QList<ClumpCandidate>{candidate(1, 2, 100, 1e-9), candidate(2, 1, 5000000, 1e-9),
                                 candidate(3, 1, 4800000, 1e-9)}
        << qint64(500000) << QStringList{u"3:2"_s, u"1:1"_s};
    QTest::newRow("same position on another chromosome stays")
        << QList<ClumpCandidate>{candidate(1, 22, 50000000, 1e-9), candidate(2, 23, 50000000, 1e-10),
                                 candidate(3, 1, 248000000, 1e-8), candidate(4, 2, 100, 1e-8)}
        << qint64(500000) << QStringList{u"2:1"_s, u"1:1"_s, u"3:1"_s, u"4:1"_s};
    QTest::newRow("a dropped SNP drops nothing")
        << QList<ClumpCandidate>{candidate(1, 1, 1000000, 1e-20), candidate(2, 1, 1400000, 1e-15),
                                 candidate(3, 1, 1800000, 1e-10)}
        << qint64(500000) << QStringList{u"1:2"_s, u"3:1"_s};
    QTest::newRow("window 0 joins one position")
        << QList<ClumpCandidate>{candidate(1, 1, 100, 1e-9), candidate(2, 1, 100, 1e-8),
                                 candidate(3, 1, 101, 1e-8)}
        << qint64(0) << QStringList{u"1:2"_s, u"3:1"_s};
    QTest::newRow("p = 0 leads") << QList<ClumpCandidate>{candidate(1, 5, 10, 1e-300),
                                                          candidate(2, 5, 20, 0.0)}
                                 << qint64(500000) << QStringList{u"2:2"_s};
    QTest::newRow("none") << QList<ClumpCandidate>{} << qint64(500000) << QStringList{};
}

void SignificanceTest::clumping()
{
    QFETCH(QList<ClumpCandidate>, candidates);
    QFETCH(qint64, window);
    std::vector<ClumpCandidate> input(candidates.cbegin(), candidates.cend());
    QStringList found;
    for (const Locus &locus : clumpLoci(input, window))
        found << QStringLiteral("%1:%2").arg(locus.lead.snpIndex).arg(locus.count);
    QTEST(found, "loci");
}

void SignificanceTest::qqPlot()
{
    // Uniform p-values: points on the diagonal, lambda near 1, the band around the diagonal.
    const int n = 1000;
    std::vector<double> scores;
    scores.reserve(n);
    for (int i = 0; i < n; ++i)
        scores.push_back(-std::log10((i + 0.5) / n));
    const QqPlotData qq = qqPlotData(scores, 0.0);
    QCOMPARE(qq.count, qint64(n));
    QCOMPARE(qq.expected.size(), size_t(n));
    for (size_t i = 0; i < qq.expected.size(); ++i)
        QVERIFY(std::fabs(qq.expected[i] - qq.observed[i]) < 1e-12);
    QVERIFY(std::fabs(qq.lambda - 1.0) < 0.01);
    // Rank 1 of 1000 is Beta(1, 1000): quantiles 1 - (1 - q)^(1/1000).
    QCOMPARE(qq.bandExpected.back(), -std::log10(0.5 / n));
    QVERIFY(std::fabs(qq.bandLower.back() + std::log10(0.00368208389686564)) < 1e-9);
    QVERIFY(std::fabs(qq.bandUpper.back() + std::log10(2.5317487491238744e-05)) < 1e-9);
    // Thinning keeps the ends and drops points closer than the step.
    const QqPlotData thin = qqPlotData(scores, 0.05);
    QVERIFY(thin.expected.size() < 100);
    QCOMPARE(thin.observed.front(), qq.observed.front());
    QCOMPARE(thin.observed.back(), qq.observed.back());
    // Each kept point is as far from the one before as the step asks; the expected values are
    // those of their ranks.
    for (size_t k = 1; k + 1 < thin.expected.size(); ++k)
        QVERIFY(thin.expected[k - 1] - thin.expected[k] >= 0.05
                || std::fabs(thin.observed[k - 1] - thin.observed[k]) >= 0.05);
    QVERIFY(std::isnan(qqPlotData({}).lambda));
    // Scores in any order, with ties, p = 0 (infinite score) and p = 1 written as -0: observed
    // descending, the infinite one drawn at the largest finite score.
    const QqPlotData mixed = qqPlotData({0.5, -0.0, qInf(), 3.0, 0.5, 0.0, 12.25}, 0.0);
    QCOMPARE(mixed.observed, (std::vector<double>{12.25, 12.25, 3.0, 0.5, 0.5, 0.0, 0.0}));
    QCOMPARE(mixed.maxObserved, 12.25);
    // Stored values give what their scores give, for p and for -log10 p columns alike: ties,
    // 0 and -0, 1, and thousands of random ones, bit for bit.
    std::mt19937 rng(3);
    for (const bool negLog10 : {false, true}) {
        std::vector<float> values = negLog10
            ? std::vector<float>{0.0f, -0.0f, 3.5f, 3.5f, 300.0f}
            : std::vector<float>{1.0f, 0.0f, -0.0f, 0.5f, 0.5f, 1e-30f, 1e-45f};
        for (int i = 0; i < 20000; ++i)
            values.push_back(negLog10 ? std::uniform_real_distribution<float>(0.0f, 40.0f)(rng)
                                      : std::uniform_real_distribution<float>(0.0f, 1.0f)(rng));
        std::vector<double> valueScores;
        for (const float v : values)
            valueScores.push_back(scoreOf(v, negLog10));
        const QqPlotData byScore = qqPlotData(valueScores, 0.005);
        const QqPlotData byValue = qqPlotOfValues(values, negLog10, 0.005);
        QCOMPARE(byValue.count, byScore.count);
        QCOMPARE(std::memcmp(&byValue.lambda, &byScore.lambda, sizeof(double)), 0);
        QCOMPARE(byValue.expected, byScore.expected);
        QCOMPARE(byValue.observed.size(), byScore.observed.size());
        QCOMPARE(std::memcmp(byValue.observed.data(), byScore.observed.data(), byScore.observed.size() * 8),
                 0);
    }
}

QTEST_GUILESS_MAIN(SignificanceTest)
#include "tst_significance.moc"
