#include "dataset/datasetregistry.h"
#include "import/importer.h"
#include "support/compressed.h"
#include "support/filesizelimit.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace quillmap;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run runIndexer(const QStringList &args, const QString &workingDir = {}, const QByteArray &outOfMemoryAt = {})
{
    QProcess process;
    if (!workingDir.isEmpty())
        process.setWorkingDirectory(workingDir);
    if (!outOfMemoryAt.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QUILLMAP_TEST_OUT_OF_MEMORY"), QString::fromLatin1(outOfMemoryAt));
        process.setProcessEnvironment(environment);
    }
    process.start(QStringLiteral(QUILLMAP_INDEXER), args);
    Run run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

} // namespace

class tst_Indexer final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void writesTheGoldenFolderWithAbsolutePaths();
    void validationFailureExitsWithOne();
    void usageErrors_data();
    void usageErrors();
    void missingInputExitsWithTwo();
    void unwritableFolderExitsWithThree();
    void outOfMemoryExitsWithThree();
    void helpExplainsTheFiles();
    void registersTheFolderUnlessAsked();
    void toolOutputInOneCommand();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_data;
};

void tst_Indexer::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    // A copy of the golden inputs, so relative paths can be given from the working directory.
    m_data = m_dir->filePath(QStringLiteral("in"));
    QVERIFY(QDir().mkpath(m_data));
    const QString golden = QStringLiteral(QUILLMAP_TESTDATA "/data/basic/");
    for (const char *name : {"results.txt", "snpinfo.txt", "traitinfo.txt", "groups.txt", "genes.txt"})
        QVERIFY(QFile::copy(golden + QLatin1String(name), m_data + QLatin1Char('/') + QLatin1String(name)));
}

void tst_Indexer::writesTheGoldenFolderWithAbsolutePaths()
{
    const Run run = runIndexer({u"--results"_s, u"results.txt"_s, u"--snps"_s, u"snpinfo.txt"_s,
                                u"--traits"_s, u"./traitinfo.txt"_s, u"--groups"_s, u"../in/groups.txt"_s,
                                u"--genes"_s, u"genes.txt"_s, u"--out"_s, u"../made/dataset"_s},
                               m_data);
    QCOMPARE(run.exitCode, 0);
    // Not on a terminal: nothing but errors and the values single precision lost are printed.
    QCOMPARE(run.err.count("Warning: 1 nonzero value(s) of column "), 2);
    QCOMPARE(run.err.count('\n'), 2);
    QVERIFY(run.err.contains("--neglog10 pvalue") && run.err.contains("--neglog10 beta"));
    QCOMPARE(run.out, QByteArray());

    const QString out = m_dir->filePath(QStringLiteral("made/dataset"));
    const QString expected = QStringLiteral(QUILLMAP_TESTDATA "/data/basic/expected/");
    QByteArray summary = readAll(expected + QStringLiteral("summary.txt"));
    summary.replace("@DIR@", QDir(m_data).canonicalPath().toUtf8());
    QCOMPARE(readAll(out + QStringLiteral("/summary.txt")), summary);
    for (const char *name :
         {"IDlist.dat", "SNPlist.dat", "ID_Line.dat", "Pos_Line.dat", "Gene2ID.dat", "pos2gene.dat"}) {
        QCOMPARE(readAll(out + QLatin1Char('/') + QLatin1String(name)),
                 readAll(expected + QLatin1String(name)));
    }
    QCOMPARE(QFileInfo(out + QStringLiteral("/table1.dat")).size(), 6 * 20);
}

