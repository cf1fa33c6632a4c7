#include "dataset/datasetfiles.h"
#include "dataset/datasetloader.h"
#include "dataset/datasettables.h"
#include "dataset/resultrecord.h"
#include "import/importer.h"
#include "import/runspill.h"
#include "import/spillfile.h"
#include "io/linereader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>
#include <QTest>

#include <zlib.h>
#include <zstd.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../support/filesizelimit.h"

using namespace Qt::StringLiterals;
using namespace quillmap;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

void writeGzip(const QString &path, const QByteArray &bytes)
{
    gzFile gz = gzopen(QFile::encodeName(path).constData(), "wb");
    QVERIFY(gz);
    QCOMPARE(gzwrite(gz, bytes.constData(), unsigned(bytes.size())), int(bytes.size()));
    QCOMPARE(gzclose(gz), Z_OK);
}

void writeZstd(const QString &path, const QByteArray &bytes)
{
    QByteArray packed(qsizetype(ZSTD_compressBound(size_t(bytes.size()))), '\0');
    const size_t size = ZSTD_compress(packed.data(), size_t(packed.size()), bytes.constData(),
                                      size_t(bytes.size()), 3);
    QVERIFY(!ZSTD_isError(size));
    writeAll(path, packed.left(qsizetype(size)));
}

// A .hex golden file: one record per line in hex; text after '#' is a comment.
QByteArray decodeHex(const QByteArray &text)
{
    QByteArray hex;
    for (QByteArray line : text.split('\n')) {
        const qsizetype comment = line.indexOf('#');
        if (comment >= 0)
            line.truncate(comment);
        hex += line.trimmed();
    }
    return QByteArray::fromHex(hex);
}

QString file(const QString &folder, const char *name)
{
    return quillmap::files::datasetFilePath(folder, name);
}

const char *const AllOutputs[] = {
    quillmap::files::TraitList,   quillmap::files::SnpList,  quillmap::files::TraitTable,
    quillmap::files::TraitCounts, quillmap::files::BinTable, quillmap::files::BinCounts,
    quillmap::files::GroupTraits, quillmap::files::BinGenes,
};

// Every dataset file except summary.txt, filled with a marker, as an earlier import would leave.
void fillWithOldFiles(const QString &folder)
{
    for (const char *name : AllOutputs)
        writeAll(file(folder, name), "OLD");
}

QList<QByteArray> summaryLines(const QString &folder)
{
    return readAll(file(folder, quillmap::files::Summary)).split('\n');
}

const QByteArray GoodResults = "T\tS\tp\tb\nT1\trs1\t0.5\t1\nT2\trs2\t0.1\t2\nT1\trs2\t0.3\t3\n";
const QByteArray GoodSnps = "S\tchr\tpos\nrs1\t1\t1.5\nrs2\tX\t2.5\n";
const QByteArray GoodTraits = "T\tx\nT1\ta\nT2\tb\n";
const QByteArray GoodGroups = "T\tG\nT1\tG1\n";
const QByteArray GoodGenes = "G\tC\tS\tE\ng1\t1\t1.2\t1.3\n";

// What a failed import leaves of the earlier dataset files, by the file that failed.
enum class Left { ResultsFailure, TraitFailure, SnpFailure };

} // namespace

Q_DECLARE_METATYPE(Left)

class tst_Importer final : public QObject
{
    Q_OBJECT

private:
    // Writes the five inputs into `dir` and returns their paths.
    static ImportInputs makeInputs(const QString &dir, const QByteArray &results, const QByteArray &snps,
                                   const QByteArray &traits, const QByteArray &groups = {},
                                   const QByteArray &genes = {})
    {
        ImportInputs in;
        in.results = dir + QStringLiteral("/results.txt");
        in.snpInfo = dir + QStringLiteral("/snps.txt");
        in.traitInfo = dir + QStringLiteral("/traits.txt");
        writeAll(in.results, results);
        writeAll(in.snpInfo, snps);
        writeAll(in.traitInfo, traits);
        if (!groups.isNull()) {
            in.groups = dir + QStringLiteral("/groups.txt");
            writeAll(in.groups, groups);
        }
        if (!genes.isNull()) {
            in.genes = dir + QStringLiteral("/genes.txt");
            writeAll(in.genes, genes);
        }
        return in;
    }

    static QByteArray summaryHead(const ImportInputs &in, const QByteArray &resultsHeader,
                                  const QByteArray &snpHeader, int extraStats, int extraSnp)
    {
        QByteArray paths = in.results.toUtf8() + '\t' + in.snpInfo.toUtf8() + '\t' + in.traitInfo.toUtf8();
        if (!in.groups.isEmpty())
            paths += '\t' + in.groups.toUtf8();
        return paths + "\nHeader of the columns for main table:\t" + resultsHeader
            + "\nHeader of the columns for snp table:\t" + snpHeader + "\nnumber of extra trait columns\t"
            + QByteArray::number(extraStats) + "\nnumber of extra snp columns\t"
            + QByteArray::number(extraSnp) + '\n';
    }

private slots:
    void goldenFolder_data();
    void goldenFolder();
    void validation_data();
    void validation();
    void snpHeaderChangedBetweenPasses();
    void acceptedNumbersAndPositions();
    void negLog10Column_data();
    void negLog10Column();
    void emptyStatisticColumnsGiveTwelveByteRecords();
    void wideResultsFile();
    void namesThatDecodeAlikeAreOneName();
    void inputThatCannotBeOpened_data();
    void inputThatCannotBeOpened();
    void missingFolderIsAWriteFailure();
    void compressedInputEqualsPlainInput_data();
    void compressedInputEqualsPlainInput();
    void spilledRunsEqualInMemory_data();
    void spilledRunsEqualInMemory();
    void spillFileReadsBackAnyRange_data();
    void spillFileReadsBackAnyRange();
    void defaultMemoryLimit_data();
    void defaultMemoryLimit();
    void byteOrderMarkIsStripped();
    void reimportRemovesOptionalFilesItDoesNotWrite();
    void plantedLinksAreReplaced_data();
    void plantedLinksAreReplaced();
    void refusedBeforeAnythingIsWritten_data();
    void refusedBeforeAnythingIsWritten();
    void lockFiles_data();
    void lockFiles();
    void failedWriteFailsTheImport_data();
    void failedWriteFailsTheImport();
    void secondImportHasOnlyItsOwnNames();
    void progressStagesAndFolderMarkedWhileRunning();
};

void tst_Importer::goldenFolder_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("optionalFiles");
    QTest::newRow("two extra statistics, CRLF, groups and genes") << "basic" << true;
    QTest::newRow("no extra statistics, names in UTF-16 order") << "utf16order" << false;
}

void tst_Importer::goldenFolder()
{
    QFETCH(QString, name);
    QFETCH(bool, optionalFiles);
    const QString dir = QStringLiteral(QUILLMAP_TESTDATA "/data/") + name;
    ImportInputs in;
    in.results = dir + QStringLiteral("/results.txt");
    in.snpInfo = dir + QStringLiteral("/snpinfo.txt");
    in.traitInfo = dir + QStringLiteral("/traitinfo.txt");
    if (optionalFiles) {
        in.groups = dir + QStringLiteral("/groups.txt");
        in.genes = dir + QStringLiteral("/genes.txt");
    }
    QTemporaryDir out;
    QVERIFY(out.isValid());
    const ImportResult result = runImport(out.path(), in);
    QVERIFY2(!result.failed, qPrintable(result.errorText));

    const QDir expected(dir + QStringLiteral("/expected"));
    QStringList compared;
    for (const QString &entry : expected.entryList(QDir::Files)) {
        QByteArray want = readAll(expected.filePath(entry));
        QString written = entry;
        if (entry.endsWith(QLatin1String(".hex"))) {
            want = decodeHex(want);
            written.replace(QLatin1String(".hex"), QLatin1String(".dat"));
        }
        if (entry == QLatin1String("summary.txt"))
            want.replace("@DIR@", dir.toUtf8());
        const QByteArray got = readAll(out.filePath(written));
        QVERIFY2(got == want,
                 qPrintable(written + QStringLiteral(":\n") + QString::fromUtf8(got.toHex(' '))
                            + QStringLiteral("\nexpected\n") + QString::fromUtf8(want.toHex(' '))));
        compared << written;
    }
    // Nothing more than the expected files: no Gene2ID.dat or pos2gene.dat when not chosen, and
    // no temporary files left behind.
    QStringList present = QDir(out.path()).entryList(QDir::Files);
    present.sort();
    compared.sort();
    QCOMPARE(present, compared);
    QCOMPARE(result.rows, qint64(6));
}

