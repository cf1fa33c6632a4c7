// A dataset folder damaged on disk: the loader either refuses it with "The dataset in FOLDER is
// damaged: ... Please reload the dataset!" naming what is wrong, or (for damage that changes no
// result) opens it; a dataset it opens gives back every trait's and every bin's records, and
// nothing but them, through the offset rule.

#include "dataset/regionsearch.h"
#include "dataset/dataset.h"
#include "dataset/datasetloader.h"
#include "dataset/datasettables.h"
#include "dataset/positionbin.h"
#include "dataset/resultrecord.h"
#include "support/datasetfixture.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillmap;

namespace {

// How a row damages one file of a freshly written fixture folder.
enum class Edit { Replace, Append, Truncate, Remove, ReplaceLine, KeepLines };

struct Damage {
    QString file; // relative to the dataset folder
    Edit edit = Edit::Replace;
    QByteArray bytes; // new content, appended bytes, or (ReplaceLine) "n\ttext" of 1-based line n
    qint64 size = 0;  // Truncate: the new size; KeepLines: the lines kept
};

void apply(const QString &folder, const Damage &d)
{
    const QString path = folder + QLatin1Char('/') + d.file;
    QFile file(path);
    switch (d.edit) {
    case Edit::Remove:
        QVERIFY(file.remove());
        return;
    case Edit::Truncate:
        QVERIFY(file.resize(d.size));
        return;
    case Edit::Append:
        QVERIFY(file.open(QIODevice::Append));
        file.write(d.bytes);
        return;
    case Edit::KeepLines: {
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        file.close();
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(lines.mid(0, d.size).join('\n') + '\n');
        return;
    }
    case Edit::ReplaceLine: {
        QVERIFY(file.open(QIODevice::ReadOnly));
        QList<QByteArray> lines = file.readAll().split('\n');
        file.close();
        const qsizetype tab = d.bytes.indexOf('\t');
        const int n = d.bytes.left(tab).toInt();
        QVERIFY(n >= 1 && n <= lines.size());
        lines[n - 1] = d.bytes.mid(tab + 1);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(lines.join('\n'));
        return;
    }
    case Edit::Replace:
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(d.bytes);
        return;
    }
}

// Every record of every trait and every bin, read as the panels read them, as text; "" when a
// read comes up short or a record lies outside the name lists.
QStringList readBack(const Dataset &dataset)
{
    const QString &folder = dataset.folder();
    const DatasetTables &t = dataset.tables();
    QStringList out;
    if (!QFile::exists(folder + QStringLiteral("/table1.dat")))
        return {QStringLiteral("no table1.dat")};
    for (const QString &name : t.traitNames) {
        const auto read = quillmap::readTrait(dataset, name);
        if (!read && read.kind() == quillmap::ErrorKind::NoRecords)
            continue;
        if (!read)
            return {QString()};
        for (int k = 0; k < read->count(); ++k) {
            const RowRecord &r = read->rows[size_t(k)];
            out << QStringLiteral("%1: %2 %3 %4 %5")
                       .arg(name, t.traitNames.value(r.traitIndex), t.snpNames.at(r.snpIndex))
                       .arg(r.firstStat)
                       .arg(read->extraCount ? read->statistic(k, 1) : 0.0f);
        }
    }
    for (auto it = t.binRecordCounts.cbegin(); it != t.binRecordCounts.cend(); ++it) {
        const auto read = quillmap::bypos::readRegion(dataset, it.key());
        if (!read)
            return {QString()};
        for (const RowRecord &r : read->rows) {
            const int line = t.snpLineOfIndex(r.snpIndex);
            const auto bin = quillmap::positionBin(t.snpChromosome(line), t.snpPosition(line));
            out << QStringLiteral("bin %1: %2 %3 in bin %4")
                       .arg(it.key())
                       .arg(t.traitNames.value(r.traitIndex), t.snpNames.value(r.snpIndex))
                       .arg(bin.value_or(-1));
        }
    }
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Damage)

class tst_DamagedDataset final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void damage_data();
    void damage();
    void fifoInAFilesPlace_data();
    void fifoInAFilesPlace();

private:
    QTemporaryDir m_dir;
    QStringList m_good; // readBack() of the undamaged fixture
};

void tst_DamagedDataset::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString folder = DatasetFixture::small().write(m_dir.filePath(QStringLiteral("good")));
    const auto loaded = Dataset::load(folder);
    QVERIFY2(loaded.ok(), qPrintable(loaded.message()));
    m_good = readBack(**loaded);
    QCOMPARE(m_good.size(), 10);
    for (const QString &line : std::as_const(m_good)) {
        // Each trait's records are its own, each bin's SNPs lie in it.
        if (line.startsWith(QLatin1String("bin ")))
            QCOMPARE(line.section(QLatin1Char(' '), 1, 1).chopped(1), line.section(QLatin1Char(' '), -1));
        else
            QCOMPARE(line.section(QLatin1Char(' '), 0, 0).chopped(1), line.section(QLatin1Char(' '), 1, 1));
    }
}

