#include "browse/tabletext.h"
#include "dataset/datasettables.h"
#include "dataset/regionsearch.h"
#include "support/regiondataset.h"

#include <QFile>
#include <QProcess>
#include <QXmlStreamReader>
#include <QtEndian>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// Two traits over five SNPs; tA has two hits 375,000 bp apart on chromosome 1.
TestDataset study()
{
    TestDataset d;
    d.statNames = {QStringLiteral("pvalue"), QStringLiteral("beta")};
    d.snps = {{u"rs1"_s, u"1"_s, 1.25, {}},
              {u"rs2"_s, u"1"_s, 1.625, {}},
              {u"rs3"_s, u"1"_s, 2.5, {}},
              {u"rs4"_s, u"2"_s, 0.5, {}},
              {u"rs5"_s, u"X"_s, 0.375, {}}};
    d.results = {{u"tA"_s, u"rs1"_s, {1e-9, 0.5}},   {u"tA"_s, u"rs2"_s, {1e-6, 0.4}},
                 {u"tA"_s, u"rs3"_s, {0.5, 0.1}},    {u"tA"_s, u"rs4"_s, {0.02, 0.2}},
                 {u"tA"_s, u"rs5"_s, {0.001, -0.3}}, {u"tB"_s, u"rs1"_s, {0.3, 1}},
                 {u"tB"_s, u"rs4"_s, {1e-12, 2}},    {u"tB"_s, u"rs5"_s, {0.9, 3}}};
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
    void traitOfManyParts();

private:
    QTemporaryDir m_dir;
    QString m_folder;
};

void QueryTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    std::shared_ptr<const quillmap::Dataset> loaded;
    const QString built = buildDataset(m_dir.path(), study(), loaded);
    QVERIFY2(built.isEmpty(), qPrintable(built));
    m_folder = datasetFolder(m_dir.path());

    // Four samples; rs2 as rs1, rs3 (known by its place) against them: allele counts 0,1,2,1;
    // 0,1,2,1; 2,2,0,2 (codes 00 10 11 10 and 11 11 00 11).
    QCOMPARE(
        writeLdFileset(m_dir.filePath(u"ld"_s),
                       "1\trs1\t0\t1250000\tA\tG\n1\trs2\t0\t1625000\tA\tG\n1\tother\t0\t2500000\tC\tT\n", 4,
                       "\xb8\xb8\xcf"),
        QString());
}