void tst_Importer::validation_data()
{
    QTest::addColumn<QByteArray>("results");
    QTest::addColumn<QByteArray>("snps");
    QTest::addColumn<QByteArray>("traits");
    QTest::addColumn<QByteArray>("reportLine"); // the exact bytes after line 5
    QTest::addColumn<QString>("errorText");
    QTest::addColumn<Left>("left");

    const QByteArray head = "T\tS\tp\tb\n";
    auto results = [&](const QByteArray &rows) { return head + rows; };
    const QByteArray three = "T1\trs1\t0.5\t1\nT2\trs2\t0.1\t2\nT1\trs2\t0.3\t3\n";

    // Check 1a and 1b: results lines, numbered from the first data line; blank lines count.
    QTest::newRow("worked example: 4th line one field too many")
        << results(three + "T2\trs1\t0.2\t4\t9\n") << GoodSnps << GoodTraits
        << QByteArray("error : 4th line has different column numbers!\n")
        << "error : 4th line has different column numbers!" << Left::ResultsFailure;
    QTest::newRow("results line one field short")
        << results("T1\trs1\t0.5\n") << GoodSnps << GoodTraits
        << QByteArray("error : 1th line has different column numbers!\n")
        << "error : 1th line has different column numbers!" << Left::ResultsFailure;
    QTest::newRow("blank line inside results")
        << results("T1\trs1\t0.5\t1\n\nT2\trs2\t0.1\t2\n") << GoodSnps << GoodTraits
        << QByteArray("error : 2th line has different column numbers!\n")
        << "error : 2th line has different column numbers!" << Left::ResultsFailure;
    QTest::newRow("trailing tab adds a field")
        << results("T1\trs1\t0.5\t1\t\n") << GoodSnps << GoodTraits
        << QByteArray("error : 1th line has different column numbers!\n")
        << "error : 1th line has different column numbers!" << Left::ResultsFailure;
    QTest::newRow("column count is checked before the numbers")
        << results("T1\trs1\tNA\n") << GoodSnps << GoodTraits
        << QByteArray("error : 1th line has different column numbers!\n")
        << "error : 1th line has different column numbers!" << Left::ResultsFailure;
    const struct {
        const char *name;
        const char *value;
    } badStats[] = {{"NA", "NA"},
                    {"empty", ""},
                    {"decimal comma", "1,5"},
                    {"4e38", "4e38"},
                    {"-4e38", "-4e38"},
                    {"nan", "nan"},
                    {"inf", "inf"},
                    {"Infinity", "Infinity"},
                    {"leading blank", " 1"},
                    {"trailing blank", "1 "},
                    {"hex", "0x10"},
                    {"bare exponent", "1e"},
                    {"1e400", "1e400"}};
    for (const auto &bad : badStats) {
        QTest::addRow("statistic %s in the extra column", bad.name)
            << results(three + "T2\trs1\t0.2\t" + bad.value + "\n") << GoodSnps << GoodTraits
            << QByteArray("error : 4th line has invalid numeric number!\n")
            << "error : 4th line has invalid numeric number! " << Left::ResultsFailure;
    }
    QTest::newRow("NA in the first statistic")
        << results("T1\trs1\tNA\t1\n") << GoodSnps << GoodTraits
        << QByteArray("error : 1th line has invalid numeric number!\n")
        << "error : 1th line has invalid numeric number! " << Left::ResultsFailure;
    QTest::newRow("results header with two fields")
        << QByteArray("T\tS\nT1\trs1\n") << GoodSnps << GoodTraits
        << QByteArray("error : the results file needs at least 3 columns (trait, SNP, statistic)!\n")
        << "error : the results file needs at least 3 columns (trait, SNP, statistic)!"
        << Left::ResultsFailure;
    QTest::newRow("empty results file")
        << QByteArray() << GoodSnps << GoodTraits
        << QByteArray("error : the results file needs at least 3 columns (trait, SNP, statistic)!\n")
        << "error : the results file needs at least 3 columns (trait, SNP, statistic)!"
        << Left::ResultsFailure;
    QTest::newRow("results header without data lines")
        << head << GoodSnps << GoodTraits << QByteArray("error : the results file has no data lines!\n")
        << "error : the results file has no data lines!" << Left::ResultsFailure;
    QTest::newRow("SNP information header with two fields")
        << GoodResults << QByteArray("S\tchr\nrs1\t1\n") << GoodTraits
        << QByteArray("error : the snp info file needs at least 3 columns (SNP, chr, pos)!\n")
        << "error : the snp info file needs at least 3 columns (SNP, chr, pos)!" << Left::ResultsFailure;

    // Check 2: trait information lines.
    QTest::newRow("trait information line with an extra field")
        << GoodResults << GoodSnps << QByteArray("T\tx\nT1\ta\nT2\tb\tc\n")
        << QByteArray("error : 2th line has different column numbers!\n")
        << "error : 2th line has different column numbers!" << Left::TraitFailure;
    QTest::newRow("blank line in trait information")
        << GoodResults << GoodSnps << QByteArray("T\tx\n\nT1\ta\n")
        << QByteArray("error : 1th line has different column numbers!\n")
        << "error : 1th line has different column numbers!" << Left::TraitFailure;
    QTest::newRow("results error comes before trait error")
        << results("T1\trs1\t0.5\t1\nT1\trs1\tx\t1\n") << GoodSnps << QByteArray("T\tx\nT1\n")
        << QByteArray("error : 2th line has invalid numeric number!\n")
        << "error : 2th line has invalid numeric number! " << Left::ResultsFailure;

    // Check 4: SNP information lines; no blank between the colon and the number.
    QTest::newRow("SNP information line with a missing field")
        << GoodResults << QByteArray("S\tchr\tpos\nrs1\t1\t1.5\nrs2\tX\n") << GoodTraits
        << QByteArray("error :2th line has different column numbers!\n")
        << "error :2th line has different column numbers!" << Left::SnpFailure;
    QTest::newRow("field count is checked before the chromosome")
        << GoodResults << QByteArray("S\tchr\tpos\nrs1\tchr1\n") << GoodTraits
        << QByteArray("error :1th line has different column numbers!\n")
        << "error :1th line has different column numbers!" << Left::SnpFailure;
    for (const char *chr : {"chr1", "x", "Y", "XY", "MT", "01", "0", "24", "", " 1", "1 "}) {
        QTest::addRow("chromosome '%s'", chr)
            << GoodResults << QByteArray("S\tchr\tpos\nrs1\t1\t1.5\nrs2\t") + chr + "\t2.5\n"
            << GoodTraits << QByteArray("error :2th line has invalid chr!")
            << "error :2th line has invalid chr!" << Left::SnpFailure;
    }
    QTest::newRow("chromosome is checked before the position")
        << GoodResults << QByteArray("S\tchr\tpos\nrs1\tY\t12\n") << GoodTraits
        << QByteArray("error :1th line has invalid chr!") << "error :1th line has invalid chr!"
        << Left::SnpFailure;
    const QByteArray posError =
        "th line has invalid pos! It must be in Mb with at least 1 digits after decimal!";
    for (const char *pos : {"123456", "12.", "12,5", "NA", "1e5", "", "4e38.5", "1.5 "}) {
        QTest::addRow("position '%s'", pos)
            << GoodResults << QByteArray("S\tchr\tpos\nrs1\t1\t") + pos + "\nrs2\tX\t2.5\n"
            << GoodTraits << QByteArray("error :1" + posError) << QString::fromUtf8("error :1" + posError)
            << Left::SnpFailure;
    }
    const QByteArray rangeError = "th line has invalid pos! Chromosome x 1000 + position in Mb "
                                  "must lie between -32768 and 32767!";
    QTest::newRow("position 123456.0 has no 16-bit bin")
        << GoodResults << QByteArray("S\tchr\tpos\nrs1\t1\t1.5\nrs2\t1\t123456.0\n") << GoodTraits
        << QByteArray("error :2" + rangeError) << QString::fromUtf8("error :2" + rangeError)
        << Left::SnpFailure;
    QTest::newRow("position 9768.0 on X has no 16-bit bin")
        << GoodResults << QByteArray("S\tchr\tpos\nrs1\tX\t9768.0\nrs2\tX\t2.5\n") << GoodTraits
        << QByteArray("error :1" + rangeError) << QString::fromUtf8("error :1" + rangeError)
        << Left::SnpFailure;
    QTest::newRow("SNP not in the results is still checked")
        << GoodResults << QByteArray("S\tchr\tpos\nrs1\t1\t1.5\nrs2\tX\t2.5\nrs7\tMT\t1.0\n") << GoodTraits
        << QByteArray("error :3th line has invalid chr!") << "error :3th line has invalid chr!"
        << Left::SnpFailure;

    // Check 5: a results SNP without a position line.
    QTest::newRow("results SNP missing from SNP information")
        << GoodResults << QByteArray("S\tchr\tpos\nrs1\t1\t1.5\nrs3\tX\t2.5\n") << GoodTraits
        << QByteArray("error : can't find pos info for some snp, please check the snp info file.")
        << "error : can't find pos info for some snp, please check the snp info file." << Left::SnpFailure;
    QTest::newRow("SNP names are compared exactly")
        << GoodResults << QByteArray("S\tchr\tpos\nrs1\t1\t1.5\nRS2\tX\t2.5\n") << GoodTraits
        << QByteArray("error : can't find pos info for some snp, please check the snp info file.")
        << "error : can't find pos info for some snp, please check the snp info file." << Left::SnpFailure;
    QTest::newRow("trait error comes before any SNP information error")
        << GoodResults << QByteArray("S\tchr\tpos\nrs1\tchr1\t1.5\n") << QByteArray("T\tx\nT1\n")
        << QByteArray("error : 1th line has different column numbers!\n")
        << "error : 1th line has different column numbers!" << Left::TraitFailure;
}