void tst_Indexer::validationFailureExitsWithOne()
{
    writeAll(m_data + QStringLiteral("/bad.txt"), "T\tS\tp\nT1\trs1\t1e-300\nT1\trs1\tNA\n");
    const QString out = m_dir->filePath(QStringLiteral("out"));
    const Run run = runIndexer({u"--results"_s, m_data + QStringLiteral("/bad.txt"), u"--snps"_s,
                                m_data + QStringLiteral("/snpinfo.txt"), u"--traits"_s,
                                m_data + QStringLiteral("/traitinfo.txt"), u"--out"_s, out});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("error : 2th line has invalid numeric number!"), run.err.constData());
    // The value single precision lost before the failing line is still named.
    QVERIFY2(run.err.contains("Warning: 1 nonzero value(s) of column p"), run.err.constData());
    QVERIFY(run.err.contains("--neglog10 p"));
    const QList<QByteArray> lines = readAll(out + QStringLiteral("/summary.txt")).split('\n');
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines.value(5), QByteArray("error : 2th line has invalid numeric number!"));
}

void tst_Indexer::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no arguments") << QStringList{};
    QTest::newRow("missing --out") << QStringList{u"--results"_s, u"a"_s,        u"--snps"_s,
                                                  u"b"_s,         u"--traits"_s, u"c"_s};
    QTest::newRow("missing --traits")
        << QStringList{u"--results"_s, u"a"_s, u"--snps"_s, u"b"_s, u"--out"_s, u"o"_s};
    QTest::newRow("option without value")
        << QStringList{u"--results"_s, u"a"_s, u"--snps"_s, u"b"_s, u"--traits"_s, u"c"_s, u"--out"_s};
    QTest::newRow("unknown option") << QStringList{
        u"--results"_s, u"a"_s, u"--snps"_s, u"b"_s, u"--traits"_s, u"c"_s, u"--out"_s, u"o"_s, u"--fast"_s};
    QTest::newRow("--neglog10 without a column")
        << QStringList{u"--results"_s, u"a"_s,     u"--snps"_s, u"b"_s,         u"--traits"_s,
                       u"c"_s,         u"--out"_s, u"o"_s,      u"--neglog10"_s};
    QTest::newRow("--format without --build")
        << QStringList{u"--format"_s, u"plink2"_s, u"--out"_s, u"o"_s, u"a.glm.linear"_s};
    QTest::newRow("--format without files")
        << QStringList{u"--format"_s, u"plink2"_s, u"--build"_s, u"hg38"_s, u"--out"_s, u"o"_s};
    QTest::newRow("unknown format") << QStringList{u"--format"_s, u"plink3"_s, u"--build"_s, u"hg38"_s,
                                                   u"--out"_s,    u"o"_s,      u"a"_s};
    QTest::newRow("unknown build") << QStringList{u"--format"_s, u"plink2"_s, u"--build"_s, u"hg37"_s,
                                                  u"--out"_s,    u"o"_s,      u"a"_s};
    QTest::newRow("--format with --results")
        << QStringList{u"--format"_s, u"plink2"_s,    u"--build"_s, u"hg38"_s, u"--out"_s,
                       u"o"_s,        u"--results"_s, u"r"_s,       u"a"_s};
    QTest::newRow("files without --format")
        << QStringList{u"--results"_s, u"a"_s,     u"--snps"_s, u"b"_s,           u"--traits"_s,
                       u"c"_s,         u"--out"_s, u"o"_s,      u"x.glm.linear"_s};
    QTest::newRow("option twice") << QStringList{u"--results"_s, u"a"_s, u"--results"_s, u"b"_s,
                                                 u"--snps"_s,    u"b"_s, u"--traits"_s,  u"c"_s,
                                                 u"--out"_s,     u"o"_s};
}

void tst_Indexer::usageErrors()
{
    QFETCH(QStringList, args);
    const Run run = runIndexer(args, m_dir->path());
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.err.contains("Usage: quillmap-index"));
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("o"))));
}

