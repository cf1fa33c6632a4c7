#include "dataset/dataset.h"
#include "dataset/datasetloader.h"
#include "dataset/datasettables.h"
#include "dataset/regionsearch.h"
#include "dataset/snpinfoindex.h"
#include "dataset/traitscan.h"
#include "support/datasetfixture.h"
#include "support/regiondataset.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <zlib.h>

using namespace Qt::StringLiterals;
using namespace quillmap;

class TestDatasetLoader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void description();
    void noGroupFileMeansNoGroupFlag();
    void noExtraStatistics();
    void missingFile_data();
    void missingFile();
    void missingFileOrderWithoutGroups();
    void tables();
    void chromosomeXAnd23();
    void offsets();
    void crlfLines();
    void damaged_data();
    void damaged();
    void damagedKeepsNoHalfDataset();
    void moreSnpsThanOldCapacity();
    void snpInfoCache_data();
    void snpInfoCache();
    void twoDatasetsAtOnce();
    void importedAgainAfterLoad();

private:
    QString writeSmall(const QString &name, const DatasetFixture &f = DatasetFixture::small());
    QTemporaryDir m_dir;
};

void TestDatasetLoader::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

QString TestDatasetLoader::writeSmall(const QString &name, const DatasetFixture &f)
{
    return f.write(m_dir.filePath(name));
}

void TestDatasetLoader::description()
{
    const QString folder = writeSmall(QStringLiteral("description"));
    DatasetTables t;
    const Status outcome = DatasetLoader(folder).readDescription(t);
    QVERIFY2(outcome.ok(), qPrintable(outcome.message()));
    QCOMPARE(t.extraStats, 1);
    QCOMPARE(t.extraSnpColumns, 1);
    QCOMPARE(t.recordSize, qint64(16));
    QCOMPARE(t.tableColumnCount, 7);
    QVERIFY(t.hasGroups);
    QCOMPARE(t.groupPath, DatasetFixture::groupPath(folder));
    QCOMPARE(t.snpInfoPath, DatasetFixture::snpInfoPath(folder));
    QCOMPARE(t.traitInfoPath, DatasetFixture::traitInfoPath(folder));
    // M = 1: the extra SNP column sits between "Pos" and the statistic names.
    QCOMPARE(t.columnHeaders,
             QStringList({QStringLiteral("probe"), QStringLiteral("marker"), QStringLiteral("Chr"),
                          QStringLiteral("Pos"), QStringLiteral("gene"), QStringLiteral("pvalue"),
                          QStringLiteral("beta")}));
    QCOMPARE(t.statisticNames, QStringList({QStringLiteral("pvalue"), QStringLiteral("beta")}));
    // No genome_build.txt: hg18, as before the build was recorded.
    QCOMPARE(t.build, quillmap::GenomeBuild::Hg18);
    QVERIFY(quillmap::writeGenomeBuild(folder, quillmap::GenomeBuild::Hg38).ok());
    QVERIFY(DatasetLoader(folder).readDescription(t).ok());
    QCOMPARE(t.build, quillmap::GenomeBuild::Hg38);
    QVERIFY(quillmap::writeGenomeBuild(folder, std::nullopt).ok());
    QVERIFY(DatasetLoader(folder).readDescription(t).ok());
    QCOMPARE(t.build, quillmap::GenomeBuild::Hg18);
}

void TestDatasetLoader::noGroupFileMeansNoGroupFlag()
{
    DatasetFixture f = DatasetFixture::small();
    f.withGroups = false;
    const QString folder = writeSmall(QStringLiteral("nogroups"), f);
    // A stale Gene2ID.dat is not read when line 1 names only three files.
    QFile stale(folder + QStringLiteral("/Gene2ID.dat"));
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write("G9\tT1\n");
    stale.close();
    DatasetTables t;
    QVERIFY(DatasetLoader(folder).load(t).ok());
    QVERIFY(!t.hasGroups);
    QVERIFY(t.groupTraitMap.isEmpty());
    QVERIFY(t.traitGroupMap.isEmpty());
}