void tst_DamagedDataset::damage_data()
{
    // The fixture: traits T1 (2 records) and T2 (3), SNPs rs1..rs3 in bins 1012, 2010 and 23000,
    // E = 1 (16-byte records), M = 1, a trait group file.
    QTest::addColumn<QList<Damage>>("damages");
    QTest::addColumn<QString>("detail"); // empty: the dataset opens and reads as before
    using D = QList<Damage>;
    const auto replace = [](const char *file, const QByteArray &bytes) {
        return Damage{QLatin1String(file), Edit::Replace, bytes, 0};
    };
    const auto line = [](const char *file, int n, const QByteArray &text) {
        return Damage{QLatin1String(file), Edit::ReplaceLine, QByteArray::number(n) + '\t' + text, 0};
    };
    const auto truncate = [](const char *file, qint64 size) {
        return Damage{QLatin1String(file), Edit::Truncate, {}, size};
    };
    const auto append = [](const char *file, const QByteArray &bytes) {
        return Damage{QLatin1String(file), Edit::Append, bytes, 0};
    };

    // summary.txt
    QTest::newRow("summary: extra statistic count not a number")
        << D{line("summary.txt", 4, "number of extra trait columns\tone")}
        << "line 4 of summary.txt does not give the number of extra statistics.";
    QTest::newRow("summary: extra statistic count without its field")
        << D{line("summary.txt", 4, "number of extra trait columns")}
        << "line 4 of summary.txt does not give the number of extra statistics.";
    QTest::newRow("summary: extra statistic count 2^31 - 1")
        << D{line("summary.txt", 4, "number of extra trait columns\t2147483647")}
        << "the column counts in summary.txt do not match its headers.";
    QTest::newRow("summary: fewer extra statistics than the header holds")
        << D{line("summary.txt", 4, "number of extra trait columns\t0")}
        << "the column counts in summary.txt do not match its headers.";
    QTest::newRow("summary: extra SNP column count not a number")
        << D{line("summary.txt", 5, "number of extra snp columns\t1x")}
        << "line 5 of summary.txt does not give the number of extra SNP columns.";
    QTest::newRow("summary: five lines, as an import that stopped would leave")
        << D{Damage{QStringLiteral("summary.txt"), Edit::KeepLines, {}, 5}}
        << "summary.txt does not end with the counts of a finished import.";
    QTest::newRow("summary: import did not finish")
        << D{line("summary.txt", 6,
                  "error : the import into this folder has not finished, please load the data again!"),
             line("summary.txt", 7, "")}
        << "summary.txt does not end with the counts of a finished import.";
    QTest::newRow("summary: more traits than IDlist.dat lists")
        << D{line("summary.txt", 6, "Trait Num :\t 3")} << "summary.txt counts 3 traits, IDlist.dat lists 2.";
    QTest::newRow("summary: fewer SNPs than SNPlist.dat lists")
        << D{line("summary.txt", 7, "SNP Num :\t 2")} << "summary.txt counts 2 SNPs, SNPlist.dat lists 3.";

    // Count files
    QTest::newRow("ID_Line.dat: a count that is not a number")
        << D{replace("ID_Line.dat", "T1\tabc\nT2\t3\n")}
        << "ID_Line.dat line 1 is not a name and a record count.";
    QTest::newRow("ID_Line.dat: a line without a count")
        << D{replace("ID_Line.dat", "T1\nT2\t3\n")} << "ID_Line.dat line 1 is not a name and a record count.";
    QTest::newRow("ID_Line.dat: a count beyond 32 bits")
        << D{replace("ID_Line.dat", "T1\t4294967298\nT2\t3\n")}
        << "ID_Line.dat line 1 is not a name and a record count.";
    QTest::newRow("Pos_Line.dat: a bin that is not a number")
        << D{replace("Pos_Line.dat", "1012\t2\nchr2\t2\n23000\t1\n")}
        << "Pos_Line.dat line 2 is not a bin and a record count.";
    QTest::newRow("Pos_Line.dat: lines out of order")
        << D{replace("Pos_Line.dat", "2010\t2\n23000\t1\n1012\t2\n")} << "";
    QTest::newRow("ID_Line.dat: CRLF line ends") << D{replace("ID_Line.dat", "T1\t2\r\nT2\t3\r\n")} << "";
    QTest::newRow("ID_Line.dat: a trait IDlist.dat does not list")
        << D{replace("ID_Line.dat", "T1\t2\nT9\t3\n")}
        << "ID_Line.dat and IDlist.dat do not list the same traits.";
    QTest::newRow("IDlist.dat: a trait without records")
        << D{replace("IDlist.dat", "T1\nT2\nT3\n"), line("summary.txt", 6, "Trait Num :\t 3")}
        << "ID_Line.dat and IDlist.dat do not list the same traits.";
    QTest::newRow("ID_Line.dat: counts moved between traits")
        << D{replace("ID_Line.dat", "T1\t3\nT2\t2\n")}
        << "table1.dat does not hold the records of T1 where ID_Line.dat places them.";
    QTest::newRow("Pos_Line.dat: counts moved between bins")
        << D{replace("Pos_Line.dat", "1012\t1\n2010\t3\n23000\t1\n")}
        << "table2.dat does not hold the records of bin 2010 where Pos_Line.dat places them.";
    QTest::newRow("count files disagree on the total")
        << D{replace("Pos_Line.dat", "1012\t2\n2010\t2\n23000\t2\n"),
             append("table2.dat", QByteArray(16, '\0'))}
        << "ID_Line.dat counts 5 records, Pos_Line.dat 6.";

    // Tables
    QTest::newRow("table1.dat: cut in a record")
        << D{truncate("table1.dat", 70)} << "table1.dat holds fewer records than ID_Line.dat lists.";
    QTest::newRow("table1.dat: padded by a record")
        << D{append("table1.dat", QByteArray(16, '\x7f'))}
        << "table1.dat holds more records than ID_Line.dat lists.";
    QTest::newRow("table2.dat: padded by a byte") << D{append("table2.dat", QByteArray(1, '\0'))}
                                                  << "table2.dat holds more records than Pos_Line.dat lists.";
    QTest::newRow("table2.dat: empty")
        << D{truncate("table2.dat", 0)} << "table2.dat holds fewer records than Pos_Line.dat lists.";

    // Input files read again from their recorded paths
    QTest::newRow("SNP information file lost a SNP")
        << D{replace("inputs/snp_info.txt", "SNP\tchr\tpos\tgene\nrs1\t1\t12.5\tGA\nrs2\t2\t10.5\tGB\n")}
        << "the SNP information file %1/inputs/snp_info.txt has no line for the SNP rs3.";
    QTest::newRow("SNP information file moved a SNP to another bin")
        << D{replace("inputs/snp_info.txt",
                     "SNP\tchr\tpos\tgene\nrs1\t1\t12.5\tGA\nrs2\t2\t11.5\tGB\nrs3\tX\t0.0000015\tGC\n")}
        << "table2.dat does not hold the records of bin 2010 where Pos_Line.dat places them.";
    QTest::newRow("SNP information file with CRLF line ends") << D{replace(
        "inputs/snp_info.txt",
        "SNP\tchr\tpos\tgene\r\nrs1\t1\t12.5\tGA\r\nrs2\t2\t10.5\tGB\r\nrs3\tX\t0.0000015\tGC\r\n")}
                                                              << "";
    QTest::newRow("trait information file emptied") << D{replace("inputs/trait_info.txt", "")} << "";
    QTest::newRow("Gene2ID.dat and the trait group file garbled")
        << D{replace("Gene2ID.dat", "\t\t\n\n\xff\xfe\0\n"), replace("inputs/groups.txt", "\n\t\n")} << "";
}