void tst_Indexer::missingInputExitsWithTwo()
{
    const QString out = m_dir->filePath(QStringLiteral("out"));
    const Run run = runIndexer({u"--results"_s, m_data + QStringLiteral("/results.txt"), u"--snps"_s,
                                m_data + QStringLiteral("/nothere.txt"), u"--traits"_s,
                                m_data + QStringLiteral("/traitinfo.txt"), u"--out"_s, out});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains("error : can't open the SNP information file "), run.err.constData());
    QVERIFY(run.err.contains("nothere.txt"));
    QVERIFY(readAll(out + QStringLiteral("/summary.txt")).split('\n').value(5).startsWith("error"));

    // A gzip file whose later member is damaged (here its first bytes) is not read as its first half.
    const QByteArray results = readAll(m_data + QStringLiteral("/results.txt"));
    const qsizetype half = results.indexOf('\n', results.size() / 2) + 1;
    QByteArray second = gzipMember(results.mid(half));
    second[1] = char(0x8c);
    writeAll(m_data + QStringLiteral("/halves.txt.gz"), gzipMember(results.left(half)) + second);
    const Run cut = runIndexer({u"--results"_s, m_data + QStringLiteral("/halves.txt.gz"), u"--snps"_s,
                                m_data + QStringLiteral("/snpinfo.txt"), u"--traits"_s,
                                m_data + QStringLiteral("/traitinfo.txt"), u"--out"_s, out,
                                u"--no-register"_s});
    QCOMPARE(cut.exitCode, 2);
    QVERIFY2(cut.err.contains("halves.txt.gz to its end!"), cut.err.constData());
    // A tool file too, into a folder no import has written yet.
    const Run tool = runIndexer({u"--format"_s, u"plink2"_s, u"--build"_s, u"hg38"_s, u"--no-register"_s,
                                 u"--out"_s, m_dir->filePath(u"tool"_s),
                                 m_data + u"/nothere.a.glm.linear"_s});
    QCOMPARE(tool.exitCode, 2);
    QVERIFY2(tool.err.contains("error : can't open the plink2 file "), tool.err.constData());
    // A genotype fileset that is not there, before anything is imported.
    const Run ld = runIndexer({u"--results"_s, m_data + u"/results.txt"_s, u"--snps"_s,
                               m_data + u"/snpinfo.txt"_s, u"--traits"_s, m_data + u"/traitinfo.txt"_s,
                               u"--out"_s, m_dir->filePath(u"ld"_s), u"--no-register"_s, u"--ld"_s,
                               m_data + u"/nothere"_s});
    QCOMPARE(ld.exitCode, 2);
    QVERIFY2(ld.err.contains("nothere"), ld.err.constData());
    QVERIFY(!QFileInfo::exists(m_dir->filePath(u"ld"_s)));
}

void tst_Indexer::unwritableFolderExitsWithThree()
{
    // --out names an existing plain file: the folder cannot be created.
    const QString out = m_data + QStringLiteral("/results.txt");
    const QByteArray before = readAll(out);
    const Run run = runIndexer({u"--results"_s, out, u"--snps"_s, m_data + QStringLiteral("/snpinfo.txt"),
                                u"--traits"_s, m_data + QStringLiteral("/traitinfo.txt"), u"--out"_s, out});
    QCOMPARE(run.exitCode, 3);
    QVERIFY(!run.err.isEmpty());
    QCOMPARE(readAll(out), before);

    // A cluster build's finish step, told that placing failed on a full disk, names that
    // failure rather than the summary.txt the same disk keeps it from writing.
    const QString cluster = m_dir->filePath(u"cluster"_s);
    const QByteArray abort = "error : can't write the file " + cluster.toUtf8()
        + "/.quillmap-cluster/table2!";
    Run finish;
    {
        const FileSizeLimit full(0);
        finish = runIndexer({u"--step"_s, u"finish"_s, u"--ranges"_s, u"1"_s, u"--abort"_s,
                             QString::fromUtf8(abort), u"--results"_s, m_data + u"/results.txt"_s,
                             u"--snps"_s, m_data + u"/snpinfo.txt"_s, u"--traits"_s,
                             m_data + u"/traitinfo.txt"_s, u"--out"_s, cluster});
    }
    QCOMPARE(finish.exitCode, 3);
    QCOMPARE(finish.err, "quillmap-index: " + abort + '\n');
}