void TestDatasetLoader::noExtraStatistics()
{
    DatasetFixture f;
    f.snps = {{QStringLiteral("rs1"), QStringLiteral("4"), QStringLiteral("3.5"), {}}};
    f.rows = {{QStringLiteral("A"), QStringLiteral("rs1"), 2.0f, {}}};
    const QString folder = writeSmall(QStringLiteral("e0"), f);
    DatasetTables t;
    QVERIFY(DatasetLoader(folder).load(t).ok());
    QCOMPARE(t.extraStats, 0);
    QCOMPARE(t.recordSize, qint64(12));
    QCOMPARE(t.tableColumnCount, 5);
    QCOMPARE(t.statisticNames, QStringList{QStringLiteral("p")});
    QCOMPARE(t.columnHeaders.size(), 5);
}

void TestDatasetLoader::missingFile_data()
{
    QTest::addColumn<QStringList>("removed");
    QTest::addColumn<QString>("message");
    // Each row removes the file named and every file opened after it is still there; the
    // message is the one of the first file in the opening order.
    const QString tail = QStringLiteral(" is not found! Please reload the dataset!");
    QTest::newRow("trait group file")
        << QStringList{QStringLiteral("inputs/groups.txt"), QStringLiteral("Gene2ID.dat"),
                       QStringLiteral("IDlist.dat")}
        << QStringLiteral("The file map_ID_Gene.dat") + tail;
    QTest::newRow("Gene2ID.dat") << QStringList{QStringLiteral("Gene2ID.dat"), QStringLiteral("ID_Line.dat")}
                                 << QStringLiteral("The file map_Gene_ID.dat") + tail;
    QTest::newRow("ID_Line.dat") << QStringList{QStringLiteral("ID_Line.dat"),
                                                QStringLiteral("inputs/trait_info.txt")}
                                 << QStringLiteral("The file ID_Line.dat") + tail;
    QTest::newRow("trait information")
        << QStringList{QStringLiteral("inputs/trait_info.txt"), QStringLiteral("inputs/snp_info.txt")}
        << QStringLiteral("The file traitinfo.dat") + tail;
    QTest::newRow("SNP information") << QStringList{QStringLiteral("inputs/snp_info.txt"),
                                                    QStringLiteral("Pos_Line.dat")}
                                     << QStringLiteral("The file snp_Pos.dat") + tail;
    QTest::newRow("Pos_Line.dat") << QStringList{QStringLiteral("Pos_Line.dat"),
                                                 QStringLiteral("SNPlist.dat")}
                                  << QStringLiteral("The file Pos_Line.dat") + tail;
    QTest::newRow("SNPlist.dat") << QStringList{QStringLiteral("SNPlist.dat"), QStringLiteral("IDlist.dat")}
                                 << QStringLiteral("The file SNPlist.dat") + tail;
    QTest::newRow("IDlist.dat") << QStringList{QStringLiteral("IDlist.dat")}
                                << QStringLiteral("The file IDlist.dat") + tail;
    QTest::newRow("summary.txt") << QStringList{QStringLiteral("summary.txt")}
                                 << QStringLiteral("The file summary.txt") + tail;
}

void TestDatasetLoader::missingFile()
{
    QFETCH(QStringList, removed);
    QFETCH(QString, message);
    const QString folder = writeSmall(QStringLiteral("missing-")
                                      + QString::fromLatin1(QTest::currentDataTag()));
    for (const QString &name : removed)
        QVERIFY(QFile::remove(folder + QLatin1Char('/') + name));
    DatasetTables t;
    DatasetLoader loader(folder);
    Status outcome = loader.readDescription(t);
    if (outcome.ok()) {
        const Status opened = loader.openDatasetFiles(t);
        QVERIFY(!opened.ok());
        QCOMPARE(opened.message(), message);
        outcome = loader.readDatasetFiles(t);
    }
    QVERIFY(!outcome.ok());
    QCOMPARE(outcome.message(), message);
    QVERIFY(!t.loaded);
    QVERIFY(t.traitNames.isEmpty());
}