void tst_DamagedDataset::damage()
{
    QFETCH(const QList<Damage>, damages);
    QFETCH(QString, detail);
    const QString folder = DatasetFixture::small().write(m_dir.filePath(
        QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(':'), QLatin1Char('_'))));
    for (const Damage &d : std::as_const(damages))
        apply(folder, d);

    DatasetTables t;
    const Status outcome = DatasetLoader(folder).load(t);
    if (!detail.isEmpty()) {
        QVERIFY2(!outcome.ok(), "the damaged dataset was opened");
        QCOMPARE(outcome.message(), damagedDatasetMessage(folder, detail.arg(folder)));
        QVERIFY(!t.loaded);
        QVERIFY(t.traitNames.isEmpty() && t.snpNames.isEmpty() && t.traitRecordCounts.isEmpty());
        return;
    }
    QVERIFY2(outcome.ok(), qPrintable(outcome.message()));
    const auto loaded = Dataset::load(folder);
    QVERIFY2(loaded.ok(), qPrintable(loaded.message()));
    QCOMPARE(readBack(**loaded), m_good);
}

// A FIFO waits for a writer that never comes: refused (or, for the SNP index, a cache, rebuilt)
// at once, as for the tables.
void tst_DamagedDataset::fifoInAFilesPlace_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("opens");
    for (const char *name :
         {"summary.txt", "ID_Line.dat", "Pos_Line.dat", "SNPlist.dat", "IDlist.dat", "genome_build.txt"})
        QTest::newRow(name) << QString::fromLatin1(name) << false;
    QTest::newRow("SNPinfo.idx") << QStringLiteral("SNPinfo.idx") << true;
}

void tst_DamagedDataset::fifoInAFilesPlace()
{
    QFETCH(QString, file);
    QFETCH(bool, opens);
    const QString folder = DatasetFixture::small().write(m_dir.filePath(QStringLiteral("fifo-") + file));
    const QByteArray path = QFile::encodeName(folder + QLatin1Char('/') + file);
    ::unlink(path.constData());
    QCOMPARE(::mkfifo(path.constData(), 0600), 0);
    auto loading = std::async(std::launch::async, [&folder] { return Dataset::load(folder).ok(); });
    if (loading.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        // Set the reader free before failing.
        const int writer = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
        QFAIL("the load waits on the FIFO");
    }
    QCOMPARE(loading.get(), opens);
}

QTEST_GUILESS_MAIN(tst_DamagedDataset)
#include "tst_damageddataset.moc"