void tst_Importer::validation()
{
    QFETCH(QByteArray, results);
    QFETCH(QByteArray, snps);
    QFETCH(QByteArray, traits);
    QFETCH(QByteArray, reportLine);
    QFETCH(QString, errorText);
    QFETCH(Left, left);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString out = dir.filePath(QStringLiteral("dataset"));
    QVERIFY(QDir().mkpath(out));
    fillWithOldFiles(out);
    const ImportInputs in = makeInputs(dir.path(), results, snps, traits, GoodGroups, GoodGenes);

    const ImportResult result = runImport(out, in);
    QVERIFY(result.failed);
    QCOMPARE(result.failure, ImportResult::Failure::Validation);
    QCOMPARE(result.errorText, errorText);

    const QByteArray resultsHeader = results.left(qMax<qsizetype>(results.indexOf('\n'), 0));
    const QByteArray snpHeader = snps.left(snps.indexOf('\n'));
    const int extraStats = qMax<int>(int(resultsHeader.count('\t')) + 1 - 3, 0);
    const int extraSnp = qMax<int>(int(snpHeader.count('\t')) + 1 - 3, 0);
    QCOMPARE(readAll(file(out, quillmap::files::Summary)),
             summaryHead(in, resultsHeader, snpHeader, extraStats, extraSnp) + reportLine);

    using namespace quillmap::files;
    const QByteArray names = readAll(file(out, TraitList)) + readAll(file(out, SnpList));
    switch (left) {
    case Left::ResultsFailure:
        QCOMPARE(names, QByteArray());
        QCOMPARE(readAll(file(out, TraitTable)), QByteArray("OLD"));
        QCOMPARE(readAll(file(out, TraitCounts)), QByteArray("OLD"));
        break;
    case Left::TraitFailure:
        QCOMPARE(names, QByteArray("T1\nT2\nrs1\nrs2\n"));
        QCOMPARE(readAll(file(out, TraitTable)), QByteArray("OLD"));
        QCOMPARE(readAll(file(out, TraitCounts)), QByteArray("OLD"));
        break;
    case Left::SnpFailure:
        QCOMPARE(names, QByteArray("T1\nT2\nrs1\nrs2\n"));
        QCOMPARE(readAll(file(out, TraitTable)), QByteArray());
        QCOMPARE(readAll(file(out, TraitCounts)), QByteArray());
        break;
    }
    QCOMPARE(readAll(file(out, BinTable)), QByteArray("OLD"));
    QCOMPARE(readAll(file(out, BinCounts)), QByteArray("OLD"));
    // One reader, and ranges of 1 and 7 bytes on the worker threads: the same first bad line.
    for (const qint64 bytes : {qint64(-1), qint64(1), qint64(7)}) {
        const QString again = dir.filePath(QStringLiteral("again") + QString::number(bytes));
        QVERIFY(QDir().mkpath(again));
        setImportRangeBytesForTesting(bytes);
        const ImportResult other = runImport(again, in);
        setImportRangeBytesForTesting(0);
        QCOMPARE(other.errorText, errorText);
        QCOMPARE(readAll(file(again, Summary)), readAll(file(out, Summary)));
    }
    // The optional builders run after a failed check.
    QCOMPARE(readAll(file(out, GroupTraits)), QByteArray("G1\tT1\n"));
    QCOMPARE(readAll(file(out, BinGenes)), QByteArray("1001\tg1\t1.2\t1.3\n"));
}

// Check 3: the SNP information file is replaced while the import runs, between its two readings.
void tst_Importer::snpHeaderChangedBetweenPasses()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    fillWithOldFiles(dir.path());
    const ImportInputs in = makeInputs(dir.path(), GoodResults, GoodSnps, GoodTraits);
    const ImportResult result = runImport(dir.path(), in, [&](ImportStage stage, qint64) {
        if (stage == ImportStage::SnpInfo)
            writeAll(in.snpInfo, "S\tchr\tpos\textra\nrs1\t1\t1.5\t0\nrs2\tX\t2.5\t0\n");
    });
    QVERIFY(result.failed);
    QCOMPARE(result.errorText, QStringLiteral(" error : it has different column numbers!"));
    QCOMPARE(summaryLines(dir.path()).value(5), QByteArray(" error : it has different column numbers!"));
    QCOMPARE(summaryLines(dir.path()).size(), 7); // six lines, the last ended by a line feed
    QCOMPARE(readAll(file(dir.path(), quillmap::files::TraitTable)), QByteArray());
    QCOMPARE(readAll(file(dir.path(), quillmap::files::BinTable)), QByteArray("OLD"));
}