void QueryTest::commands_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("lines"); // all of stdout, or the lines it must hold
    QTest::addColumn<QString>("error");     // part of stderr

    // lambda_GC from the median p (0.001 and 0.3), computed independently.
    QTest::newRow("lambda") << QStringList{u"lambda"_s} << 0
                            << QStringList{u"trait\trows\tlambda_gc"_s, u"tA\t5\t23.8002"_s,
                                           u"tB\t3\t2.3612"_s}
                            << "";
    QTest::newRow("lambda of one trait")
        << QStringList{u"lambda"_s, u"--trait"_s, u"tB"_s} << 0
        << QStringList{u"trait\trows\tlambda_gc"_s, u"tB\t3\t2.3612"_s} << "";
    QTest::newRow("lambda of another statistic")
        << QStringList{u"lambda"_s, u"--stat=beta"_s} << 0
        << QStringList{u"trait\trows\tlambda_gc"_s, u"tA\t5\t2.5835"_s, u"tB\t3\t0.0000"_s} << "";
    QTest::newRow("top loci") << QStringList{u"top-loci"_s, u"--p"_s, u"0.01"_s} << 0
                              << QStringList{u"trait\tsnp\tchr\tpos\tp\tn"_s,
                                             u"tA\trs1\t1\t1250000\t1e-09\t2"_s,
                                             u"tA\trs5\tX\t375000\t0.001\t1"_s,
                                             u"tB\trs4\t2\t500000\t1e-12\t1"_s}
                              << "";
    QTest::newRow("top loci, window below the distance")
        << QStringList{u"top-loci"_s, u"--p"_s, u"1e-5"_s, u"--window"_s, u"374999"_s} << 0
        << QStringList{u"trait\tsnp\tchr\tpos\tp\tn"_s, u"tA\trs1\t1\t1250000\t1e-09\t1"_s,
                       u"tA\trs2\t1\t1625000\t1e-06\t1"_s, u"tB\trs4\t2\t500000\t1e-12\t1"_s}
        << "";
    QTest::newRow("trait") << QStringList{u"trait"_s, u"tA"_s} << 0
                           << QStringList{u"trait\tsnp\tChr\tPos\tpvalue\tbeta"_s,
                                          u"tA\trs1\t1\t1250000\t1e-09\t0.5"_s,
                                          u"tA\trs5\tX\t375000\t0.001\t-0.3"_s}
                           << "";
    QTest::newRow("region") << QStringList{u"region"_s, u"1"_s, u"1"_s} << 0
                            << QStringList{u"trait\tsnp\tChr\tPos\tpvalue\tbeta"_s,
                                           u"tA\trs2\t1\t1625000\t1e-06\t0.4"_s,
                                           u"tB\trs1\t1\t1250000\t0.3\t1"_s}
                            << "";
    // Across the bins of Mb 0 and 1, in position order, the trait best at rs1 (any case).
    QTest::newRow("locus") << QStringList{u"locus"_s, u"RS1"_s} << 0
                           << QStringList{u"trait\tsnp\tChr\tPos\tpvalue\tbeta\tr2"_s,
                                          u"tA\trs1\t1\t1250000\t1e-09\t0.5\tNA"_s,
                                          u"tA\trs2\t1\t1625000\t1e-06\t0.4\tNA"_s}
                           << "";
    QTest::newRow("locus with LD") << QStringList{u"locus"_s,    u"1:1300000"_s, u"--trait"_s, u"tA"_s,
                                                  u"--window"_s, u"2600000"_s,   u"--ld"_s,    u"@LD"_s}
                                   << 0
                                   << QStringList{u"trait\tsnp\tChr\tPos\tpvalue\tbeta\tr2"_s,
                                                  u"tA\trs1\t1\t1250000\t1e-09\t0.5\t1"_s,
                                                  u"tA\trs2\t1\t1625000\t1e-06\t0.4\t1"_s,
                                                  u"tA\trs3\t1\t2500000\t0.5\t0.1\t0.666667"_s}
                                   << "";
    // Every trait at rs1 (any case), the smallest p first; values read back as stored.
    QTest::newRow("snp") << QStringList{u"snp"_s, u"RS1"_s} << 0
                         << QStringList{u"trait\tgroups\tsnp\tpos\t-log10(p)\tpvalue\tbeta"_s,
                                        u"tA\t\trs1\t1250000\t9\t1e-09\t0.5"_s,
                                        u"tB\t\trs1\t1250000\t0.522879\t0.3\t1"_s}
                         << "SNP rs1 at chr1:1250000; 0 trait(s) without";
    QTest::newRow("snp not there") << QStringList{u"snp"_s, u"rs9"_s} << 1 << QStringList{} << "rs9";
    QTest::newRow("gene that is a SNP") << QStringList{u"gene"_s, u"rs1"_s} << 1 << QStringList{}
                                        << "rs1 is not a gene of the dataset's gene file";
    QTest::newRow("locus, window below its least")
        << QStringList{u"locus"_s, u"rs1"_s, u"--window"_s, u"100"_s} << 2 << QStringList{} << "--window";
    QTest::newRow("trait not there") << QStringList{u"trait"_s, u"ta"_s} << 1 << QStringList{}
                                     << "the trait ta is not in the dataset";
    QTest::newRow("region without SNPs") << QStringList{u"region"_s, u"chr3"_s, u"5"_s} << 1 << QStringList{}
                                         << "There are no SNPs in this region!";
    QTest::newRow("statistic not there") << QStringList{u"lambda"_s, u"--stat"_s, u"P"_s} << 1
                                         << QStringList{} << "the statistic P is not in the dataset";
    QTest::newRow("no command") << QStringList{} << 2 << QStringList{} << "Usage: quillmap-query";
    QTest::newRow("threshold of 0") << QStringList{u"top-loci"_s, u"--p"_s, u"0"_s} << 2 << QStringList{}
                                    << "--p takes";
    QTest::newRow("threshold nan") << QStringList{u"top-loci"_s, u"--p"_s, u"nan"_s} << 2 << QStringList{}
                                   << "--p takes";
    QTest::newRow("unknown option") << QStringList{u"lambda"_s, u"--window"_s, u"5"_s} << 2 << QStringList{}
                                    << "unknown option --window";
    QTest::newRow("plot without --out")
        << QStringList{u"plot"_s, u"trait"_s, u"tA"_s} << 2 << QStringList{} << "--out FILE";
    QTest::newRow("plot of a trait not there")
        << QStringList{u"plot"_s, u"trait"_s, u"tC"_s, u"--out"_s, u"x.svg"_s} << 1 << QStringList{}
        << "the trait tC is not in the dataset";
    QTest::newRow("plot, unknown transform")
        << QStringList{u"plot"_s, u"region"_s, u"1"_s, u"1"_s, u"--out=x.png"_s, u"--transform"_s, u"ln"_s}
        << 2 << QStringList{} << "--transform takes";
    QTest::newRow("plot, unknown transform lists both spellings")
        << QStringList{u"plot"_s, u"trait"_s, u"tA"_s, u"--out=x.png"_s, u"--transform"_s, u"log"_s} << 2
        << QStringList{} << "abs, or none, log10, -log10, log2, -log2";
    QTest::newRow("plot, significance line beyond 1")
        << QStringList{u"plot"_s, u"trait"_s, u"tA"_s, u"--out"_s, u"x.svg"_s, u"--sigline"_s, u"2"_s} << 2
        << QStringList{} << "--sigline takes";
    QTest::newRow("region of chromosome Y")
        << QStringList{u"region"_s, u"Y"_s, u"1"_s} << 2 << QStringList{} << "a region is";
}

