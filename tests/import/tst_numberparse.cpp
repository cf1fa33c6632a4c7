#include "import/numberparse.h"

#include <QTest>

#include <cfloat>
#include <cmath>
#include <cstring>

class tst_NumberParse final : public QObject
{
    Q_OBJECT

private slots:
    void statistic_data();
    void statistic();
    void position_data();
    void position();
    void parsingIgnoresTheProcessLocale();
};

void tst_NumberParse::statistic_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<float>("value");
    QTest::addColumn<bool>("notation"); // written as a C number at all

    QTest::newRow("zero") << QByteArray("0") << true << 0.0f << true;
    QTest::newRow("integer") << QByteArray("17") << true << 17.0f << true;
    QTest::newRow("leading zeros") << QByteArray("007") << true << 7.0f << true;
    QTest::newRow("minus") << QByteArray("-2.5") << true << -2.5f << true;
    QTest::newRow("plus") << QByteArray("+2.5") << true << 2.5f << true;
    QTest::newRow("trailing point") << QByteArray("1.") << true << 1.0f << true;
    QTest::newRow("leading point") << QByteArray(".5") << true << 0.5f << true;
    QTest::newRow("signed leading point") << QByteArray("-.5") << true << -0.5f << true;
    QTest::newRow("exponent") << QByteArray("1e5") << true << 1e5f << true;
    QTest::newRow("capital exponent") << QByteArray("1.5E2") << true << 150.0f << true;
    QTest::newRow("exponent plus") << QByteArray("2e+3") << true << 2000.0f << true;
    QTest::newRow("exponent minus") << QByteArray("2e-3") << true << 2e-3f << true;
    QTest::newRow("3e38") << QByteArray("3e38") << true << 3e38f << true;
    QTest::newRow("-3e38") << QByteArray("-3e38") << true << -3e38f << true;
    QTest::newRow("just below the float maximum") << QByteArray("3.4028234e38") << true << FLT_MAX << true;
    QTest::newRow("1e-300 becomes 0") << QByteArray("1e-300") << true << 0.0f << true;
    QTest::newRow("5.74e-50 becomes 0") << QByteArray("5.74e-50") << true << 0.0f << true;
    QTest::newRow("below double range becomes 0") << QByteArray("1e-400") << true << 0.0f << true;
    QTest::newRow("huge negative exponent") << QByteArray("1e-99999999999999999999") << true << 0.0f << true;
    QTest::newRow("zero with huge exponent") << QByteArray("0e99999") << true << 0.0f << true;
    QTest::newRow("denormal float") << QByteArray("1e-40") << true << 1e-40f << true;
    QTest::newRow("many digits") << QByteArray("0.12345678901234567890123") << true << 0.12345678901234567890123f << true;

    for (const char *text : {"4e38", "-4e38", "3.4028236e38", "1e400", "1e99999999999999999999"})
        QTest::addRow("out of range '%s'", text) << QByteArray(text) << false << 0.0f << true;
    const char *invalid[] = {"",     "NA",    "na",   "nan",  "NaN",  "-nan",   "inf",   "-inf",
                             "Inf",  "Infinity", "1,5", " 1",  "1 ",   "\t1",  "0x10",
                             "0X1p3", "1e",   "1e+",  "1e-",  "e5",   ".",      "-",     "+",
                             "+-1",  "--1",  "1.2.3", "1e5.5", "1e5e5", "1d5", "1f",   "\xef\xbc\x91",
                             "1_000", "٣"};
    for (const char *text : invalid)
        QTest::addRow("invalid '%s'", text) << QByteArray(text) << false << 0.0f << false;
}

void tst_NumberParse::statistic()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    QFETCH(float, value);
    QFETCH(bool, notation);
    const std::optional<float> parsed = quillmap::parseStatistic(text);
    QCOMPARE(parsed.has_value(), valid);
    QCOMPARE(quillmap::isCNumber(text), notation);
    if (valid) {
        QCOMPARE(*parsed, value);
        QCOMPARE(std::signbit(*parsed), std::signbit(value));
    }
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

QTEST_GUILESS_MAIN(tst_NumberParse)
#include "tst_numberparse.moc"
