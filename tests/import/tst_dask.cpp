// quillmap-dask against quillmap-index: the same folder byte for byte, the same exit status
// and the same messages, on a 2-worker local cluster.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray err;
};

Run run(const QString &program, const QStringList &args, const QByteArray &die = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!die.isEmpty())
        env.insert(QStringLiteral("QUILLMAP_DASK_TEST_DIE"), QString::fromUtf8(die));
    process.setProcessEnvironment(env);
    process.start(program, args);
    Run result;
    if (process.waitForFinished(300000) && process.exitStatus() == QProcess::NormalExit) {
        result.exitCode = process.exitCode();
        result.err = process.readAllStandardError();
    }
    return result;
}

// Every entry of a folder, hidden ones included, with its bytes.
QMap<QString, QByteArray> folder(const QString &path)
{
    QMap<QString, QByteArray> files;
    const QDir dir(path);
    for (const QString &name : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        QFile file(dir.filePath(name));
        // The caches name their sources' inodes and times: only that both routes wrote them.
        if (name == u"SNPinfo.idx" || name == u"trait_summaries.dat")
            files.insert(name, "<cache>");
        else
            files.insert(name, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<not a file>"));
    }
    return files;
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

const QByteArray Snps = "SNP\tCHR\tPOS\textra\nrs1\t1\t12.3\ta\nrs2\tX\t0.5\tb\nrs3\t23\t1.5\tc\n"
                        "rs4\t2\t7.25\td\nrs5\t1\t12.9\te\nrs\xc3\xb8\t3\t1.0\tf\n";
const QByteArray Traits = "trait\tdesc\nT\xe6\xbc\xa2\xe5\xad\x97\tx\nT\xc3\xa5\ty\nT1\tz\n";

// Forty lines over three traits (two with multi-byte names) and six SNPs; CRLF on some lines.
QByteArray results(int badLine = 0, const QByteArray &bad = {})
{
    const QByteArray traits[] = {"T\xe6\xbc\xa2\xe5\xad\x97", "T\xc3\xa5", "T1"};
    const QByteArray snps[] = {"rs1", "rs2", "rs3", "rs4", "rs5", "rs\xc3\xb8"};
    QByteArray text = "trait\tsnp\tp\tbeta\n";
    for (int i = 1; i <= 40; ++i) {
        if (i == badLine) {
            text += bad;
            continue;
        }
        text += traits[(i * 7) % 3] + '\t' + snps[(i * 5) % 6] + '\t'
            + (i == 3 ? QByteArray("1e-300") : QByteArray::number(i * 0.125)) + '\t' + QByteArray::number(-i)
            + (i % 4 == 0 ? "\r\n" : "\n");
    }
    return text;
}

// Good inputs in `dir`: the options before the folder, --out last.
QStringList goodInputs(const QTemporaryDir &dir)
{
    const QString r = dir.filePath(QStringLiteral("results.txt"));
    const QString s = dir.filePath(QStringLiteral("snps.txt"));
    const QString t = dir.filePath(QStringLiteral("traits.txt"));
    writeAll(r, results());
    writeAll(s, Snps);
    writeAll(t, Traits);
    return {u"--results"_s, r, u"--snps"_s, s, u"--traits"_s, t, u"--no-register"_s, u"--out"_s};
}

} // namespace

class tst_Dask final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void sameAsIndexer_data();
    void sameAsIndexer();
    void exampleStudy();
    void failures_data();
    void failures();

private:
    QProcess m_cluster;
    QString m_address;
};

void tst_Dask::initTestCase()
{
    if (QProcess::execute(QStringLiteral("/usr/bin/python3"),
                          {QStringLiteral("-c"), QStringLiteral("import distributed")})
        != 0)
        QSKIP("python3-distributed is not installed");
    // One cluster for all cases: a cluster's start costs seconds.
    m_cluster.start(QStringLiteral(QUILLMAP_DASK), {QStringLiteral("--serve"), QStringLiteral("2")});
    QVERIFY(m_cluster.waitForReadyRead(120000));
    m_address = QString::fromUtf8(m_cluster.readLine().trimmed());
    QVERIFY2(m_address.startsWith(QLatin1String("tcp://")), qPrintable(m_address));
}

void tst_Dask::cleanupTestCase()
{
    if (m_cluster.state() == QProcess::NotRunning)
        return;
    m_cluster.closeWriteChannel();
    if (!m_cluster.waitForFinished(30000))
        m_cluster.kill();
}