void tst_Importer::acceptedNumbersAndPositions()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const ImportInputs in = makeInputs(
        dir.path(),
        "T\tS\tp\nA\ts1\t3e38\nA\ts2\t1e-300\nA\ts3\t-3.4028234e38\nA\ts4\t5.74e-50\nA\ts5\t1E-40\n",
        "S\tchr\tpos\ns1\t1\t1.5e2\ns2\t23\t0.25\ns3\t22\t123456.0e-3\ns4\tX\t9767.5\n"
        "s5\t1\t-32768.5e-3\n",
        "T\nA\n");
    const ImportResult result = runImport(dir.path(), in);
    QVERIFY2(!result.failed, qPrintable(result.errorText));
    // 1.5e2 on chromosome 1 -> 1150; 0.25 on 23 -> 23000; 123.456 on 22 -> 22123;
    // 9767.5 on X -> 32767; -32.7685 on 1 -> 967.
    QCOMPARE(readAll(file(dir.path(), quillmap::files::BinCounts)),
             QByteArray("967\t1\n1150\t1\n22123\t1\n23000\t1\n32767\t1\n"));
    const QByteArray table = readAll(file(dir.path(), quillmap::files::TraitTable));
    QCOMPARE(table.size(), 5 * 12);
    QCOMPARE(result.lost.size(), 1);
    QCOMPARE(result.lost[0].column, QStringLiteral("p"));
    QCOMPARE(result.lost[0].count, 3);
    QCOMPARE(result.lost[0].firstLine, 2);
    QVERIFY(lostValuesNotice(result.lost).contains(QStringLiteral("--neglog10 p")));
    const float expected[] = {3e38f, 0.0f, -3.4028234e38f, 0.0f, 1e-40f};
    for (int r = 0; r < 5; ++r) {
        const quillmap::RecordHead head = quillmap::decodeRecord(table.constData() + 12 * r, nullptr, 0);
        QCOMPARE(head.traitIndex, 0);
        QCOMPARE(head.snpIndex, r);
        QCOMPARE(head.firstStat, expected[r]);
    }
}

void tst_Importer::negLog10Column_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<QByteArray>("p");
    QTest::addColumn<float>("stored");
    QTest::addColumn<QString>("errorText");

    QTest::newRow("4.96e-99") << "p" << QByteArray("4.96e-99") << 98.3045183f << QString();
    QTest::newRow("3.5e-415") << "p" << QByteArray("3.5e-415") << 414.455932f << QString();
    QTest::newRow("1") << "p" << QByteArray("1") << 0.0f << QString();
    QTest::newRow("0") << "p" << QByteArray("0") << 0.0f
                       << "error : 2th line has 0 in column p, a p-value of 0 has no -log10!";
    QTest::newRow("negative")
        << "p" << QByteArray("-0.5") << 0.0f
        << "error : 2th line has -0.5 in column p, which is not a p-value between 0 and 1!";
    QTest::newRow("above 1")
        << "p" << QByteArray("1.5") << 0.0f
        << "error : 2th line has 1.5 in column p, which is not a p-value between 0 and 1!";
    QTest::newRow("NA") << "p" << QByteArray("NA") << 0.0f << "error : 2th line has invalid numeric number! ";
    QTest::newRow("no such column")
        << "q" << QByteArray("0.5") << 0.0f
        << "error : the results file has no statistic column named q to store as -log10!";
    QTest::newRow("the SNP column is no statistic")
        << "S" << QByteArray("0.5") << 0.0f
        << "error : the results file has no statistic column named S to store as -log10!";
}

// --neglog10: the column keeps its strongest p-values under its new name; values with no
// -log10 name their line. The other column's lost value is still reported.
void tst_Importer::negLog10Column()
{
    QFETCH(QString, column);
    QFETCH(QByteArray, p);
    QFETCH(float, stored);
    QFETCH(QString, errorText);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ImportInputs in = makeInputs(dir.path(), "T\tS\tb\tp\nT1\trs1\t1e-300\t0.5\nT1\trs2\t2\t" + p + '\n',
                                 GoodSnps, GoodTraits);
    in.negLog10Columns = {column};
    const ImportResult result = runImport(dir.path(), in);
    QCOMPARE(result.errorText, errorText);
    if (!errorText.isEmpty())
        return;
    QCOMPARE(summaryLines(dir.path()).value(1),
             QByteArray("Header of the columns for main table:\tT\tS\tb\t-log10(p)"));
    const QByteArray table = readAll(file(dir.path(), quillmap::files::TraitTable));
    QCOMPARE(table.size(), 2 * 16);
    float extra[1] = {};
    quillmap::decodeRecord(table.constData() + 16, extra, 1);
    QCOMPARE(extra[0], stored);
    QCOMPARE(result.lost.size(), 1);
    QCOMPARE(result.lost[0].column, QStringLiteral("b"));
}

void tst_Importer::emptyStatisticColumnsGiveTwelveByteRecords()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Five lines over two traits; trait "a" sorts first and starts at offset 0.
    const ImportInputs in = makeInputs(dir.path(),
                                       "T\tS\tp\nb\ts1\t1\na\ts1\t2\nb\ts2\t3\na\ts1\t2\nb\ts1\t5\n",
                                       "S\tchr\tpos\ns1\t2\t0.5\ns2\t2\t0.7\n", "T\na\nb\n");
    const ImportResult result = runImport(dir.path(), in);
    QVERIFY2(!result.failed, qPrintable(result.errorText));
    QCOMPARE(summaryLines(dir.path()).value(3), QByteArray("number of extra trait columns\t0"));
    QCOMPARE(readAll(file(dir.path(), quillmap::files::TraitCounts)), QByteArray("a\t2\nb\t3\n"));
    QCOMPARE(readAll(file(dir.path(), quillmap::files::BinCounts)), QByteArray("2000\t5\n"));
    const QByteArray table1 = readAll(file(dir.path(), quillmap::files::TraitTable));
    const QByteArray table2 = readAll(file(dir.path(), quillmap::files::BinTable));
    QCOMPARE(table1.size(), 60);
    QCOMPARE(table2.size(), 60);
    // Duplicate lines stay two records; "a" holds records 0 and 1.
    QCOMPARE(table1.left(24), QByteArray::fromHex("00000000 00000000 40000000 00000000 00000000 40000000"));
    // table2 holds the same records.
    QList<QByteArray> one, two;
    for (int r = 0; r < 5; ++r) {
        one << table1.mid(12 * r, 12);
        two << table2.mid(12 * r, 12);
    }
    std::sort(one.begin(), one.end());
    std::sort(two.begin(), two.end());
    QCOMPARE(one, two);
    QCOMPARE(summaryLines(dir.path()).value(5), QByteArray("Trait Num :\t 2"));
    QCOMPARE(summaryLines(dir.path()).value(6), QByteArray("SNP Num :\t 2"));
}

// Thousands of statistic columns: memory follows the rows actually read.
void tst_Importer::wideResultsFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const int extra = 20000;
    QByteArray header = "T\tS\tp";
    QByteArray row1 = "A\ts1\t1";
    QByteArray row2 = "B\ts1\t2";
    for (int k = 0; k < extra; ++k) {
        header += "\tc" + QByteArray::number(k);
        row1 += "\t" + QByteArray::number(k);
        row2 += "\t-" + QByteArray::number(k);
    }
    const ImportInputs in = makeInputs(dir.path(), header + '\n' + row1 + '\n' + row2 + '\n',
                                       "S\tchr\tpos\ns1\t5\t0.5\n", "T\nA\nB\n");
    const ImportResult result = runImport(dir.path(), in);
    QVERIFY2(!result.failed, qPrintable(result.errorText));
    const QByteArray table = readAll(file(dir.path(), quillmap::files::BinTable));
    const qint64 size = quillmap::recordSize(extra);
    QCOMPARE(table.size(), 2 * size);
    std::vector<float> stats(extra);
    const quillmap::RecordHead second = quillmap::decodeRecord(table.constData() + size, stats.data(), extra);
    QCOMPARE(second.traitIndex, 1);
    QCOMPARE(second.firstStat, 2.0f);
    QCOMPARE(stats[extra - 1], -float(extra - 1));
    QCOMPARE(summaryLines(dir.path()).value(3),
             "number of extra trait columns\t" + QByteArray::number(extra));
}