// The rows read and held, memory runs out as the tables are written.
void tst_Indexer::outOfMemoryExitsWithThree()
{
    const QString out = m_dir->filePath(QStringLiteral("oom"));
    const Run run = runIndexer({u"--results"_s, m_data + QStringLiteral("/results.txt"), u"--snps"_s,
                                m_data + QStringLiteral("/snpinfo.txt"), u"--traits"_s,
                                m_data + QStringLiteral("/traitinfo.txt"), u"--out"_s, out},
                               {}, QByteArray::number(int(quillmap::ImportStage::Tables)));
    QCOMPARE(run.exitCode, 3);
    const QByteArray line = "error : there is not enough memory to import these files!";
    QVERIFY2(run.err.contains(line), run.err.constData());
    QCOMPARE(readAll(out + QStringLiteral("/summary.txt")).split('\n').value(5), line);
}

void tst_Indexer::helpExplainsTheFiles()
{
    const Run run = runIndexer({u"--help"_s});
    QCOMPARE(run.exitCode, 0);
    for (const char *word :
         {"--results", "--snps", "--traits", "--groups", "--genes", "--out", "--neglog10", "--format",
          "plink2", "plink1", "regenie", "gwas-ssf", "--build", "hg38", "Mb", ".gz", "Exit status"})
        QVERIFY2(run.out.contains(word), word);
}

QTEST_GUILESS_MAIN(tst_Indexer)
#include "tst_indexer.moc"

// A folder built here must show up in the program's list, once, like one imported there.
void tst_Indexer::registersTheFolderUnlessAsked()
{
    registrystore::write({});
    const QString made = m_dir->filePath(QStringLiteral("made"));
    const QString quiet = m_dir->filePath(QStringLiteral("quiet"));
    const QStringList inputs = {u"--results"_s, u"results.txt"_s,   u"--snps"_s, u"snpinfo.txt"_s,
                                u"--traits"_s,  u"traitinfo.txt"_s, u"--out"_s};
    QCOMPARE(runIndexer(inputs + QStringList{made}, m_data).exitCode, 0);
    QCOMPARE(runIndexer(inputs + QStringList{made}, m_data).exitCode, 0);
    QCOMPARE(runIndexer(inputs + QStringList{quiet, u"--no-register"_s}, m_data).exitCode, 0);
    QCOMPARE(registrystore::read(), QStringList{QDir(made).absolutePath()});

    // A failed import is never registered.
    writeAll(m_data + QStringLiteral("/bad.txt"), "T\tS\tp\nT1\trs1\tNA\n");
    const QString bad = m_dir->filePath(QStringLiteral("bad"));
    QCOMPARE(runIndexer({u"--results"_s, u"bad.txt"_s, u"--snps"_s, u"snpinfo.txt"_s, u"--traits"_s,
                         u"traitinfo.txt"_s, u"--out"_s, bad},
                        m_data)
                 .exitCode,
             1);
    QCOMPARE(registrystore::read(), QStringList{QDir(made).absolutePath()});

    // A list that cannot be written is said, not passed over.
    QVERIFY(QFile::remove(registrystore::storePath()));
    QVERIFY(QDir().mkpath(registrystore::storePath()));
    const Run unregistered = runIndexer(inputs + QStringList{quiet}, m_data);
    QVERIFY(QDir().rmdir(registrystore::storePath()));
    QCOMPARE(unregistered.exitCode, 3);
    QVERIFY2(unregistered.err.contains("could not be added to the program's list of datasets"),
             unregistered.err.constData());
    registrystore::write({});
}