void TestDatasetLoader::missingFileOrderWithoutGroups()
{
    // Without the group flag the trait group file is never opened: its absence is no error.
    DatasetFixture f = DatasetFixture::small();
    f.withGroups = false;
    const QString folder = writeSmall(QStringLiteral("order-nogroups"), f);
    QFile::remove(folder + QStringLiteral("/inputs/groups.txt"));
    QFile::remove(folder + QStringLiteral("/ID_Line.dat"));
    DatasetTables t;
    const Status outcome = DatasetLoader(folder).load(t);
    QCOMPARE(outcome.message(),
             QStringLiteral("The file ID_Line.dat is not found! Please reload the dataset!"));
}

void TestDatasetLoader::tables()
{
    const QString folder = writeSmall(QStringLiteral("tables"));
    DatasetTables t;
    QVERIFY(DatasetLoader(folder).load(t).ok());
    QVERIFY(t.loaded);
    QCOMPARE(t.traitNames, QStringList({QStringLiteral("T1"), QStringLiteral("T2")}));
    QCOMPARE(t.snpNames.toStringList(),
             QStringList({QStringLiteral("rs1"), QStringLiteral("rs2"), QStringLiteral("rs3")}));
    QCOMPARE(t.traitRecordCounts.value(QStringLiteral("T1")), 2);
    QCOMPARE(t.traitRecordCounts.value(QStringLiteral("T2")), 3);
    QCOMPARE(t.binRecordCounts.value(1012), 2);
    QCOMPARE(t.binRecordCounts.value(2010), 2);
    QCOMPARE(t.binRecordCounts.value(23000), 1);
    // The group file's first line is a key like any other.
    QCOMPARE(t.traitGroupMap.value(QStringLiteral("T2")),
             QStringList({QStringLiteral("G1"), QStringLiteral("G2")}));
    QCOMPARE(t.groupTraitMap.value(QStringLiteral("G1")),
             QStringList({QStringLiteral("T1"), QStringLiteral("T2")}));
    QCOMPARE(t.traitInfoHeader, QStringList({QStringLiteral("Trait"), QStringLiteral("Description")}));
    QCOMPARE(t.traitInfoMap.value(QStringLiteral("T2")), QStringList{QStringLiteral("second")});
    QCOMPARE(t.snpLineCount(), 3);
    QCOMPARE(t.snpLine(QStringLiteral("rs2")), 1);
    QCOMPARE(t.snpLine(QStringLiteral("rs")), -1);
    QCOMPARE(t.snpLine(QStringLiteral("rs22")), -1);
    QCOMPARE(t.snpFields(0),
             QStringList({QStringLiteral("1"), QStringLiteral("12.5"), QStringLiteral("GA")}));
    QCOMPARE(t.snpFields(3), QStringList());
    QCOMPARE(t.snpPosition(1), 10.5);
    QCOMPARE(t.snpIndexOf(QStringLiteral("rs3")), 2);
    QCOMPARE(t.snpIndexOf(QStringLiteral("rs4")), -1);
    QCOMPARE(t.snpLineOfIndex(2), 2);
    QCOMPARE(t.snpLineOfIndex(3), -1);
}

void TestDatasetLoader::chromosomeXAnd23()
{
    DatasetFixture f = DatasetFixture::small();
    f.snps.append({QStringLiteral("rs4"), QStringLiteral("23"), QStringLiteral("4"), {QStringLiteral("GD")}});
    // A repeated SNP name maps to its last line.
    f.snps.append(
        {QStringLiteral("rs2"), QStringLiteral("7"), QStringLiteral("8.25"), {QStringLiteral("GE")}});
    const QString folder = writeSmall(QStringLiteral("chrx"), f);
    DatasetTables t;
    QVERIFY(DatasetLoader(folder).load(t).ok());
    QCOMPARE(t.snpChromosome(t.snpLine(QStringLiteral("rs3"))), 23);
    QCOMPARE(t.snpChromosome(t.snpLine(QStringLiteral("rs4"))), 23);
    QCOMPARE(t.snpLine(QStringLiteral("rs2")), 4);
    QCOMPARE(t.snpChromosome(4), 7);
    QCOMPARE(t.snpPosition(4), 8.25);
}