// Names are text: byte strings that are not UTF-8 read as the replacement character, so two
// such traits are one trait, as a reader of IDlist.dat would see them.
void tst_Importer::namesThatDecodeAlikeAreOneName()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const ImportInputs in = makeInputs(dir.path(), "T\tS\tp\n\xff\ts1\t1\n\xfe\ts1\t2\nz\ts1\t3\n",
                                       "S\tchr\tpos\ns1\t5\t0.5\n", "T\n");
    const ImportResult result = runImport(dir.path(), in);
    QVERIFY2(!result.failed, qPrintable(result.errorText));
    QCOMPARE(readAll(file(dir.path(), quillmap::files::TraitList)), QByteArray("z\n\xEF\xBF\xBD\n"));
    QCOMPARE(readAll(file(dir.path(), quillmap::files::TraitCounts)), QByteArray("z\t1\n\xEF\xBF\xBD\t2\n"));
    QCOMPARE(summaryLines(dir.path()).value(5), QByteArray("Trait Num :\t 2"));
}

void tst_Importer::inputThatCannotBeOpened_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("role");
    QTest::newRow("results") << 0 << "results";
    QTest::newRow("SNP information") << 1 << "SNP information";
    QTest::newRow("trait information") << 2 << "trait information";
    QTest::newRow("trait groups") << 3 << "trait group";
    QTest::newRow("gene positions") << 4 << "gene position";
}

void tst_Importer::inputThatCannotBeOpened()
{
    QFETCH(int, which);
    QFETCH(QString, role);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString out = dir.filePath(QStringLiteral("dataset"));
    QVERIFY(QDir().mkpath(out));
    fillWithOldFiles(out);
    ImportInputs in = makeInputs(dir.path(), GoodResults, GoodSnps, GoodTraits, GoodGroups, GoodGenes);
    const QString missing = dir.filePath(QStringLiteral("no such file.txt"));
    QString *paths[] = {&in.results, &in.snpInfo, &in.traitInfo, &in.groups, &in.genes};
    *paths[which] = missing;

    const ImportResult result = runImport(out, in);
    QVERIFY(result.failed);
    QCOMPARE(result.failure, ImportResult::Failure::UnreadableInput);
    const QString text = QStringLiteral("error : can't open the %1 file %2!").arg(role, missing);
    QCOMPARE(result.errorText, text);
    QCOMPARE(summaryLines(out).value(5), text.toUtf8());
    QCOMPARE(summaryLines(out).size(), 7);
    // Nothing of the earlier dataset is touched.
    for (const char *name : AllOutputs)
        QCOMPARE(readAll(file(out, name)), QByteArray("OLD"));
}

void tst_Importer::missingFolderIsAWriteFailure()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const ImportInputs in = makeInputs(dir.path(), GoodResults, GoodSnps, GoodTraits);
    const QString out = dir.filePath(QStringLiteral("missing/folder"));
    const ImportResult result = runImport(out, in);
    QVERIFY(result.failed);
    QCOMPARE(result.failure, ImportResult::Failure::WriteFailure);
    QVERIFY(result.errorText.startsWith(QLatin1String("error : can't write the file ")));
    QVERIFY(result.errorText.contains(out));
}

void tst_Importer::compressedInputEqualsPlainInput_data()
{
    QTest::addColumn<bool>("zstd");
    QTest::newRow("gzip") << false;
    QTest::newRow("zstd") << true;
}

void tst_Importer::compressedInputEqualsPlainInput()
{
    QFETCH(bool, zstd);
    const QString data = QStringLiteral(QUILLMAP_TESTDATA "/data/basic");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ImportInputs plain;
    plain.results = data + QStringLiteral("/results.txt");
    plain.snpInfo = data + QStringLiteral("/snpinfo.txt");
    plain.traitInfo = data + QStringLiteral("/traitinfo.txt");
    plain.groups = data + QStringLiteral("/groups.txt");
    plain.genes = data + QStringLiteral("/genes.txt");
    ImportInputs packed;
    QString *from[] = {&plain.results, &plain.snpInfo, &plain.traitInfo, &plain.groups, &plain.genes};
    QString *to[] = {&packed.results, &packed.snpInfo, &packed.traitInfo, &packed.groups, &packed.genes};
    for (int i = 0; i < 5; ++i) {
        // Compression is known by content: the SNP information file keeps a plain name.
        *to[i] = dir.filePath(QFileInfo(*from[i]).fileName()
                              + (i == 1     ? QString()
                                     : zstd ? QStringLiteral(".zst")
                                            : QStringLiteral(".gz")));
        if (zstd)
            writeZstd(*to[i], readAll(*from[i]));
        else
            writeGzip(*to[i], readAll(*from[i]));
    }
    const QString a = dir.filePath(QStringLiteral("plain"));
    const QString b = dir.filePath(QStringLiteral("packed"));
    QVERIFY(QDir().mkpath(a) && QDir().mkpath(b));
    QVERIFY(!runImport(a, plain).failed);
    const ImportResult result = runImport(b, packed);
    QVERIFY2(!result.failed, qPrintable(result.errorText));
    for (const char *name : AllOutputs)
        QCOMPARE(readAll(file(b, name)), readAll(file(a, name)));
    QCOMPARE(summaryLines(b).mid(1), summaryLines(a).mid(1));
    QCOMPARE(summaryLines(b).value(0),
             packed.results.toUtf8() + '\t' + packed.snpInfo.toUtf8() + '\t' + packed.traitInfo.toUtf8()
                 + '\t' + packed.groups.toUtf8());

    // The dataset opens, with the side files read as the import read them.
    DatasetTables plainTables;
    DatasetTables packedTables;
    QVERIFY(DatasetLoader(a).load(plainTables).ok());
    const Status opened = DatasetLoader(b).load(packedTables);
    QVERIFY2(opened.ok(), qPrintable(opened.message()));
    QCOMPARE(packedTables.traitInfoMap, plainTables.traitInfoMap);
    QCOMPARE(packedTables.traitGroupMap, plainTables.traitGroupMap);
    QCOMPARE(packedTables.snpLineText(0), plainTables.snpLineText(0));

    // A cut-off stream is an input that cannot be read to its end.
    QByteArray damaged = readAll(packed.results);
    damaged.truncate(damaged.size() / 2);
    writeAll(packed.results, damaged);
    const ImportResult bad = runImport(b, packed);
    QVERIFY(bad.failed);
    QCOMPARE(bad.failure, ImportResult::Failure::UnreadableInput);
    QVERIFY(bad.errorText.contains(QLatin1String("can't read the results file")));

    // A line longer than the reader takes is named as such, not as a damaged stream.
    const QByteArray longLine = "T\tS\tp\tb\n" + QByteArray(3 << 20, 'a') + "\n";
    zstd ? writeZstd(packed.results, longLine) : writeGzip(packed.results, longLine);
    LineReader::setMaxLineBytesForTesting(1 << 20);
    const ImportResult tooLong = runImport(b, packed);
    LineReader::setMaxLineBytesForTesting(1 << 30);
    QCOMPARE(tooLong.failure, ImportResult::Failure::UnreadableInput);
    QCOMPARE(tooLong.errorText,
             QStringLiteral("error : the results file %1 has a line longer than 1 MiB, more"
                            " than a line may hold!")
                 .arg(packed.results));
}

