#include "import/numberparse.h"

#include <QTest>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

using namespace quillmap;

class tst_NumberParse final : public QObject
{
    Q_OBJECT

private slots:
    void statistic_data();
    void statistic();
    void negLog10_data();
    void negLog10();
    void position_data();
    void position();
    void parsingIgnoresTheProcessLocale();
    void shortNumbersConvertAsLongOnes();
};

void tst_NumberParse::statistic_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<float>("value");
    QTest::addColumn<bool>("notation"); // written as a C number at all
    QTest::addColumn<bool>("lost");     // a nonzero number kept as 0 or a subnormal

    QTest::newRow("zero") << QByteArray("0") << true << 0.0f << true << false;
    QTest::newRow("integer") << QByteArray("17") << true << 17.0f << true << false;
    QTest::newRow("leading zeros") << QByteArray("007") << true << 7.0f << true << false;
    QTest::newRow("minus") << QByteArray("-2.5") << true << -2.5f << true << false;
    QTest::newRow("plus") << QByteArray("+2.5") << true << 2.5f << true << false;
    QTest::newRow("trailing point") << QByteArray("1.") << true << 1.0f << true << false;
    QTest::newRow("leading point") << QByteArray(".5") << true << 0.5f << true << false;
    QTest::newRow("signed leading point") << QByteArray("-.5") << true << -0.5f << true << false;
    QTest::newRow("exponent") << QByteArray("1e5") << true << 1e5f << true << false;
    QTest::newRow("capital exponent") << QByteArray("1.5E2") << true << 150.0f << true << false;
    QTest::newRow("exponent plus") << QByteArray("2e+3") << true << 2000.0f << true << false;
    QTest::newRow("exponent minus") << QByteArray("2e-3") << true << 2e-3f << true << false;
    QTest::newRow("3e38") << QByteArray("3e38") << true << 3e38f << true << false;
    QTest::newRow("-3e38") << QByteArray("-3e38") << true << -3e38f << true << false;
    QTest::newRow("just below the float maximum")
        << QByteArray("3.4028234e38") << true << FLT_MAX << true << false;
    QTest::newRow("1e-300 becomes 0") << QByteArray("1e-300") << true << 0.0f << true << true;
    QTest::newRow("5.74e-50 becomes 0") << QByteArray("5.74e-50") << true << 0.0f << true << true;
    QTest::newRow("below double range becomes 0") << QByteArray("1e-400") << true << 0.0f << true << true;
    QTest::newRow("huge negative exponent")
        << QByteArray("1e-99999999999999999999") << true << 0.0f << true << true;
    QTest::newRow("zero with huge exponent") << QByteArray("0e99999") << true << 0.0f << true << false;
    QTest::newRow("denormal float") << QByteArray("1e-40") << true << 1e-40f << true << true;
    QTest::newRow("many digits") << QByteArray("0.12345678901234567890123") << true
                                 << 0.12345678901234567890123f << true << false;

    for (const char *text : {"4e38", "-4e38", "3.4028236e38", "1e400", "1e99999999999999999999"})
        QTest::addRow("out of range '%s'", text) << QByteArray(text) << false << 0.0f << true << false;
    const char *invalid[] = {
        "",   "NA",  "na",  "nan",   "NaN",   "-nan",  "inf", "-inf", "Inf",          "Infinity", "1,5",
        " 1", "1 ",  "\t1", "0x10",  "0X1p3", "1e",    "1e+", "1e-",  "e5",           ".",        "-",
        "+",  "+-1", "--1", "1.2.3", "1e5.5", "1e5e5", "1d5", "1f",   "\xef\xbc\x91", "1_000",    "٣"};
    for (const char *text : invalid)
        QTest::addRow("invalid '%s'", text) << QByteArray(text) << false << 0.0f << false << false;
}

void tst_NumberParse::statistic()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    QFETCH(float, value);
    QFETCH(bool, notation);
    QFETCH(bool, lost);
    bool wasLost = !lost;
    const std::optional<float> parsed = quillmap::parseStatistic(text, &wasLost);
    QCOMPARE(wasLost, lost);
    QCOMPARE(parsed.has_value(), valid);
    QCOMPARE(quillmap::isCNumber(text), notation);
    if (valid) {
        QCOMPARE(*parsed, value);
        QCOMPARE(std::signbit(*parsed), std::signbit(value));
    }
}