void TestDatasetLoader::offsets()
{
    const QString folder = writeSmall(QStringLiteral("offsets"));
    DatasetTables t;
    QVERIFY(DatasetLoader(folder).load(t).ok());
    // The first trait in name order starts at record 0, the second after the first's records.
    QCOMPARE(t.traitFirstRecord(0), qint64(0));
    QCOMPARE(t.traitFirstRecord(1), qint64(2));
    QCOMPARE(t.traitFirstRecord(QStringLiteral("T2")), qint64(2));
    QCOMPARE(t.traitFirstRecord(QStringLiteral("nope")), qint64(-1));
    QCOMPARE(t.traitRecordCount(1), 3);
    QCOMPARE(t.binFirstRecord(1012), qint64(0));
    QCOMPARE(t.binFirstRecord(2010), qint64(2));
    QCOMPARE(t.binFirstRecord(2011), qint64(4));
    QCOMPARE(t.binFirstRecord(23000), qint64(4));
    QCOMPARE(t.binFirstRecord(30000), qint64(5));
    QCOMPARE(t.binRecordCount(5), 0);
    QCOMPARE(t.traitRecordTotal(), qint64(5));
}

void TestDatasetLoader::crlfLines()
{
    const QString folder = writeSmall(QStringLiteral("crlf"));
    for (const QString &name : {QStringLiteral("ID_Line.dat"), QStringLiteral("SNPlist.dat"),
                                QStringLiteral("inputs/snp_info.txt")}) {
        QFile file(folder + QLatin1Char('/') + name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray data = file.readAll().replace("\n", "\r\n");
        file.close();
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(data);
    }
    DatasetTables t;
    QVERIFY(DatasetLoader(folder).load(t).ok());
    QCOMPARE(t.snpNames.at(0), QStringLiteral("rs1"));
    QCOMPARE(t.traitRecordCounts.value(QStringLiteral("T2")), 3);
    QCOMPARE(t.snpFields(2).value(2), QStringLiteral("GC"));
    QCOMPARE(t.snpLine(QStringLiteral("rs3")), 2);
}

void TestDatasetLoader::damaged_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("detail");
    QTest::newRow("summary with four lines")
        << QStringLiteral("summary.txt") << QByteArray("a\tb\tc\nh\tx\nh\ty\nn\t0\n")
        << QStringLiteral("summary.txt has fewer than five lines.");
    QTest::newRow("summary with two paths")
        << QStringLiteral("summary.txt")
        << QByteArray("a\tb\nh\tt\ts\tp\nh\tS\tc\tp\nn\t0\nn\t0\nTrait Num :\t 1\n")
        << QStringLiteral("summary.txt names fewer than three input files.");
    QTest::newRow("extra statistics beyond the header")
        << QStringLiteral("summary.txt") << QByteArray("a\tb\tc\nh\tt\ts\tp\nh\tS\tc\tp\nn\t4\nn\t0\n")
        << QStringLiteral("the column counts in summary.txt do not match its headers.");
    QTest::newRow("table1.dat shorter than the counts")
        << QStringLiteral("table1.dat") << QByteArray(70, '\0')
        << QStringLiteral("table1.dat holds fewer records than ID_Line.dat lists.");
    QTest::newRow("table2.dat shorter than the counts")
        << QStringLiteral("table2.dat") << QByteArray(16, '\0')
        << QStringLiteral("table2.dat holds fewer records than Pos_Line.dat lists.");
    QTest::newRow("negative count") << QStringLiteral("ID_Line.dat") << QByteArray("T1\t-2\nT2\t3\n")
                                    << QStringLiteral("ID_Line.dat line 1 is not a name and a record count.");
    QTest::newRow("bin listed twice")
        << QStringLiteral("Pos_Line.dat") << QByteArray("1012\t2\n2010\t2\n1012\t1\n")
        << QStringLiteral("Pos_Line.dat line 3 is not a bin and a record count.");
    QTest::newRow("snp without information line")
        << QStringLiteral("inputs/snp_info.txt")
        << QByteArray("SNP\tchr\tpos\tgene\nrs1\t1\t12.5\tGA\nrs3\tX\t0.0000015\tGC\n")
        << QStringLiteral("the SNP information file %1/inputs/snp_info.txt has no line for the SNP rs2.");
    QTest::newRow("unknown genome build")
        << QStringLiteral("genome_build.txt") << QByteArray("GRCh37\n")
        << QStringLiteral("genome_build.txt names no genome build (hg18, hg19 or hg38).");
}