void tst_Importer::byteOrderMarkIsStripped()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray bom = "\xEF\xBB\xBF";
    const ImportInputs in = makeInputs(dir.path(), bom + GoodResults, bom + GoodSnps,
                                       bom + "T\tx\nT1\ta\nT2\tb\n", bom + GoodGroups, bom + GoodGenes);
    const ImportResult result = runImport(dir.path(), in);
    QVERIFY2(!result.failed, qPrintable(result.errorText));
    const QList<QByteArray> lines = summaryLines(dir.path());
    QCOMPARE(lines.value(1), QByteArray("Header of the columns for main table:\tT\tS\tp\tb"));
    QCOMPARE(lines.value(2), QByteArray("Header of the columns for snp table:\tS\tchr\tpos"));
    QCOMPARE(readAll(file(dir.path(), quillmap::files::TraitList)), QByteArray("T1\nT2\n"));
}

void tst_Importer::reimportRemovesOptionalFilesItDoesNotWrite()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ImportInputs in = makeInputs(dir.path(), GoodResults, GoodSnps, GoodTraits, GoodGroups, GoodGenes);
    QVERIFY(!runImport(dir.path(), in).failed);
    QCOMPARE(readAll(file(dir.path(), quillmap::files::BinGenes)), QByteArray("1001\tg1\t1.2\t1.3\n"));

    // Another study's genes (perhaps of another build) must not be drawn under this one.
    in.groups.clear();
    in.genes.clear();
    QVERIFY(!runImport(dir.path(), in).failed);
    QVERIFY(!QFileInfo::exists(file(dir.path(), quillmap::files::BinGenes)));
    QVERIFY(!QFileInfo::exists(file(dir.path(), quillmap::files::GroupTraits)));
    QCOMPARE(summaryLines(dir.path()).value(0).count('\t'), 2); // three paths
    // The folder's lock is gone with the import.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral(".lock")),
             QStringList());
}

void tst_Importer::plantedLinksAreReplaced_data()
{
    QTest::addColumn<QByteArray>("snps");
    QTest::newRow("good import") << GoodSnps;
    QTest::newRow("import failing a check") << QByteArray("S\tchr\tpos\nrs1\t1\t1.5\n");
}

void tst_Importer::plantedLinksAreReplaced()
{
    QFETCH(QByteArray, snps);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString out = dir.filePath(QStringLiteral("dataset"));
    QVERIFY(QDir().mkpath(out));
    QStringList names{QString::fromLatin1(quillmap::files::Summary)};
    for (const char *name : AllOutputs)
        names << QString::fromLatin1(name);
    for (const QString &name : names) {
        writeAll(dir.filePath(QStringLiteral("victim-") + name), "PRECIOUS");
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("victim-") + name), out + QLatin1Char('/') + name));
    }
    const ImportResult result = runImport(
        out, makeInputs(dir.path(), GoodResults, snps, GoodTraits, GoodGroups, GoodGenes));
    QCOMPARE(result.failed, snps != GoodSnps);
    for (const QString &name : names)
        QCOMPARE(readAll(dir.filePath(QStringLiteral("victim-") + name)), QByteArray("PRECIOUS"));
    QVERIFY(!QFileInfo(out + QStringLiteral("/summary.txt")).isSymLink());
    if (!result.failed) {
        for (const QString &name : names)
            QVERIFY2(!QFileInfo(out + QLatin1Char('/') + name).isSymLink(), qPrintable(name));
    }
}

void tst_Importer::refusedBeforeAnythingIsWritten_data()
{
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<QString>("groupsName");
    QTest::addColumn<bool>("locked");
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("message");

    const int path = int(ImportResult::Failure::UnusablePath);
    const int busy = int(ImportResult::Failure::Busy);
    // clang-format off
    QTest::newRow("tab in the folder") << "data\tset" << "groups.txt" << false << path << "holds a tab or a line break";
    QTest::newRow("line feed in an input") << "dataset" << "gro\nups.txt" << false << path << "gro\\nups.txt holds a tab";
    QTest::newRow("carriage return in an input") << "dataset" << "groups.txt\r" << false << path << "holds a tab";
    QTest::newRow("another import running") << "dataset" << "groups.txt" << true << busy << "is running, please wait";
    // clang-format on
}

void tst_Importer::refusedBeforeAnythingIsWritten()
{
    QFETCH(QString, folderName);
    QFETCH(QString, groupsName);
    QFETCH(bool, locked);
    QFETCH(int, failure);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString out = dir.filePath(folderName);
    QVERIFY(QDir().mkpath(out));
    fillWithOldFiles(out);
    writeAll(file(out, quillmap::files::Summary), "OLD");
    ImportInputs in = makeInputs(dir.path(), GoodResults, GoodSnps, GoodTraits, GoodGroups);
    in.groups = dir.filePath(groupsName);
    writeAll(in.groups, GoodGroups);
    QLockFile other(out + QStringLiteral("/.quillmap-import.lock"));
    if (locked)
        QVERIFY(other.tryLock(0));

    const ImportResult result = runImport(out, in);
    QVERIFY(result.failed);
    QCOMPARE(int(result.failure), failure);
    QVERIFY2(result.errorText.contains(message), qPrintable(result.errorText));
    QCOMPARE(readAll(file(out, quillmap::files::Summary)), QByteArray("OLD"));
    for (const char *name : AllOutputs)
        QCOMPARE(readAll(file(out, name)), QByteArray("OLD"));
}

// Whatever sits at the lock's name: taken over when its holder is provably gone, else the
// holder named, and how to clear a lock this computer cannot judge.
void tst_Importer::lockFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("held");       // another open file holds it flock()ed
    QTest::addColumn<QString>("message"); // empty: taken over

    const QString busy = QStringLiteral("is running, please wait until it has finished! ");
    // clang-format off
    QTest::newRow("a folder") << "dir" << QByteArray() << false << QString();
    QTest::newRow("a dangling link") << "link" << QByteArray() << false << QString();
    QTest::newRow("a FIFO") << "fifo" << QByteArray() << false << QString();
    QTest::newRow("empty, unheld") << "file" << QByteArray() << false << QString();
    QTest::newRow("garbage, unheld") << "file" << QByteArray("\x01\x02zz") << false << QString();
    QTest::newRow("garbage, held") << "file" << QByteArray("zz") << true
        << busy + u"(its lock names no process; if no import into it is running, remove @ and import again)"_s;
    QTest::newRow("a killed process on another host") << "file" << QByteArray("4242\nquillmap-index\nfarhost\n") << false
        << busy + u"(process 4242 on farhost, for 61 min; if no import is running on farhost, remove @ and import again)"_s;
    // clang-format on
}