void tst_NumberParse::negLog10_data()
{
    using Status = quillmap::NegLog10::Status;
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("status");
    QTest::addColumn<double>("value");

    QTest::newRow("1") << QByteArray("1") << int(Status::Ok) << 0.0;
    QTest::newRow("1.000") << QByteArray("1.000") << int(Status::Ok) << 0.0;
    QTest::newRow("0.05") << QByteArray("0.05") << int(Status::Ok) << 1.3010299956639813;
    QTest::newRow("near 1") << QByteArray("0.999999999") << int(Status::Ok) << 4.342944821203991e-10;
    QTest::newRow("4.96e-99") << QByteArray("4.96e-99") << int(Status::Ok) << 98.30451832350980;
    QTest::newRow("smallest normal double")
        << QByteArray("2.2250738585072014e-308") << int(Status::Ok) << 307.6526555685888;
    QTest::newRow("subnormal double") << QByteArray("4.9e-324") << int(Status::Ok) << 323.3098039199715;
    QTest::newRow("3.5e-415") << QByteArray("3.5e-415") << int(Status::Ok) << 414.45593195564973;
    QTest::newRow("written out") << QByteArray(
        "0.00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000035")
                                 << int(Status::Ok) << 324.45593195564973;
    QTest::newRow("many digits") << QByteArray("1234567890123456789012345e-430") << int(Status::Ok)
                                 << 405.9084850227873;
    QTest::newRow("plus and capital E") << QByteArray("+1E-1000") << int(Status::Ok) << 1000.0;
    QTest::newRow("huge exponent") << QByteArray("1e-99999999999999999999") << int(Status::Ok) << 1e9;
    QTest::newRow("0") << QByteArray("0") << int(Status::Zero) << 0.0;
    QTest::newRow("0.0e-5") << QByteArray("0.0e-5") << int(Status::Zero) << 0.0;
    QTest::newRow("-0") << QByteArray("-0") << int(Status::Zero) << 0.0;
    QTest::newRow("negative") << QByteArray("-1e-5") << int(Status::OutOfRange) << 0.0;
    QTest::newRow("above 1") << QByteArray("1.0000001") << int(Status::OutOfRange) << 0.0;
    QTest::newRow("beyond double") << QByteArray("1e400") << int(Status::OutOfRange) << 0.0;
    for (const char *text : {"NA", ".", "", "nan", "inf", "1e", " 0.5"})
        QTest::addRow("'%s'", text) << QByteArray(text) << int(Status::NotANumber) << 0.0;
}

void tst_NumberParse::negLog10()
{
    QFETCH(QByteArray, text);
    QFETCH(int, status);
    QFETCH(double, value);
    const quillmap::NegLog10 got = quillmap::negLog10(text);
    QCOMPARE(int(got.status), status);
    if (value > 1e8)
        QVERIFY(got.value >= value);
    else
        QVERIFY2(std::fabs(got.value - value) <= 1e-12 * std::max(1.0, value),
                 qPrintable(QString::number(got.value, 'g', 17)));
    QVERIFY(!std::signbit(got.value));
}

void tst_NumberParse::position_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("value");

    QTest::newRow("12.5") << QByteArray("12.5") << true << 12.5;
    QTest::newRow("0.25") << QByteArray("0.25") << true << 0.25;
    QTest::newRow("-1.5") << QByteArray("-1.5") << true << -1.5;
    QTest::newRow("1.5e2") << QByteArray("1.5e2") << true << 150.0;
    QTest::newRow("123456.0") << QByteArray("123456.0") << true << 123456.0;
    QTest::newRow(".5") << QByteArray(".5") << true << 0.5;
    QTest::newRow("double precision kept") << QByteArray("12.9999999999") << true << 12.9999999999;
    QTest::newRow("12") << QByteArray("12") << false << 0.0;
    QTest::newRow("12.") << QByteArray("12.") << false << 0.0;
    QTest::newRow("12,5") << QByteArray("12,5") << false << 0.0;
    QTest::newRow("1e5") << QByteArray("1e5") << false << 0.0;
    QTest::newRow("1.e5") << QByteArray("1.e5") << false << 0.0;
    QTest::newRow("beyond float range") << QByteArray("3.5e38") << false << 0.0;
    QTest::newRow("blank") << QByteArray(" 1.5") << false << 0.0;
    QTest::newRow("NA") << QByteArray("NA") << false << 0.0;
    QTest::newRow("empty") << QByteArray() << false << 0.0;
}

void tst_NumberParse::position()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    QFETCH(double, value);
    const std::optional<double> parsed = quillmap::parsePosition(text);
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(*parsed, value);
}

void tst_NumberParse::parsingIgnoresTheProcessLocale()
{
    // A locale with a decimal comma must not change what a number is.
    const char *old = std::setlocale(LC_NUMERIC, nullptr);
    const QByteArray saved = old ? QByteArray(old) : QByteArray("C");
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
        QSKIP("no locale with a decimal comma installed");
    const std::optional<float> point = quillmap::parseStatistic("1.5");
    const std::optional<float> comma = quillmap::parseStatistic("1,5");
    std::setlocale(LC_NUMERIC, saved.constData());
    QVERIFY(point.has_value());
    QCOMPARE(*point, 1.5f);
    QVERIFY(!comma.has_value());
}

void tst_NumberParse::shortNumbersConvertAsLongOnes()
{
    // Numbers of up to 15 digits and exponents up to 22 take a direct conversion; it must give
    // what the full one gives on both sides of those limits and for every p-value form.
    std::mt19937_64 rng(7);
    const char *forms[] = {"%.*e", "%.*f", "%.*g", "-%.*e"};
    for (int k = 0; k < 400000; ++k) {
        const int digits = int(rng() % 18);
        const double magnitude = std::pow(10.0, double(int(rng() % 60) - 40));
        const double value = double(rng() >> 11) / double(1ULL << 53) * magnitude;
        char text[64];
        std::snprintf(text, sizeof text, forms[k % 4], digits, value);
        const double reference = std::strtod(text, nullptr);
        const std::optional<double> parsed = quillmap::parseDouble(text);
        QVERIFY2(parsed && std::memcmp(&*parsed, &reference, sizeof reference) == 0, text);
        const std::optional<float> stat = quillmap::parseStatistic(text);
        QVERIFY2(std::fabs(reference) > double(FLT_MAX) || (stat && *stat == float(reference)), text);
    }
}

QTEST_GUILESS_MAIN(tst_NumberParse)
#include "tst_numberparse.moc"