void TestDatasetLoader::damaged()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, detail);
    const QString folder = writeSmall(QStringLiteral("damaged-")
                                      + QString::fromLatin1(QTest::currentDataTag()));
    QFile f(folder + QLatin1Char('/') + file);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
    f.close();
    DatasetTables t;
    const Status outcome = DatasetLoader(folder).load(t);
    QVERIFY(!outcome.ok());
    QCOMPARE(outcome.message(),
             QStringLiteral("The dataset in %1 is damaged: %2 Please reload the dataset!")
                 .arg(folder, detail.contains(QLatin1String("%1")) ? detail.arg(folder) : detail));
}

void TestDatasetLoader::damagedKeepsNoHalfDataset()
{
    const QString good = writeSmall(QStringLiteral("good"));
    const QString bad = writeSmall(QStringLiteral("bad"));
    QFile::resize(bad + QStringLiteral("/table1.dat"), 20);
    DatasetTables t;
    QVERIFY(DatasetLoader(good).load(t).ok());
    QVERIFY(!DatasetLoader(bad).load(t).ok());
    QVERIFY(!t.loaded);
    QVERIFY(t.traitNames.isEmpty());
    QCOMPARE(t.snpLineCount(), 0);
    QCOMPARE(t.snpFields(0), QStringList());
}

void TestDatasetLoader::moreSnpsThanOldCapacity()
{
    // More SNP information lines than the 2,800,000 a fixed array would hold.
    const int lines = 2900000;
    const int own = 3;
    const QString folder = writeSmall(QStringLiteral("big"));
    // The fixture's own SNPs first, so that every SNP of SNPlist.dat keeps its line.
    QByteArray text("SNP\tchr\tpos\tgene\nrs1\t1\t12.5\tGA\nrs2\t2\t10.5\tGB\nrs3\tX\t0.0000015\tGC\n");
    text.reserve(lines * 28);
    for (int i = 0; i < lines; ++i) {
        text += "rs";
        text += QByteArray::number(1000000 + i);
        text += i % 23 == 22 ? "\tX\t" : "\t" + QByteArray::number(i % 23 + 1) + '\t';
        text += QByteArray::number(i % 250) + ".5\tg\n";
    }
    QFile file(DatasetFixture::snpInfoPath(folder));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    file.close();
    text.clear();
    DatasetTables t;
    const Status outcome = DatasetLoader(folder).load(t);
    QVERIFY2(outcome.ok(), qPrintable(outcome.message()));
    QCOMPARE(t.snpLineCount(), lines + own);
    const int last = lines - 1;
    QCOMPARE(t.snpLine(QStringLiteral("rs%1").arg(1000000 + last)), last + own);
    QCOMPARE(t.snpChromosome(last + own), last % 23 == 22 ? 23 : last % 23 + 1);
    QCOMPARE(t.snpPosition(last + own), double(last % 250) + 0.5);
    QCOMPARE(t.snpFields(last + own).value(2), QStringLiteral("g"));
    QCOMPARE(t.snpLineOfIndex(2), 2);
}

void TestDatasetLoader::snpInfoCache_data()
{
    // What happens between a first load, which writes the cache, and a second one.
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("rebuilt");
    QTest::addColumn<bool>("cached");
    QTest::newRow("nothing") << QString() << false << true;
    QTest::newRow("cache removed") << QStringLiteral("remove") << true << true;
    QTest::newRow("cache truncated") << QStringLiteral("truncate") << true << true;
    QTest::newRow("cache header damaged") << QStringLiteral("flip") << true << true;
    // Not seen by the header's checksum: read as empty lines, never outside the file.
    QTest::newRow("cache line starts damaged") << QStringLiteral("starts") << false << true;
    QTest::newRow("SNP file edited, same size") << QStringLiteral("edit") << true << true;
    QTest::newRow("SNP file gzipped") << QStringLiteral("gzip") << true << true;
    QTest::newRow("cache cannot be written") << QStringLiteral("folder") << true << false;
}

