#include "dataset/ldreference.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <functional>

using namespace quillmap;
using namespace Qt::StringLiterals;

namespace {

// Allele counts per sample (of the second allele); -1 is a missing call.
using Genotypes = QList<int>;

// Ten samples (not a multiple of four, so the rows end in padding) over five variants.
const QList<Genotypes> Study = {
    {0, 1, 2, 0, 1, 2, 0, 1, 2, 1},   // v0
    {0, 1, 2, 0, 1, 2, 0, 1, 2, 1},   // v1: the same as v0
    {2, 1, 0, 2, 1, 0, 2, 1, 0, 1},   // v2: v0 counted from the other allele
    {0, -1, 2, 1, 1, 0, -1, 2, 2, 0}, // v3: missing calls
    {1, 1, 1, 1, 1, 1, 1, 1, 1, 1},   // v4: no variation
};

QByteArray bedOf(const QList<Genotypes> &variants)
{
    QByteArray bed("\x6c\x1b\x01", 3);
    for (const Genotypes &g : variants) {
        QByteArray row((g.size() + 3) / 4, '\0');
        for (int s = 0; s < g.size(); ++s) {
            const int code = g[s] < 0 ? 1 : (g[s] == 0 ? 0 : (g[s] == 1 ? 2 : 3));
            row[s / 4] = char(uchar(row[s / 4]) | (code << (2 * (s % 4))));
        }
        bed += row;
    }
    return bed;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), qint64(bytes.size()));
}

void writeFam(const QString &prefix, int samples)
{
    QByteArray fam;
    for (int s = 0; s < samples; ++s)
        fam += "F" + QByteArray::number(s) + " I" + QByteArray::number(s) + " 0 0 0 -9\n";
    writeFile(prefix + u".fam"_s, fam);
}

void writeStudy(const QString &prefix)
{
    writeFile(prefix + u".bim"_s,
              "1\trs0\t0\t1000\tA\tG\n1 rs1 0 2000 C T\n1\trs2\t0\t3000\tA\tG\n"
              "chr1\t1:4000\t0\t4000\tG\tT\n1\trs4\t0\t4000\tA\tC\n");
    writeFam(prefix, 10);
    writeFile(prefix + u".bed"_s, bedOf(Study));
}

// 150 samples, so that the bit planes span three words and end in part of one.
QList<Genotypes> wideStudy()
{
    QList<Genotypes> variants(4);
    for (int s = 0; s < 150; ++s) {
        variants[0] << s % 3;
        variants[1] << (s % 7 == 0 ? -1 : (s * s) % 3);
        variants[2] << (s % 5 == 0 ? 2 - s % 3 : s % 3);
        variants[3] << (s < 140 ? 0 : 1);
    }
    return variants;
}

// The squared correlation over samples called in both, computed plainly.
double referenceR2(const Genotypes &x, const Genotypes &y)
{
    double n = 0, sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
    for (int s = 0; s < x.size(); ++s) {
        if (x[s] < 0 || y[s] < 0)
            continue;
        ++n;
        sx += x[s];
        sy += y[s];
        sxx += x[s] * x[s];
        syy += y[s] * y[s];
        sxy += x[s] * y[s];
    }
    const double vx = n * sxx - sx * sx, vy = n * syy - sy * sy;
    return vx > 0 && vy > 0 ? std::pow(n * sxy - sx * sy, 2) / (vx * vy) : NAN;
}

} // namespace

class LdReferenceTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void r2AsCorrelation();
    void matching_data();
    void matching();
    void damagedFileset_data();
    void damagedFileset();

private:
    QTemporaryDir m_dir;
    QString m_prefix;
};

void LdReferenceTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_prefix = m_dir.filePath(u"study"_s);
    writeStudy(m_prefix);
}

