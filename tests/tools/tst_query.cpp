#include "support/regiondataset.h"

#include <QFile>
#include <QProcess>
#include <QXmlStreamReader>
#include <QtEndian>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Two traits over five SNPs; tA has two hits 375,000 bp apart on chromosome 1.
TestDataset study()
{
    TestDataset d;
    d.statNames = {QStringLiteral("pvalue"), QStringLiteral("beta")};
    d.snps = {{"rs1", "1", 1.25, {}},
              {"rs2", "1", 1.625, {}},
              {"rs3", "1", 2.5, {}},
              {"rs4", "2", 0.5, {}},
              {"rs5", "X", 0.375, {}}};
    d.results = {{"tA", "rs1", {1e-9, 0.5}}, {"tA", "rs2", {1e-6, 0.4}},   {"tA", "rs3", {0.5, 0.1}},
                 {"tA", "rs4", {0.02, 0.2}}, {"tA", "rs5", {0.001, -0.3}}, {"tB", "rs1", {0.3, 1}},
                 {"tB", "rs4", {1e-12, 2}},  {"tB", "rs5", {0.9, 3}}};
    return d;
}

} // namespace

class QueryTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commands_data();
    void commands();
    void plotsAsTheWindowDraws();

private:
    QTemporaryDir m_dir;
    QString m_folder;
};

void QueryTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString built = buildDataset(m_dir.path(), study());
    QVERIFY2(built.isEmpty(), qPrintable(built));
    m_folder = datasetFolder(m_dir.path());
}

void QueryTest::commands_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("lines"); // all of stdout, or the lines it must hold
    QTest::addColumn<QString>("error");     // part of stderr

    // lambda_GC from the median p (0.001 and 0.3), computed independently.
    QTest::newRow("lambda") << QStringList{"lambda"} << 0
                            << QStringList{"trait\trows\tlambda_gc", "tA\t5\t23.8002", "tB\t3\t2.3612"} << "";
    QTest::newRow("lambda of one trait") << QStringList{"lambda", "--trait", "tB"} << 0
                                         << QStringList{"trait\trows\tlambda_gc", "tB\t3\t2.3612"} << "";
    QTest::newRow("lambda of another statistic")
        << QStringList{"lambda", "--stat=beta"} << 0
        << QStringList{"trait\trows\tlambda_gc", "tA\t5\t2.5835", "tB\t3\t0.0000"} << "";
    QTest::newRow("top loci") << QStringList{"top-loci", "--p", "0.01"} << 0
                              << QStringList{"trait\tsnp\tchr\tpos\tp\tn", "tA\trs1\t1\t1250000\t1e-09\t2",
                                             "tA\trs5\tX\t375000\t0.001\t1", "tB\trs4\t2\t500000\t1e-12\t1"}
                              << "";
    QTest::newRow("top loci, window below the distance")
        << QStringList{"top-loci", "--p", "1e-5", "--window", "374999"} << 0
        << QStringList{"trait\tsnp\tchr\tpos\tp\tn", "tA\trs1\t1\t1250000\t1e-09\t1",
                       "tA\trs2\t1\t1625000\t1e-06\t1", "tB\trs4\t2\t500000\t1e-12\t1"}
        << "";
    QTest::newRow("trait") << QStringList{"trait", "tA"} << 0
                           << QStringList{"trait\tsnp\tChr\tPos\tpvalue\tbeta",
                                          "tA\trs1\t1\t1250000\t1e-09\t0.5",
                                          "tA\trs5\tX\t375000\t0.001\t-0.3"}
                           << "";
    QTest::newRow("region") << QStringList{"region", "1", "1"} << 0
                            << QStringList{"trait\tsnp\tChr\tPos\tpvalue\tbeta",
                                           "tA\trs2\t1\t1625000\t1e-06\t0.4", "tB\trs1\t1\t1250000\t0.3\t1"}
                            << "";
    QTest::newRow("trait not there") << QStringList{"trait", "ta"} << 1 << QStringList{}
                                     << "the trait ta is not in the dataset";
    QTest::newRow("region without SNPs")
        << QStringList{"region", "chr3", "5"} << 1 << QStringList{} << "There are no SNPs in this region!";
    QTest::newRow("statistic not there") << QStringList{"lambda", "--stat", "P"} << 1 << QStringList{}
                                         << "the statistic P is not in the dataset";
    QTest::newRow("no command") << QStringList{} << 2 << QStringList{} << "Usage: quillmap-query";
    QTest::newRow("threshold of 0") << QStringList{"top-loci", "--p", "0"} << 2 << QStringList{}
                                    << "--p takes";
    QTest::newRow("threshold nan") << QStringList{"top-loci", "--p", "nan"} << 2 << QStringList{}
                                   << "--p takes";
    QTest::newRow("unknown option") << QStringList{"lambda", "--window", "5"} << 2 << QStringList{}
                                    << "unknown option --window";
    QTest::newRow("plot without --out")
        << QStringList{"plot", "trait", "tA"} << 2 << QStringList{} << "--out FILE";
    QTest::newRow("plot of a trait not there") << QStringList{"plot", "trait", "tC", "--out", "x.svg"} << 1
                                               << QStringList{} << "the trait tC is not in the dataset";
    QTest::newRow("plot, unknown transform")
        << QStringList{"plot", "region", "1", "1", "--out=x.png", "--transform", "ln"} << 2 << QStringList{}
        << "--transform takes";
    QTest::newRow("plot, significance line beyond 1")
        << QStringList{"plot", "trait", "tA", "--out", "x.svg", "--sigline", "2"} << 2 << QStringList{}
        << "--sigline takes";
    QTest::newRow("region of chromosome Y")
        << QStringList{"region", "Y", "1"} << 2 << QStringList{} << "a region is";
}