void QueryTest::commands()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QStringList, lines);
    QFETCH(QString, error);
    QProcess process;
    args.replaceInStrings(u"@LD"_s, m_dir.filePath(u"ld"_s));
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
    const QString regionSvg = m_dir.filePath(QStringLiteral("region.svg"));
    for (const QStringList &args :
         {QStringList{u"plot"_s, u"trait"_s, u"tA"_s, u"--stat"_s, u"pvalue"_s, u"--transform"_s,
                      u"-log(10)"_s, u"--out"_s, svg},
          QStringList{u"plot"_s, u"region"_s, u"X"_s, u"0"_s, u"--out"_s, png, u"--width"_s, u"640"_s,
                      u"--height"_s, u"480"_s},
          QStringList{u"plot"_s, u"region"_s, u"1"_s, u"1"_s, u"--stat"_s, u"pvalue"_s,
                      u"--transform=-log10"_s, u"--out"_s, regionSvg},
          QStringList{u"plot"_s, u"snp"_s, u"rs1"_s, u"--out"_s, m_dir.filePath(u"snp.pdf"_s)}}) {
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
    // The region: its labels as text beside the legend naming both traits, under the short
    // spelling of -log(10).
    QFile region(regionSvg);
    QVERIFY(region.open(QIODevice::ReadOnly));
    const QByteArray regionText = region.readAll();
    QVERIFY(!regionText.contains("<image"));
    QVERIFY(regionText.contains(">tA</text>") && regionText.contains(">tB</text>"));
    QVERIFY(regionText.contains("-log10(pvalue)"));
    QFile picture(png);
    QVERIFY(picture.open(QIODevice::ReadOnly));
    const QByteArray head = picture.read(24);
    QVERIFY(head.startsWith("\x89PNG"));
    // Width and height of the IHDR chunk, big-endian.
    QCOMPARE(qFromBigEndian<quint32>(head.constData() + 16), 640u);
    QCOMPARE(qFromBigEndian<quint32>(head.constData() + 20), 480u);
}

void QueryTest::traitOfManyParts()
{
    // Enough rows for the listing to be read and written in several parts, each SNP placed and
    // valued apart: every row once, in table order, the header once.
    TestDataset d;
    d.statNames = {QStringLiteral("pvalue"), QStringLiteral("beta")};
    for (int k = 0; k < 30000; ++k) {
        const QString snp = QStringLiteral("rs%1").arg(k);
        d.snps.append({snp, QString::number(1 + k % 22), 0.001 + k * 0.004321, {}});
        d.results.append({u"tBig"_s, snp, {std::pow(10.0, -(k % 97) / 7.0), (k % 301) / 37.0 - 4}});
    }
    QTemporaryDir dir;
    std::shared_ptr<const quillmap::Dataset> loaded;
    const QString built = buildDataset(dir.path(), d, loaded);
    QVERIFY2(built.isEmpty(), qPrintable(built));
    const auto rows = quillmap::readTrait(*loaded, u"tBig"_s);
    QVERIFY(rows.ok());
    const quillmap::TableText text(loaded->tables());
    QByteArray expected = text.header();
    text.appendRows(*rows, 0, rows->count(), expected);
    QProcess process;
    process.start(QStringLiteral(QUILLMAP_QUERY), {datasetFolder(dir.path()), u"trait"_s, u"tBig"_s});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);
    const QByteArray got = process.readAllStandardOutput();
    QCOMPARE(got.count('\n'), 30001);
    QVERIFY(got == expected);
}

QTEST_GUILESS_MAIN(QueryTest)
#include "tst_query.moc"