void tst_Dask::sameAsIndexer_data()
{
    QTest::addColumn<QByteArray>("results");
    QTest::addColumn<QByteArray>("snps");
    QTest::addColumn<QByteArray>("traits");
    QTest::addColumn<QByteArray>("die"); // a step whose worker dies midway
    QTest::addColumn<int>("exitCode");

    const QByteArray good = results();
    QTest::newRow("good") << good << Snps << Traits << QByteArray() << 0;
    QTest::newRow("workers die parsing and placing")
        << good << Snps << Traits << QByteArray("parse-2,place-1") << 0;
    QTest::newRow("a step's process killed once") << good << Snps << Traits << QByteArray("killed:bins") << 0;
    QTest::newRow("columns") << results(31, "T1\trs1\t1\t2\t3\n") << Snps << Traits << QByteArray() << 1;
    QTest::newRow("number") << results(22, "T1\trs1\tNA\t2\n") << Snps << Traits << QByteArray() << 1;
    QTest::newRow("carriage return") << results(17, "T1\r\trs1\t1\t2\n") << Snps << Traits << QByteArray()
                                     << 1;
    QTest::newRow("blank line") << results(40, "\n\n") << Snps << Traits << QByteArray() << 1;
    QTest::newRow("no data lines") << QByteArray("trait\tsnp\tp\n") << Snps << Traits << QByteArray() << 1;
    QTest::newRow("two columns") << QByteArray("trait\tsnp\nT1\trs1\n") << Snps << Traits << QByteArray()
                                 << 1;
    QTest::newRow("utf-16") << QByteArray("\xff\xfet\0r\0") << Snps << Traits << QByteArray() << 1;
    QTest::newRow("trait information") << good << Snps << Traits + "T2\n" << QByteArray() << 1;
    QTest::newRow("snp columns") << good << Snps + "rs9\t1\n" << Traits << QByteArray() << 1;
    QTest::newRow("snp chromosome") << good << Snps + "rs9\tchr1\t1.5\tg\n" << Traits << QByteArray() << 1;
    QTest::newRow("snp position") << good << Snps + "rs9\t1\t15\tg\n" << Traits << QByteArray() << 1;
    QTest::newRow("snp bin") << good << Snps + "rs9\tX\t9999.5\tg\n" << Traits << QByteArray() << 1;
    QTest::newRow("snp missing") << good << QByteArray(Snps).replace("rs4\t", "rs0\t") << Traits
                                 << QByteArray() << 1;
    QTest::newRow("missing input") << QByteArray() << Snps << Traits << QByteArray() << 2;
}

// Each folder first holds an earlier dataset, so what a failure leaves of it is compared too.
// Ranges of 37 bytes cut lines and multi-byte characters; a failing build takes fewer, of 97
// (lines are still cut, and the failing line is numbered across ranges).
void tst_Dask::sameAsIndexer()
{
    QFETCH(QByteArray, results);
    QFETCH(QByteArray, snps);
    QFETCH(QByteArray, traits);
    QFETCH(QByteArray, die);
    QFETCH(int, exitCode);
    QTemporaryDir dir;
    const QString r = dir.filePath(QStringLiteral("results.txt"));
    const QString s = dir.filePath(QStringLiteral("snps.txt"));
    const QString t = dir.filePath(QStringLiteral("traits.txt"));
    const QStringList inputs = goodInputs(dir);
    const QString single = dir.filePath(QStringLiteral("single"));
    const QString dask = dir.filePath(QStringLiteral("dask"));
    QCOMPARE(run(QStringLiteral(QUILLMAP_INDEXER), inputs + QStringList{single}).exitCode, 0);
    QCOMPARE(run(QStringLiteral(QUILLMAP_INDEXER), inputs + QStringList{dask}).exitCode, 0);

    if (results.isEmpty())
        QVERIFY(QFile::remove(r));
    else
        writeAll(r, results);
    writeAll(s, snps);
    writeAll(t, traits);
    if (QTest::currentDataTag() == QByteArray("good")) {
        const QByteArray text = ::results();
        bool inLine = false;
        bool inCharacter = false;
        for (qsizetype at = 37; at < text.size(); at += 37) {
            inLine = inLine || text.at(at - 1) != '\n';
            inCharacter = inCharacter || (uchar(text.at(at)) & 0xC0) == 0x80;
        }
        QVERIFY(inLine && inCharacter);
    }
    const Run expected = run(QStringLiteral(QUILLMAP_INDEXER), inputs + QStringList{single});
    const Run got = run(
        QStringLiteral(QUILLMAP_DASK),
        QStringList{u"--scheduler"_s, m_address, u"--chunk"_s, exitCode == 0 ? u"37"_s : u"97"_s} + inputs
            + QStringList{dask},
        die);
    QCOMPARE(expected.exitCode, exitCode);
    QCOMPARE(got.exitCode, expected.exitCode);
    QVERIFY2(got.err == expected.err, got.err.constData());
    QCOMPARE(folder(dask), folder(single));
    for (QByteArray step : die.split(',')) {
        // A bare step is "died:STEP"; the seam leaves .KIND-STEP behind.
        step = QByteArray('.' + (step.contains(':') ? step : "died:" + step)).replace(':', '-');
        QVERIFY(die.isEmpty() || QFile::exists(dir.filePath(QString::fromUtf8(step))));
    }
}