void QueryTest::commands()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QStringList, lines);
    QFETCH(QString, error);
    QProcess process;
    process.start(QStringLiteral(QUILLMAP_QUERY), args.isEmpty() ? args : QStringList{m_folder} + args);
    QVERIFY(process.waitForFinished(60000));
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(process.exitCode() == exitCode, qPrintable(err));
    QVERIFY2(err.contains(error), qPrintable(err));
    const QStringList got = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (exitCode != 0) {
        QVERIFY(got.isEmpty());
        return;
    }
    QCOMPARE(got.value(0), lines.value(0));
    // Listings of every row in full; the rows of a trait or region in any order.
    if (args.value(0) == u"trait" || args.value(0) == u"region") {
        for (const QString &line : lines)
            QVERIFY2(got.contains(line), qPrintable(out));
    } else {
        QCOMPARE(got, lines);
    }
}

void QueryTest::plotsAsTheWindowDraws()
{
    const QString svg = m_dir.filePath(QStringLiteral("trait.svg"));
    const QString png = m_dir.filePath(QStringLiteral("region.png"));
    for (const QStringList &args :
         {QStringList{"plot", "trait", "tA", "--stat", "pvalue", "--transform", "-log(10)", "--out", svg},
          QStringList{"plot", "region", "X", "0", "--out", png, "--width", "640", "--height", "480"}}) {
        QProcess process;
        process.start(QStringLiteral(QUILLMAP_QUERY), QStringList{m_folder} + args);
        QVERIFY(process.waitForFinished(60000));
        QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
    }
    QFile file(svg);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    int elements = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        elements += xml.isStartElement() ? 1 : 0;
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY(elements > 10);
    // The y axis names the statistic and its transform.
    file.seek(0);
    QVERIFY(file.readAll().contains("-log10(pvalue)"));
    QFile picture(png);
    QVERIFY(picture.open(QIODevice::ReadOnly));
    const QByteArray head = picture.read(24);
    QVERIFY(head.startsWith("\x89PNG"));
    // Width and height of the IHDR chunk, big-endian.
    QCOMPARE(qFromBigEndian<quint32>(head.constData() + 16), 640u);
    QCOMPARE(qFromBigEndian<quint32>(head.constData() + 20), 480u);
}

QTEST_GUILESS_MAIN(QueryTest)
#include "tst_query.moc"