void tst_Importer::lockFiles()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, content);
    QFETCH(bool, held);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("dataset"));
    QVERIFY(QDir().mkpath(out));
    const QString lock = out + QStringLiteral("/.quillmap-import.lock");
    const QByteArray native = QFile::encodeName(lock);
    if (kind == QLatin1String("dir"))
        QVERIFY(QDir().mkdir(lock));
    else if (kind == QLatin1String("link"))
        QVERIFY(::symlink("nowhere", native.constData()) == 0);
    else if (kind == QLatin1String("fifo"))
        QVERIFY(::mkfifo(native.constData(), 0600) == 0);
    else
        writeAll(lock, content);
    if (kind == QLatin1String("file")) {
        QFile aged(lock);
        QVERIFY(aged.open(QIODevice::ReadWrite));
        QVERIFY(
            aged.setFileTime(QDateTime::currentDateTime().addSecs(-3700), QFileDevice::FileModificationTime));
    }
    const int holder = held ? ::open(native.constData(), O_RDONLY | O_CLOEXEC) : -1;
    if (held)
        QVERIFY(holder >= 0 && ::flock(holder, LOCK_EX | LOCK_NB) == 0);

    // A killed import's temporary files go with its lock; a file of the user's stays.
    const QStringList left{u".table2.dat.k3j9x0a.tmp"_s, u".quillmap-results.txt.0z.tmp"_s, u".notes.tmp"_s};
    for (const QString &name : left)
        writeAll(out + QLatin1Char('/') + name, "x");

    const ImportResult result = runImport(out, makeInputs(dir.path(), GoodResults, GoodSnps, GoodTraits));
    if (holder >= 0)
        ::close(holder);
    if (message.isEmpty()) {
        QVERIFY2(!result.failed, qPrintable(result.errorText));
        QVERIFY(!QFileInfo::exists(lock));
        QCOMPARE(QDir(out).entryList({u".*.tmp"_s}, QDir::Files | QDir::Hidden), QStringList{left.last()});
    } else {
        QVERIFY(result.failed);
        QCOMPARE(int(result.failure), int(ImportResult::Failure::Busy));
        QCOMPARE(result.errorText,
                 QStringLiteral("error : another import into the folder %1 ").arg(out)
                     + QString(message).replace(u'@', lock));
    }
}

// A write that fails part way (a disk filled up by another process) fails the import, and the
// folder is refused afterwards: never an empty file in a dataset that reads as good.
void tst_Importer::failedWriteFailsTheImport_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("genes");
    QTest::addColumn<int>("limit");
    QTest::addColumn<qint64>("freeDisk"); // -1: the real figure
    QTest::addColumn<QString>("error");
    const QString cannotWrite = QStringLiteral("error : can't write the file ");
    QTest::newRow("result tables") << 20000 << 1 << (64 << 10) << qint64(-1) << cannotWrite;
    QTest::newRow("gene positions, last") << 10 << 20000 << (64 << 10) << qint64(-1) << cannotWrite;
    // Said before the first run is written, with the rows spilled.
    QTest::newRow("disk too small, said up front")
        << 20000 << 1 << (64 << 20) << qint64(4096) << QStringLiteral("error : the import needs about ");
    // Both sorted copies and both tables at once: four times the records, less the old table.
    QTest::newRow("room for three times the records, said up front")
        << 20000 << 1 << (64 << 20) << qint64(800000) << QStringLiteral("error : the import needs about ");
}

void tst_Importer::failedWriteFailsTheImport()
{
    QFETCH(int, rows);
    QFETCH(int, genes);
    QFETCH(int, limit);
    QFETCH(qint64, freeDisk);
    QFETCH(QString, error);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QByteArray results = "T\tS\tp\tb\n";
    for (int i = 0; i < rows; ++i)
        results += "T" + QByteArray::number(i % 5) + "\trs" + QByteArray::number(i % 2 + 1) + "\t0.5\t1\n";
    QByteArray geneLines = "G\tC\tS\tE\n";
    for (int i = 0; i < genes; ++i)
        geneLines += "gene" + QByteArray::number(i) + "\t1\t" + QByteArray::number(i) + ".2\t"
            + QByteArray::number(i) + ".3\n";
    const ImportInputs in = makeInputs(dir.path(), results, GoodSnps, GoodTraits, GoodGroups, geneLines);
    const QString out = dir.filePath(QStringLiteral("dataset"));
    QVERIFY(QDir().mkpath(out));
    QVERIFY(!runImport(out, in).failed);

    ImportResult result;
    {
        FileSizeLimit full{rlim_t(limit)};
        setFreeDiskBytesForTesting(freeDisk);
        setImportMemoryRowsForTesting(freeDisk >= 0 ? rows / 4 : 0);
        result = runImport(out, in);
        setFreeDiskBytesForTesting(-1);
        setImportMemoryRowsForTesting(0);
    }
    QVERIFY(result.failed);
    QCOMPARE(result.failure, ImportResult::Failure::WriteFailure);
    QVERIFY2(result.errorText.startsWith(error), qPrintable(result.errorText));
    QVERIFY(summaryLines(out).value(5).contains("error"));
    DatasetTables tables;
    QVERIFY(!DatasetLoader(out).load(tables).ok());
}

void tst_Importer::secondImportHasOnlyItsOwnNames()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString first = dir.filePath(QStringLiteral("one"));
    const QString second = dir.filePath(QStringLiteral("two"));
    QVERIFY(QDir().mkpath(first) && QDir().mkpath(second));
    const ImportInputs a = makeInputs(first, GoodResults, GoodSnps, GoodTraits);
    QVERIFY(!runImport(first, a).failed);
    const ImportInputs b = makeInputs(second, "T\tS\tp\nU9\trs2\t1\n", GoodSnps, "T\nU9\n");
    QVERIFY(!runImport(second, b).failed);
    QCOMPARE(readAll(file(second, quillmap::files::TraitList)), QByteArray("U9\n"));
    QCOMPARE(readAll(file(second, quillmap::files::SnpList)), QByteArray("rs2\n"));
    QCOMPARE(readAll(file(second, quillmap::files::TraitCounts)), QByteArray("U9\t1\n"));
    QCOMPARE(readAll(file(second, quillmap::files::BinCounts)), QByteArray("23002\t1\n"));
}

void tst_Importer::progressStagesAndFolderMarkedWhileRunning()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QByteArray results = "T\tS\tp\n";
    const int rows = 70000;
    for (int i = 0; i < rows; ++i)
        results += "T" + QByteArray::number(i % 7) + "\trs" + QByteArray::number(i % 3) + "\t0.5\n";
    const ImportInputs in = makeInputs(dir.path(), results,
                                       "S\tchr\tpos\nrs0\t1\t0.5\nrs1\t2\t0.5\nrs2\t3\t0.5\n",
                                       "T\nT0\nT1\nT2\nT3\nT4\nT5\nT6\n", GoodGroups, GoodGenes);
    writeAll(file(dir.path(), quillmap::files::Summary), "x\nx\nx\nx\nx\nTrait Num :\t 1\n");

    QList<ImportStage> stages;
    qint64 largestResultsCount = 0;
    QByteArray lineSixWhileWriting;
    const ImportResult result = runImport(dir.path(), in, [&](ImportStage stage, qint64 n) {
        if (stages.isEmpty() || stages.last() != stage) {
            QCOMPARE(n, qint64(0));
            stages << stage;
        }
        if (stage == ImportStage::Results)
            largestResultsCount = qMax(largestResultsCount, n);
        if (stage == ImportStage::Tables && lineSixWhileWriting.isNull())
            lineSixWhileWriting = summaryLines(dir.path()).value(5);
    });
    QVERIFY2(!result.failed, qPrintable(result.errorText));
    QCOMPARE(stages,
             (QList<ImportStage>{ImportStage::Results, ImportStage::TraitInfo, ImportStage::SnpInfo,
                                 ImportStage::Tables, ImportStage::Groups, ImportStage::Genes}));
    QCOMPARE(largestResultsCount, qint64(65536));
    // An import cut short here would leave a folder that the startup dialog refuses.
    QVERIFY2(lineSixWhileWriting.contains("error"), lineSixWhileWriting.constData());
    QCOMPARE(summaryLines(dir.path()).value(5), QByteArray("Trait Num :\t 7"));
    QCOMPARE(result.rows, qint64(rows));
    QCOMPARE(result.traits, qint64(7));
    QCOMPARE(result.snps, qint64(3));
    QCOMPARE(readAll(file(dir.path(), quillmap::files::TraitTable)).size(), qsizetype(rows) * 12);
}

