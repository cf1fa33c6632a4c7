#include "dataset/chromosome.h"

#include <QTest>

using namespace quillmap;

using quillmap::ChromosomeSpelling;

class tst_Chromosome final : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void gene_data();
    void gene();
};

void tst_Chromosome::parse_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("exact"); // 0: no chromosome
    QTest::addColumn<int>("tool");

    for (int c = 1; c <= 23; ++c) {
        QTest::addRow("%d", c) << QString::number(c) << c << c;
        QTest::addRow("chr%d", c) << QStringLiteral("chr") + QString::number(c) << 0 << c;
    }
    QTest::newRow("X") << QStringLiteral("X") << 23 << 23;
    QTest::newRow("x") << QStringLiteral("x") << 0 << 23;
    QTest::newRow("chrX") << QStringLiteral("chrX") << 0 << 23;
    QTest::newRow("CHRX") << QStringLiteral("CHRX") << 0 << 23;
    QTest::newRow("Chr7") << QStringLiteral("Chr7") << 0 << 7;
    const char *neither[] = {"Y",          "chrY",
                             "XY",         "MT",
                             "chrM",       "M",
                             "PAR1",       "24",
                             "25",         "26",
                             "0",          "01",
                             "chr01",      "chr",
                             "chrchr1",    "",
                             " 1",         "1 ",
                             "+1",         "-1",
                             "1.0",        "X ",
                             "100",        "chr1_gl000191_random",
                             "GL000192.1", "chrUn_gl000220",
                             "X_PAR1"};
    for (const char *field : neither)
        QTest::addRow("'%s'", field) << QString::fromLatin1(field) << 0 << 0;
    QTest::newRow("fullwidth digit") << QStringLiteral("\uff11") << 0 << 0;
}

void tst_Chromosome::parse()
{
    QFETCH(QString, field);
    QFETCH(int, exact);
    QFETCH(int, tool);
    const QByteArray bytes = field.toUtf8();
    QCOMPARE(quillmap::parseChromosome(QStringView(field)).value_or(0), exact);
    QCOMPARE(quillmap::parseChromosome(QByteArrayView(bytes)).value_or(0), exact);
    QCOMPARE(quillmap::parseChromosome(QStringView(field), ChromosomeSpelling::Tool).value_or(0), tool);
    QCOMPARE(quillmap::parseChromosome(QByteArrayView(bytes), ChromosomeSpelling::Tool).value_or(0), tool);
    if (exact)
        QCOMPARE(quillmap::chromosomeName(exact), exact == 23 ? QStringLiteral("X") : field);
}

void tst_Chromosome::gene_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<qint64>("number");

    QTest::newRow("7") << QByteArray("7") << qint64(7);
    QTest::newRow("Chr7") << QByteArray("Chr7") << qint64(7);
    QTest::newRow("CHR7") << QByteArray("CHR7") << qint64(7);
    QTest::newRow("chrX") << QByteArray("chrX") << qint64(23);
    QTest::newRow("x") << QByteArray("x") << qint64(23);
    QTest::newRow("chrY is 0") << QByteArray("chrY") << qint64(0);
    QTest::newRow("every chr removed") << QByteArray("chr1chr2") << qint64(12);
    QTest::newRow("blanks around") << QByteArray(" 3 ") << qint64(3);
    QTest::newRow("any integer") << QByteArray("-3") << qint64(-3);
    QTest::newRow("beyond 32 bits x 1000") << QByteArray("2147484") << qint64(0);
}

void tst_Chromosome::gene()
{
    QFETCH(QByteArray, field);
    QFETCH(qint64, number);
    QCOMPARE(quillmap::geneChromosomeNumber(field), number);
}

QTEST_GUILESS_MAIN(tst_Chromosome)
#include "tst_chromosome.moc"