// The example study; local:N starts and ends its own cluster (once: a start costs seconds), and
// a gzip results file is read by one task.
void tst_Dask::exampleStudy()
{
    QTemporaryDir dir;
    const QString examples = QStringLiteral(QUILLMAP_EXAMPLES "/");
    const QString gzipped = dir.filePath(QStringLiteral("results.txt.gz"));
    QProcess gzip;
    gzip.setStandardOutputFile(gzipped);
    gzip.start(QStringLiteral("gzip"), {QStringLiteral("-c"), examples + QStringLiteral("results.txt")});
    QVERIFY(gzip.waitForFinished() && gzip.exitCode() == 0);
    for (const QString &results : {examples + QStringLiteral("results.txt"), gzipped}) {
        const QStringList inputs = {u"--results"_s, results,
                                    u"--snps"_s,    examples + QStringLiteral("snp_info.txt"),
                                    u"--traits"_s,  examples + QStringLiteral("trait_info.txt"),
                                    u"--groups"_s,  examples + QStringLiteral("trait_groups.txt"),
                                    u"--genes"_s,   examples + QStringLiteral("gene_positions.txt"),
                                    u"--out"_s};
        const QString single = dir.filePath(QStringLiteral("single"));
        const QString dask = dir.filePath(QStringLiteral("dask"));
        const Run expected = run(QStringLiteral(QUILLMAP_INDEXER), inputs + QStringList{single});
        const QString scheduler = results == gzipped ? QStringLiteral("local:2") : m_address;
        const Run got = run(QStringLiteral(QUILLMAP_DASK),
                            QStringList{u"--scheduler"_s, scheduler, u"--chunk"_s, u"64K"_s} + inputs
                                + QStringList{dask});
        QCOMPARE(expected.exitCode, 0);
        QCOMPARE(got.exitCode, 0);
        QCOMPARE(got.err, expected.err);
        QCOMPARE(folder(dask), folder(single));
    }
}

// Each failure of the cluster or of the driver's own steps: one error line naming it, exit 3,
// no temporary file in the folder and nothing written into it once its lock is gone.
void tst_Dask::failures_data()
{
    QTest::addColumn<QByteArray>("die");
    QTest::addColumn<bool>("ownCluster"); // local:1, which the build may take down
    QTest::addColumn<QByteArray>("said");

    QTest::newRow("lock holder killed")
        << QByteArray("hold") << false << QByteArray("quillmap-dask: error : the step holding the lock on ");
    QTest::newRow("step killed every time")
        << QByteArray("killed!:names") << false
        << QByteArray("quillmap-index: error : the step names of the build was killed by signal 9 3 times");
    QTest::newRow("scheduler gone") << QByteArray(
        "scheduler") << true << QByteArray("quillmap-index: error : the Dask scheduler local:1 went away");
    QTest::newRow("finish step killed")
        << QByteArray("finish") << false
        << QByteArray("quillmap-dask: error : the finish step of the build was"
                      " killed by signal 9");
}

void tst_Dask::failures()
{
    QFETCH(QByteArray, die);
    QFETCH(bool, ownCluster);
    QFETCH(QByteArray, said);
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("dask"));
    const QStringList inputs = goodInputs(dir) + QStringList{out};
    QCOMPARE(run(QStringLiteral(QUILLMAP_INDEXER), inputs).exitCode, 0);
    const QMap<QString, QByteArray> before = folder(out);

    const Run got = run(
        QStringLiteral(QUILLMAP_DASK),
        QStringList{u"--scheduler"_s, ownCluster ? u"local:1"_s : m_address, u"--chunk"_s, u"97"_s} + inputs,
        die);
    QCOMPARE(got.exitCode, 3);
    QVERIFY2(got.err.startsWith(said) && got.err.count('\n') == 1, got.err.constData());
    const QMap<QString, QByteArray> after = folder(out);
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        QVERIFY2(!it.key().endsWith(QLatin1String(".tmp")), qPrintable(it.key()));
    // The tables stay the earlier import's; only summary.txt says the folder holds none.
    for (const QString &name : {u"table1.dat"_s, u"table2.dat"_s})
        QCOMPARE(after.value(name), before.value(name));
    QVERIFY(after.value(u"summary.txt"_s).split('\n').value(5).startsWith("error"));
}

QTEST_GUILESS_MAIN(tst_Dask)
#include "tst_dask.moc"