// Shell globs give the files; what was skipped is said per reason.
void tst_Indexer::toolOutputInOneCommand()
{
    const QByteArray header = "#CHROM\tPOS\tID\tREF\tALT\tA1\tTEST\tOBS_CT\tBETA\tSE\tT_STAT\tP\n";
    writeAll(m_data + QStringLiteral("/plink2.a.glm.linear"),
             header
                 + "1\t14181\t1:14181\tA\tG\tG\tADD\t9\t1\t1\t1\t3.5e-415\n"
                   "1\t14181\t1:14181\tA\tG\tG\tSEX\t9\t1\t1\t1\t0.5\n");
    // As plink2 --glm zs writes it.
    writeAll(m_data + QStringLiteral("/plink2.b.glm.linear.zst"),
             zstdFrame(header
                       + "1\t14181\t1:14181\tA\tG\tG\tADD\t9\t1\t1\t1\tNA\n"
                         "X\t100\trs9\tA\tG\tG\tADD\t9\t1\t1\t1\t0.5\n"));
    const QString out = m_dir->filePath(QStringLiteral("tool"));
    // The study's genotypes for r2, recorded by absolute path.
    writeAll(m_data + u"/geno.bim"_s, "1\t1:14181\t0\t14181\tA\tG\n");
    writeAll(m_data + u"/geno.fam"_s, "f i 0 0 0 -9\n");
    writeAll(m_data + u"/geno.bed"_s, QByteArray("\x6c\x1b\x01\x00", 4));
    const Run run = runIndexer({u"--format"_s, u"plink2"_s, u"--build"_s, u"hg38"_s, u"--out"_s, out,
                                u"--no-register"_s, u"--memory"_s, u"1M"_s, u"--ld"_s, u"geno"_s,
                                u"plink2.a.glm.linear"_s, u"plink2.b.glm.linear.zst"_s},
                               m_data);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(readAll(out + u"/ld_reference.txt"_s), QDir(m_data).canonicalPath().toUtf8() + "/geno\n");
    for (const char *line : {"2 rows kept from 2 file(s).", "Skipped 1 rows with the p-value missing (NA).",
                             "Skipped 1 rows whose TEST is not ADD.", "-log10(P) keeps them."})
        QVERIFY2(run.err.contains(line), run.err.constData());
    QCOMPARE(readAll(out + QStringLiteral("/genome_build.txt")), QByteArray("hg38\n"));
    QVERIFY(readAll(out + QStringLiteral("/summary.txt")).contains("SNP Num :\t 2\n"));
    QVERIFY(readAll(out + QStringLiteral("/quillmap-traitinfo.txt")).contains("\nb\t"));

    // The same files named in a list, from a file and from standard input; a file name that is
    // not UTF-8 (Latin-1 here) is read all the same.
    const QByteArray latin1 = "plink2.\xe9.glm.linear";
    QCOMPARE(::link(QFile::encodeName(m_data + u"/plink2.a.glm.linear"_s).constData(),
                    (QFile::encodeName(m_data) + '/' + latin1).constData()),
             0);
    for (const QByteArray &first : {QByteArray("plink2.a.glm.linear\n"), latin1 + '\n'}) {
        writeAll(m_data + u"/files.txt"_s, first + "\nplink2.b.glm.linear.zst\n");
        const Run listed = runIndexer({u"--format"_s, u"plink2"_s, u"--build"_s, u"hg38"_s, u"--out"_s,
                                       m_dir->filePath(u"listed"_s), u"--no-register"_s, u"--files-from"_s,
                                       u"files.txt"_s},
                                      m_data);
        QCOMPARE(listed.exitCode, 0);
        QVERIFY2(listed.err.contains("2 rows kept from 2 file(s)."), listed.err.constData());
    }
    // Which the temporary folder could not remove.
    QCOMPARE(::unlink((QFile::encodeName(m_data) + '/' + latin1).constData()), 0);
    QProcess piped;
    piped.setWorkingDirectory(m_data);
    piped.start(QStringLiteral(QUILLMAP_INDEXER),
                {u"--format"_s, u"plink2"_s, u"--build"_s, u"hg38"_s, u"--out"_s, m_dir->filePath(u"piped"_s),
                 u"--no-register"_s, u"--files-from"_s, u"-"_s, u"plink2.b.glm.linear.zst"_s});
    QVERIFY(piped.waitForStarted());
    piped.write("plink2.a.glm.linear\n");
    piped.closeWriteChannel();
    QVERIFY(piped.waitForFinished(120000));
    QCOMPARE(piped.exitCode(), 0);
    QVERIFY(piped.readAllStandardError().contains("2 rows kept from 2 file(s)."));
}