void LdReferenceTest::r2AsCorrelation()
{
    const auto ld = LdReference::open(m_prefix);
    QVERIFY2(ld.ok(), qPrintable(ld.message()));
    QCOMPARE((*ld)->sampleCount(), 10);
    QCOMPARE((*ld)->variants().size(), size_t(5));
    for (int i = 0; i < 5; ++i) {
        const auto r2 = (*ld)->r2(i, {0, 1, 2, 3, 4, -1});
        QVERIFY(r2.ok());
        for (int j = 0; j < 5; ++j) {
            const double want = referenceR2(Study[i], Study[j]);
            const double got = (*r2)[size_t(j)];
            QVERIFY2(
                std::isnan(want) ? std::isnan(got) : std::fabs(got - want) < 1e-12,
                qPrintable(QStringLiteral("v%1 v%2: %3 instead of %4").arg(i).arg(j).arg(got).arg(want)));
        }
        QVERIFY(std::isnan(r2->back()));
    }
    QCOMPARE((*(*ld)->r2(0, {2}))[0], 1.0);

    const QString wide = m_dir.filePath(u"wide"_s);
    writeFile(wide + u".bim"_s,
              "1 w0 1.0 1000000 A G\n1 w1 1.5 1500000 A G\n1 w2 1.5 2000000 A G\n1 w3 3.5 3000000 A G\n");
    writeFam(wide, 150);
    writeFile(wide + u".bed"_s, bedOf(wideStudy()));
    const auto wideLd = LdReference::open(wide);
    QVERIFY2(wideLd.ok(), qPrintable(wideLd.message()));
    const auto r2 = (*wideLd)->r2(0, {0, 1, 2, 3});
    QVERIFY(r2.ok());
    for (int j = 0; j < 4; ++j)
        QVERIFY(std::fabs((*r2)[size_t(j)] - referenceR2(wideStudy()[0], wideStudy()[j])) < 1e-12);

    // cM/Mb from the variant at or before the window's start; none where the .bim has no cM.
    using Rates = std::vector<std::pair<qint64, double>>;
    QCOMPARE((*wideLd)->recombinationRates(1, 1600000, 2500000), (Rates{{1500000, 0.0}, {2000000, 2.0}}));
    QCOMPARE((*ld)->recombinationRates(1, 0, 5000), Rates{});
}

void LdReferenceTest::matching_data()
{
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<int>("chromosome");
    QTest::addColumn<qint64>("bp");
    QTest::addColumn<QByteArray>("a1");
    QTest::addColumn<QByteArray>("a2");
    QTest::addColumn<int>("variant");
    QTest::newRow("by ID") << QByteArray("rs2") << 0 << qint64(0) << QByteArray() << QByteArray() << 2;
    QTest::newRow("by place, one variant there")
        << QByteArray("x") << 1 << qint64(2000) << QByteArray() << QByteArray() << 1;
    QTest::newRow("by place and alleles swapped")
        << QByteArray("x") << 1 << qint64(4000) << QByteArray("C") << QByteArray("A") << 4;
    QTest::newRow("by place, chr prefix in the file")
        << QByteArray("x") << 1 << qint64(4000) << QByteArray("G") << QByteArray("T") << 3;
    QTest::newRow("two variants there, alleles unknown")
        << QByteArray("x") << 1 << qint64(4000) << QByteArray() << QByteArray() << -1;
    QTest::newRow("other alleles") << QByteArray("x") << 1 << qint64(1000) << QByteArray("A")
                                   << QByteArray("T") << -1;
    QTest::newRow("another chromosome")
        << QByteArray("x") << 2 << qint64(1000) << QByteArray() << QByteArray() << -1;
}

void LdReferenceTest::matching()
{
    QFETCH(QByteArray, id);
    QFETCH(int, chromosome);
    QFETCH(qint64, bp);
    QFETCH(QByteArray, a1);
    QFETCH(QByteArray, a2);
    const auto ld = LdReference::open(m_prefix);
    QVERIFY(ld.ok());
    QTEST((*ld)->find(id, chromosome, bp, a1, a2), "variant");
}

void LdReferenceTest::damagedFileset_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("individual-major .bed") << u".bed"_s << QByteArray("\x6c\x1b\x00", 3) + bedOf(Study).mid(3)
                                           << u"is not a variant-major PLINK .bed file."_s;
    QTest::newRow("truncated .bed") << u".bed"_s << bedOf(Study).chopped(1)
                                    << u"where 5 variants of 10 samples take 18."_s;
    QTest::newRow("short .bim line") << u".bim"_s << QByteArray("1 rs0 0 1000 A\n")
                                     << u"has a line 1 that is not a variant"_s;
    QTest::newRow("position not a number")
        << u".bim"_s << QByteArray("1 rs0 0 1e3 A G\n") << u"has a line 1 that is not a variant"_s;
}

void LdReferenceTest::damagedFileset()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    const QString prefix = m_dir.filePath(u"damaged"_s);
    writeStudy(prefix);
    writeFile(prefix + file, content);
    const auto ld = LdReference::open(prefix);
    QVERIFY(!ld.ok());
    QCOMPARE(ld.kind(), ErrorKind::Damaged);
    QVERIFY2(ld.message().contains(message), qPrintable(ld.message()));
    QFile::remove(prefix + u".fam"_s);
    QCOMPARE(LdReference::open(prefix).kind(), ErrorKind::MissingFile);
}

QTEST_GUILESS_MAIN(LdReferenceTest)
#include "tst_ldreference.moc"