QTEST_GUILESS_MAIN(tst_Importer)
void tst_Importer::spilledRunsEqualInMemory_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<qint64>("rowsPerRun");
    QTest::addColumn<qint64>("sortedRunRows"); // 0: as rowsPerRun
    QTest::addColumn<qint64>("rangeBytes");    // of the spilled import; -1: one reader
    QTest::addColumn<int>("bypass");           // past the page cache: 1; -1: by size (kept)
    QTest::addColumn<qint64>("windowBytes");   // a held table is encoded in; 0: 32 MiB
    const QString basic = QStringLiteral(QUILLMAP_TESTDATA "/data/basic");
    const QString examples = QStringLiteral(QUILLMAP_TESTDATA "/../../examples");
    QTest::newRow("one row per run") << basic << qint64(1) << qint64(0) << qint64(0) << -1 << qint64(0);
    QTest::newRow("runs of 4 of 6 rows") << basic << qint64(4) << qint64(0) << qint64(0) << 1 << qint64(0);
    QTest::newRow("runs of 4, ranges of 1 byte")
        << basic << qint64(4) << qint64(0) << qint64(1) << -1 << qint64(0);
    QTest::newRow("example study, runs of 1000")
        << examples << qint64(1000) << qint64(0) << qint64(0) << -1 << qint64(0);
    QTest::newRow("example study, runs of 1000, ranges of 97 bytes")
        << examples << qint64(1000) << qint64(0) << qint64(97) << 1 << qint64(0);
    QTest::newRow("example study, runs of 7919")
        << examples << qint64(7919) << qint64(0) << qint64(0) << -1 << qint64(0);
    QTest::newRow("example study, runs of 7919, one reader")
        << examples << qint64(7919) << qint64(0) << qint64(-1) << 1 << qint64(0);
    // Sorted runs across spills; rows held beyond a sorted run spilled with the rest.
    QTest::newRow("spills of 1000 sorted by 2500")
        << examples << qint64(1000) << qint64(2500) << qint64(0) << 1 << qint64(0);
    QTest::newRow("spills of 3000 sorted by 1001")
        << examples << qint64(3000) << qint64(1001) << qint64(0) << -1 << qint64(0);
    // Held, not spilled: a table written through many windows equals one written in one.
    QTest::newRow("held, windows of one record")
        << basic << qint64(0) << qint64(0) << qint64(0) << -1 << qint64(1);
    QTest::newRow("example study held, windows of 4 KiB")
        << examples << qint64(0) << qint64(0) << qint64(0) << -1 << qint64(4096);
    QTest::newRow("example study held, more windows than a byte counts")
        << examples << qint64(0) << qint64(0) << qint64(0) << -1 << qint64(1000);
}

void tst_Importer::spilledRunsEqualInMemory()
{
    QFETCH(QString, folder);
    QFETCH(qint64, rowsPerRun);
    QFETCH(qint64, sortedRunRows);
    QFETCH(qint64, rangeBytes);
    QFETCH(int, bypass);
    QFETCH(qint64, windowBytes);
    const bool basic = folder.endsWith(QLatin1String("basic"));
    ImportInputs in;
    in.results = folder + QStringLiteral("/results.txt");
    in.snpInfo = folder + (basic ? QStringLiteral("/snpinfo.txt") : QStringLiteral("/snp_info.txt"));
    in.traitInfo = folder + (basic ? QStringLiteral("/traitinfo.txt") : QStringLiteral("/trait_info.txt"));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString held = dir.filePath(QStringLiteral("held"));
    const QString spilled = dir.filePath(QStringLiteral("spilled"));
    QVERIFY(QDir().mkpath(held) && QDir().mkpath(spilled));
    const ImportResult a = runImport(held, in);
    QVERIFY2(!a.failed, qPrintable(a.errorText));
    setImportMemoryRowsForTesting(rowsPerRun, sortedRunRows);
    setImportRangeBytesForTesting(rangeBytes);
    setImportSpillBypassForTesting(bypass);
    setTableWindowBytesForTesting(windowBytes);
    const ImportResult b = runImport(spilled, in);
    setImportMemoryRowsForTesting(0);
    setImportRangeBytesForTesting(0);
    setImportSpillBypassForTesting(-1);
    setTableWindowBytesForTesting(0);
    QVERIFY2(!b.failed, qPrintable(b.errorText));
    QCOMPARE(b.rows, a.rows);
    QVERIFY(a.rows > rowsPerRun);
    for (const char *name : AllOutputs)
        QVERIFY2(readAll(file(spilled, name)) == readAll(file(held, name)), name);
    QCOMPARE(summaryLines(spilled), summaryLines(held));
    // No run is left behind.
    QCOMPARE(QDir(spilled).entryList(QDir::Files | QDir::Hidden),
             QDir(held).entryList(QDir::Files | QDir::Hidden));
}

// Appended in pieces across the file's own 4 MiB buffer, read back through windows that must
// be refilled forwards and backwards, at offsets and lengths of no particular alignment.
void tst_Importer::spillFileReadsBackAnyRange_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<qint64>("piece"); // appended at a time
    QTest::addColumn<qint64>("window");
    QTest::newRow("less than a block") << qint64(1000) << qint64(7) << qint64(4096);
    QTest::newRow("past the buffer, small window") << qint64(9 << 20) + 4097 << qint64(65537) << qint64(8192);
    QTest::newRow("past the buffer, pieces larger")
        << qint64(9 << 20) + 1 << qint64(5 << 20) << qint64(1 << 20);
}

void tst_Importer::spillFileReadsBackAnyRange()
{
    QFETCH(qint64, bytes);
    QFETCH(qint64, piece);
    QFETCH(qint64, window);
    QByteArray data(bytes, Qt::Uninitialized);
    for (qint64 i = 0; i < bytes; ++i)
        data[i] = char(i * 7 % 251);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("spill"));
    {
        SpillFile file;
        QVERIFY(file.create(path));
        QVERIFY(!SpillFile().create(path)); // an existing name is never opened
        for (qint64 at = 0; at < bytes; at += piece)
            QVERIFY(file.append(data.constData() + at, std::min(piece, bytes - at)));
        QCOMPARE(file.size(), bytes);
        QVERIFY(file.finishAppending());
        QVERIFY(file.size() >= bytes && file.size() % AlignedBuffer::Block == 0);
        SpillFile::Reader reader(file, window);
        const qint64 step = window / 3 + 5;
        QByteArray read(step, Qt::Uninitialized);
        for (qint64 at : {qint64(0), bytes / 2, qint64(1), bytes - 1}) {
            for (qint64 from = at; from < std::min(bytes, at + 4 * window); from += step) {
                const qint64 n = std::min(step, bytes - from);
                QVERIFY(reader.read(read.data(), n, from));
                QCOMPARE(QByteArrayView(read).first(n), QByteArrayView(data).sliced(from, n));
            }
        }
        QVERIFY(!reader.read(read.data(), 1, file.size())); // past the end
    }
    QVERIFY(!QFile::exists(path)); // removed when closed
}

// A quarter of the machine's memory, kept between 256M and 2G: 100M rows then peak well under
// 1.5 GB on any machine.
void tst_Importer::defaultMemoryLimit_data()
{
    QTest::addColumn<qint64>("physical");
    QTest::addColumn<qint64>("limit");
    constexpr qint64 M = qint64(1) << 20;
    QTest::newRow("512M machine") << 512 * M << 256 * M;
    QTest::newRow("4G machine") << 4096 * M << 1024 * M;
    QTest::newRow("23G machine") << 23552 * M << 2048 * M;
    QTest::newRow("unknown") << qint64(0) << 256 * M;
}

void tst_Importer::defaultMemoryLimit()
{
    QFETCH(qint64, physical);
    QFETCH(qint64, limit);
    QCOMPARE(quillmap::defaultImportMemory(physical), limit);
}

#include "tst_importer.moc"