void TestDatasetLoader::snpInfoCache()
{
    QFETCH(QString, change);
    QFETCH(bool, rebuilt);
    QFETCH(bool, cached);
    const QString folder = writeSmall(QStringLiteral("cache-")
                                      + QString::fromLatin1(QTest::currentDataTag()));
    const QString cache = folder + QLatin1Char('/') + QLatin1String(quillmap::SnpInfoIndex::FileName);
    const QString snpPath = DatasetFixture::snpInfoPath(folder);
    DatasetTables t;
    QVERIFY(DatasetLoader(folder).load(t).ok());
    QVERIFY(QFile::exists(cache));

    QFile snp(snpPath);
    QVERIFY(snp.open(QIODevice::ReadOnly));
    QByteArray snpText = snp.readAll();
    snp.close();
    QFile file(cache);
    if (change == QLatin1String("remove") || change == QLatin1String("folder")) {
        QVERIFY(QFile::remove(cache));
        if (change == QLatin1String("folder"))
            QVERIFY(QDir(folder).mkdir(QLatin1String(quillmap::SnpInfoIndex::FileName)));
    } else if (change == QLatin1String("truncate")) {
        QVERIFY(file.resize(file.size() / 2));
    } else if (change == QLatin1String("flip")) {
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(40));
        const char byte = file.peek(1).at(0);
        file.putChar(char(byte ^ 0x10));
        file.close();
    } else if (change == QLatin1String("starts")) {
        // The 4 line starts follow the 136-byte header: past the text, then negative.
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(136));
        QCOMPARE(file.write(QByteArray(16, '\x7f') + QByteArray(16, '\xff')), 32);
        file.close();
    } else if (change == QLatin1String("edit") || change == QLatin1String("gzip")) {
        snpText.replace("GB", "GZ");
        if (change == QLatin1String("edit")) {
            QVERIFY(snp.open(QIODevice::WriteOnly | QIODevice::Truncate));
            snp.write(snpText);
            snp.close();
        } else {
            gzFile gz = gzopen(QFile::encodeName(snpPath).constData(), "wb");
            QVERIFY(gz);
            QCOMPARE(gzwrite(gz, snpText.constData(), unsigned(snpText.size())), int(snpText.size()));
            QCOMPARE(gzclose(gz), Z_OK);
        }
    }

    const auto opened = quillmap::SnpInfoIndex::open(folder, snpPath,
                                                     folder + QStringLiteral("/SNPlist.dat"));
    QVERIFY(opened.index);
    QCOMPARE(opened.built, rebuilt);
    QCOMPARE(opened.cached, cached);
    QVERIFY(DatasetLoader(folder).load(t).ok());
    if (change == QLatin1String("starts")) {
        QCOMPARE(t.snpNames.toStringList(), QStringList(3));
        QCOMPARE(t.snpFields(1), QStringList());
        return;
    }
    QCOMPARE(t.snpNames.toStringList(),
             QStringList({QStringLiteral("rs1"), QStringLiteral("rs2"), QStringLiteral("rs3")}));
    QCOMPARE(t.snpFields(1),
             QStringList({QStringLiteral("2"), QStringLiteral("10.5"),
                          snpText.contains("GZ") ? QStringLiteral("GZ") : QStringLiteral("GB")}));
    QCOMPARE(t.snpLine(QStringLiteral("rs3")), 2);
    QCOMPARE(t.snpChromosome(2), 23);
    QCOMPARE(t.snpPosition(0), 12.5);
    // Many at once, as a sort reads them: in any order, out of range empty.
    QCOMPARE(t.snpNamesOf({2, 7, 0}),
             (std::vector<QString>{QStringLiteral("rs3"), QString(), QStringLiteral("rs1")}));
    std::vector<QString> lines(5);
    t.readSnpLines({1, -1, 0, 3, 1},
                   [&](size_t k, QByteArrayView text) { lines[k] = QString::fromUtf8(text); });
    QCOMPARE(
        lines,
        (std::vector<QString>{t.snpLineText(1), QString(), t.snpLineText(0), QString(), t.snpLineText(1)}));
    QVERIFY(lines[0].startsWith(QStringLiteral("rs2\t2\t10.5\t")));
}

namespace {

// One trait "t" with one record at chromosome 1, Mb 2 of SNP `snp` with value `value`.
TestDataset oneRecord(const QString &snp, double value)
{
    TestDataset d;
    d.snps = {{snp, QStringLiteral("1"), 2.5, {}}};
    d.results = {{QStringLiteral("t"), snp, {value}}};
    return d;
}

// "SNP value" of each row of a read.
QStringList rowsOf(const Result<ResultRows> &read, const DatasetTables &tables)
{
    if (!read)
        return {read.message()};
    QStringList rows;
    for (const RowRecord &row : read->rows)
        rows << tables.snpNames.value(row.snpIndex) + QLatin1Char(' ') + QString::number(row.firstStat);
    return rows;
}

} // namespace

// Two datasets open in one process, read in turns: each gives its own names and records.
void TestDatasetLoader::twoDatasetsAtOnce()
{
    std::shared_ptr<const Dataset> first, second;
    QCOMPARE(
        buildDataset(m_dir.filePath(QStringLiteral("one")), oneRecord(QStringLiteral("rsOne"), 0.25), first),
        QString());
    QCOMPARE(
        buildDataset(m_dir.filePath(QStringLiteral("two")), oneRecord(QStringLiteral("rsTwo"), 0.5), second),
        QString());
    for (int round = 0; round < 2; ++round) {
        QCOMPARE(rowsOf(readTrait(*first, QStringLiteral("t")), first->tables()),
                 QStringList{u"rsOne 0.25"_s});
        QCOMPARE(rowsOf(bypos::readRegion(*second, 1002), second->tables()), QStringList{u"rsTwo 0.5"_s});
        QCOMPARE(rowsOf(bypos::readRegion(*first, 1002), first->tables()), QStringList{u"rsOne 0.25"_s});
        QCOMPARE(rowsOf(readTrait(*second, QStringLiteral("t")), second->tables()),
                 QStringList{u"rsTwo 0.5"_s});
    }
}

// A folder imported again while a dataset of it is open: every read of the open one says so and
// shows nothing of either import; a new load reads the new import.
void TestDatasetLoader::importedAgainAfterLoad()
{
    const QString dir = m_dir.filePath(QStringLiteral("again"));
    std::shared_ptr<const Dataset> before, after;
    QCOMPARE(buildDataset(dir, oneRecord(QStringLiteral("rsOld"), 0.25), before), QString());
    QCOMPARE(buildDataset(dir, oneRecord(QStringLiteral("rsNew"), 0.5), after), QString());
    const QString message =
        QStringLiteral("The dataset in %1 was imported again; reload it").arg(datasetFolder(dir));

    const Result<ResultRows> trait = readTrait(*before, QStringLiteral("t"));
    QCOMPARE(int(trait.kind()), int(ErrorKind::Reimported));
    QCOMPARE(trait.message(), message);
    const Result<ResultRows> region = bypos::readRegion(*before, 1002);
    QCOMPARE(region.message(), message);
    int visited = 0;
    const Status scan = scanTraits(*before, 0, 1, [&visited](const TraitRows &) { return ++visited > 0; });
    QCOMPARE(scan.message(), message);
    QCOMPARE(visited, 0);

    QCOMPARE(rowsOf(readTrait(*after, QStringLiteral("t")), after->tables()), QStringList{u"rsNew 0.5"_s});
}

QTEST_GUILESS_MAIN(TestDatasetLoader)
#include "tst_datasetloader.moc"
