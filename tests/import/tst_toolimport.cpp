#include "dataset/datasetfiles.h"
#include "dataset/datasetloader.h"
#include "dataset/datasettables.h"
#include "dataset/genomebuild.h"
#include "dataset/resultrecord.h"
#include "import/toolimport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quillmap;

using quillmap::SkippedRows;
using quillmap::ToolFormat;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Files of one study: name, then content, repeated.
using Files = QList<QByteArray>;

// Headers and rows as the tools write them.
const QByteArray Plink2Linear =
    "#CHROM\tPOS\tID\tREF\tALT\tPROVISIONAL_REF?\tA1\tOMITTED\tA1_FREQ\tTEST\tOBS_CT\tBETA\tSE\tT_STAT\tP\tERRCODE\n";
const QByteArray Plink2Rows = "1\t14181\t1:14181\tA\tG\tY\tG\tA\t0.1\tADD\t500\t0.5\t0.1\t5\t3.5e-415\t.\n"
                              "1\t14181\t1:14181\tA\tG\tY\tG\tA\t0.1\tAGE\t500\t0.02\t0.1\t0.2\t0.84\t.\n"
                              "1\t20000\t.\tC\tT\tY\tT\tC\t0.2\tADD\t500\tNA\tNA\tNA\tNA\tUNFINISHED\n"
                              "X\t2781479\trs5\tC\tT\tY\tT\tC\t0.2\tADD\t500\t-0.1\t0.05\t-2\t0.04\t.\n"
                              "Y\t2781479\trs6\tC\tT\tY\tT\tC\t0.2\tADD\t500\t-0.1\t0.05\t-2\t0.04\t.\n"
                              "MT\t152\trs7\tC\tT\tY\tT\tC\t0.2\tADD\t500\t-0.1\t0.05\t-2\t0.04\t.\n"
                              "2\t16077315\t.\tC\tT\tY\tT\tC\t0.2\tADD\t500\t-0.1\t0.05\t-2\t0.5\t.\n";

} // namespace

class tst_ToolImport final : public QObject
{
    Q_OBJECT

private:
    // Writes the files into m_dir and imports them into m_dir/dataset.
    quillmap::ToolImportResult import(ToolFormat format, const Files &files, bool keepCopy = true,
                                      const quillmap::ImportProgress &progress = {})
    {
        quillmap::ToolImportInputs in;
        in.format = format;
        in.keepDerivedResults = keepCopy;
        in.build = quillmap::GenomeBuild::Hg19;
        for (qsizetype k = 0; k + 1 < files.size(); k += 2) {
            const QString path = m_dir->filePath(QString::fromUtf8(files[k]));
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(files[k + 1]) != files[k + 1].size())
                qFatal("cannot write a test input");
            in.files.append(path);
        }
        QDir().mkpath(dataset());
        return quillmap::runToolImport(dataset(), in, progress);
    }
    QString dataset() const { return m_dir->filePath(QStringLiteral("dataset")); }
    QByteArray derived(const char *name) const
    {
        return readAll(dataset() + QLatin1Char('/') + QLatin1String(name));
    }

    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void formats_data();
    void formats();
    void refusals_data();
    void refusals();
    void replacedWhileImported();
    void traitNamesAndRecognition_data();
    void traitNamesAndRecognition();
};

void tst_ToolImport::formats_data()
{
    QTest::addColumn<ToolFormat>("format");
    QTest::addColumn<Files>("files");
    QTest::addColumn<QByteArray>("results");    // the derived results file
    QTest::addColumn<QByteArray>("snps");       // the derived SNP information file
    QTest::addColumn<QList<qint64>>("skipped"); // per SkippedRows::Reason

    QTest::newRow("plink2 linear, two traits")
        << ToolFormat::Plink2
        << Files{"plink2.height.glm.linear", Plink2Linear + Plink2Rows, "plink2.bmi_adj.glm.linear",
                 Plink2Linear + "1\t14181\t1:14181\tA\tG\tY\tG\tA\t0.1\tADD\t500\t0.5\t0.1\t5\t4.96e-99\t.\n"}
        << QByteArray("Trait\tSNP\t-log10(P)\tP\tBETA\tSE\tT_STAT\tA1_FREQ\n"
                      "height\t1:14181\t414.45593\t3.5e-415\t0.5\t0.1\t5\t0.1\n"
                      "height\trs5\t1.39794\t0.04\t-0.1\t0.05\t-2\t0.2\n"
                      "height\t2:16077315:C:T\t0.30103\t0.5\t-0.1\t0.05\t-2\t0.2\n"
                      "bmi_adj\t1:14181\t98.30452\t4.96e-99\t0.5\t0.1\t5\t0.1\n")
        << QByteArray("SNP\tchr\tpos\tREF\tALT\n1:14181\t1\t0.014181\tA\tG\nrs5\tX\t2.781479\tC\tT\n"
                      "2:16077315:C:T\t2\t16.077315\tC\tT\n")
        << QList<qint64>{1, 2, 1, 0, 0};
    // Swapped alleles flip the effect's direction; a split multi-allelic site shares its rsID.
    QTest::newRow("plink2: one ID with other alleles is another SNP")
        << ToolFormat::Plink2
        << Files{"p.t1.glm.linear",
                 Plink2Linear
                     + "1\t100\trs1\tA\tG\tY\tG\tA\t0.1\tADD\t500\t0.5\t0.1\t5\t0.01\t.\n"
                       "1\t200\trs2\tA\tG\tY\tG\tA\t0.1\tADD\t500\t0.5\t0.1\t5\t0.01\t.\n"
                       "1\t200\trs2\tA\tT\tY\tT\tA\t0.1\tADD\t500\t0.4\t0.1\t4\t0.01\t.\n",
                 "p.t2.glm.linear",
                 Plink2Linear
                     + "1\t100\trs1\tG\tA\tY\tA\tG\t0.9\tADD\t500\t-0.5\t0.1\t-5\t0.01\t.\n"
                       "1\t200\trs2\tA\tT\tY\tT\tA\t0.1\tADD\t500\t0.3\t0.1\t3\t0.01\t.\n"}
        << QByteArray("Trait\tSNP\t-log10(P)\tP\tBETA\tSE\tT_STAT\tA1_FREQ\n"
                      "t1\trs1\t2\t0.01\t0.5\t0.1\t5\t0.1\n"
                      "t1\trs2\t2\t0.01\t0.5\t0.1\t5\t0.1\n"
                      "t1\trs2:A:T\t2\t0.01\t0.4\t0.1\t4\t0.1\n"
                      "t2\trs1:G:A\t2\t0.01\t-0.5\t0.1\t-5\t0.9\n"
                      "t2\trs2:A:T\t2\t0.01\t0.3\t0.1\t3\t0.1\n")
        << QByteArray("SNP\tchr\tpos\tREF\tALT\nrs1\t1\t0.000100\tA\tG\nrs2\t1\t0.000200\tA\tG\n"
                      "rs2:A:T\t1\t0.000200\tA\tT\nrs1:G:A\t1\t0.000100\tG\tA\n")
        << QList<qint64>{0, 0, 0, 0, 0};
    QTest::newRow("plink2 logistic hybrid, chr prefixes, LOG10_P")
        << ToolFormat::Plink2
        << Files{"run.case.glm.logistic.hybrid",
                 "#CHROM\tPOS\tID\tREF\tALT\tPROVISIONAL_REF?\tA1\tOMITTED\tA1_FREQ\tFIRTH?\tTEST\tOBS_CT\tOR\tLOG(OR)_SE\tZ_STAT\tLOG10_P\tERRCODE\n"
                 "chr1\t900\trs1\tA\tG\tY\tG\tA\t0.3\tN\tADD\t900\t1.5\t0.2\t2.1\t1.5\t.\n"
                 "chrX\t901\trs2\tA\tG\tY\tG\tA\t0.3\tY\tADD\t900\t1.5\t0.2\t2.1\t500\t.\n"
                 "chrUn_KI270302v1\t5\trs3\tA\tG\tY\tG\tA\t0.3\tN\tADD\t900\t1.5\t0.2\t2.1\t.\t.\n"}
        << QByteArray("Trait\tSNP\t-log10(P)\tP\tOR\tLOG(OR)_SE\tZ_STAT\tA1_FREQ\n"
                      "case\trs1\t1.5\t0.0316228\t1.5\t0.2\t2.1\t0.3\n"
                      "case\trs2\t500\t1.00000e-500\t1.5\t0.2\t2.1\t0.3\n")
        << QByteArray("SNP\tchr\tpos\tREF\tALT\nrs1\t1\t0.000900\tA\tG\nrs2\tX\t0.000901\tA\tG\n")
        << QList<qint64>{0, 1, 0, 0, 0};
    QTest::newRow("plink1 assoc.linear: aligned, numeric X, NA, covariate rows")
        << ToolFormat::Plink1
        << Files{"height.assoc.linear",
                 " CHR         SNP         BP   A1       TEST    NMISS       BETA         STAT            P \n"
                 "   1   rs3094315     752566    G        ADD     3921    -0.0101     -0.2178       0.8276\n"
                 "   1   rs3094315     752566    G        SEX     3921     0.5101      12.218    1.044e-33\n"
                 "  23   rs2905036     792480    T        ADD     3921         NA          NA           NA\n"
                 "  23   rs4970383     838555    A        ADD     3921     0.0419       1.004       0.3154\n"
                 "  24   rs4475691     846808    T        ADD     3921     0.0419       1.004       0.3154\n"}
        << QByteArray("Trait\tSNP\t-log10(P)\tP\tBETA\tSTAT\n"
                      "height\trs3094315\t0.08217952\t0.8276\t-0.0101\t-0.2178\n"
                      "height\trs4970383\t0.5011383\t0.3154\t0.0419\t1.004\n")
        << QByteArray("SNP\tchr\tpos\tA1\nrs3094315\t1\t0.752566\tG\nrs4970383\tX\t0.838555\tA\n")
        << QList<qint64>{1, 1, 1, 0, 0};
    QTest::newRow("plink1 qassoc: no alleles, ID . from place")
        << ToolFormat::Plink1
        << Files{"bmi.qassoc",
                 " CHR         SNP         BP    NMISS       BETA         SE         R2        T            P \n"
                 "   5           .     100000      480     0.1253    0.04391    0.01676      2.853     0.004514 \n"}
        << QByteArray("Trait\tSNP\t-log10(P)\tP\tBETA\tSE\tT\n"
                      "bmi\t5:100000\t2.3454385\t0.004514\t0.1253\t0.04391\t2.853\n")
        << QByteArray("SNP\tchr\tpos\n5:100000\t5\t0.100000\n") << QList<qint64>{0, 0, 0, 0, 0};
    QTest::newRow("regenie: LOG10P only, underscores in the prefix")
        << ToolFormat::Regenie
        << Files{"step2_out_Y1.regenie",
                 "CHROM GENPOS ID ALLELE0 ALLELE1 A1FREQ INFO N TEST BETA SE CHISQ LOG10P EXTRA\n"
                 "1 79033 1:79033:A:G A G 0.0065 1 494 ADD 0.2 0.1 4 1.25 NA\n"
                 "1 79033 1:79033:A:G A G 0.0065 1 494 DOM 0.2 0.1 4 1.25 NA\n"
                 "23 5000 X:5000:C:T C T 0.25 1 494 ADD -0.05 0.01 25 414.455932 NA\n"
                 "1 79040 1:79040:C:T C T 0.1 1 494 ADD 0.2 0.1 0 -0 NA\n",
                 "step2_out_Y2.regenie",
                 "CHROM GENPOS ID ALLELE0 ALLELE1 A1FREQ INFO N TEST BETA SE CHISQ LOG10P EXTRA\n"
                 "1 79033 1:79033:A:G A G 0.0065 1 494 ADD NA NA NA NA TEST_FAIL\n"}
        << QByteArray("Trait\tSNP\t-log10(P)\tP\tBETA\tSE\tCHISQ\tA1FREQ\n"
                      "Y1\t1:79033:A:G\t1.25\t0.0562341\t0.2\t0.1\t4\t0.0065\n"
                      "Y1\tX:5000:C:T\t414.45593\t3.50000e-415\t-0.05\t0.01\t25\t0.25\n"
                      "Y1\t1:79040:C:T\t0\t1\t0.2\t0.1\t0\t0.1\n")
        << QByteArray("SNP\tchr\tpos\tALLELE0\tALLELE1\n1:79033:A:G\t1\t0.079033\tA\tG\n"
                      "X:5000:C:T\tX\t0.005000\tC\tT\n1:79040:C:T\t1\t0.079040\tC\tT\n")
        << QList<qint64>{1, 0, 1, 0, 0};
    QTest::newRow("gwas-ssf: #NA, rsid else variant_id, effect NA")
        << ToolFormat::GwasSsf
        << Files{"GCST90000123_buildGRCh38.tsv",
                 "chromosome\tbase_pair_location\teffect_allele\tother_allele\tbeta\tstandard_error\teffect_allele_frequency\tp_value\tvariant_id\trsid\n"
                 "1\t14181\tG\tA\t0.5\t0.1\t0.1\t2e-10\t1_14181_A_G\trs1\n"
                 "1\t14182\tG\tA\t0.5\t0.1\t0.1\t2e-10\t1_14182_A_G\t#NA\n"
                 "1\t14183\tG\tA\t#NA\t0.1\t0.1\t2e-10\t1_14183_A_G\trs3\n"
                 "25\t14\tG\tA\t0.5\t0.1\t0.1\t2e-10\t#NA\t#NA\n"
                 "X\t14184\tG\tA\t0.5\t0.1\t0.1\t#NA\t#NA\t#NA\n"}
        << QByteArray("Trait\tSNP\t-log10(P)\tP\tbeta\tstandard_error\teffect_allele_frequency\n"
                      "GCST90000123_buildGRCh38\trs1\t9.69897\t2e-10\t0.5\t0.1\t0.1\n"
                      "GCST90000123_buildGRCh38\t1_14182_A_G\t9.69897\t2e-10\t0.5\t0.1\t0.1\n")
        << QByteArray("SNP\tchr\tpos\tother_allele\teffect_allele\nrs1\t1\t0.014181\tA\tG\n"
                      "1_14182_A_G\t1\t0.014182\tA\tG\n")
        << QList<qint64>{1, 1, 0, 0, 1};
}

void tst_ToolImport::formats()
{
    QFETCH(ToolFormat, format);
    QFETCH(Files, files);
    QFETCH(QByteArray, results);
    QFETCH(QByteArray, snps);
    QFETCH(QList<qint64>, skipped);

    // Rows spilled to runs two at a time; the five-file import below holds them all.
    setImportMemoryRowsForTesting(2);
    const quillmap::ToolImportResult result = import(format, files);
    setImportMemoryRowsForTesting(0);
    QVERIFY2(!result.import.failed, qPrintable(result.import.errorText));
    QCOMPARE(derived(quillmap::DerivedResults), results);
    QCOMPARE(derived(quillmap::DerivedSnpInfo), snps);
    QList<qint64> counts;
    for (qint64 count : result.skipped.count)
        counts.append(count);
    QCOMPARE(counts, skipped);
    QCOMPARE(result.rowsKept, qint64(results.count('\n') - 1));
    QCOMPARE(quillmap::toolImportReport(result).contains(u"named ID:alleles"_s), results.contains(":A:T"));
    QCOMPARE(quillmap::readGenomeBuild(dataset()).value(), quillmap::GenomeBuild::Hg19);
    // Trait information: the first trait's rows kept, best P and its SNP.
    const QList<QByteArray> firstRow = results.split('\n').value(1).split('\t');
    const QList<QByteArray> traitInfo = derived(quillmap::DerivedTraitInfo).split('\n').value(1).split('\t');
    QList<QByteArray> bestRow;
    qint64 traitRows = 0;
    for (const QByteArray &line : results.split('\n').mid(1)) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.value(0) != firstRow.value(0))
            continue;
        ++traitRows;
        if (bestRow.isEmpty() || fields.value(2).toDouble() > bestRow.value(2).toDouble())
            bestRow = fields;
    }
    QCOMPARE(traitInfo.value(0), firstRow.value(0));
    QCOMPARE(traitInfo.value(2).toLongLong(), traitRows);
    QCOMPARE(traitInfo.value(5), bestRow.value(3));
    QCOMPARE(traitInfo.value(6), bestRow.value(1));
    QCOMPARE(result.import.rows, result.rowsKept);

    // The strongest p-value is the first statistic of its record, whatever single precision does to P.
    const QByteArray table = readAll(
        quillmap::files::datasetFilePath(dataset(), quillmap::files::TraitTable));
    const int extra = int(firstRow.size()) - 3;
    float best = 0;
    for (qsizetype at = 0; at + quillmap::recordSize(extra) <= table.size();
         at += quillmap::recordSize(extra))
        best = std::max(best, quillmap::decodeRecord(table.constData() + at, nullptr, 0).firstStat);
    float expected = 0;
    for (const QByteArray &line : results.split('\n').mid(1))
        expected = std::max(expected, line.split('\t').value(2).toFloat());
    QCOMPARE(best, expected);

    // The rows reach the import parsed: the same bytes as the five-file import of the derived files.
    const QString five = m_dir->filePath(QStringLiteral("five"));
    QDir().mkpath(five);
    auto derivedPath = [this](const char *name) {
        return dataset() + QLatin1Char('/') + QLatin1String(name);
    };
    const ImportResult again = runImport(five,
                                         {derivedPath(quillmap::DerivedResults),
                                          derivedPath(quillmap::DerivedSnpInfo),
                                          derivedPath(quillmap::DerivedTraitInfo),
                                          {},
                                          {},
                                          {}});
    QVERIFY2(!again.failed, qPrintable(again.errorText));
    using namespace quillmap::files;
    for (const char *name : {Summary, TraitList, SnpList, TraitTable, TraitCounts, BinTable, BinCounts})
        QCOMPARE(readAll(datasetFilePath(dataset(), name)), readAll(datasetFilePath(five, name)));

    // Without the text copy (the default) the dataset is the same and an earlier copy goes.
    const quillmap::ToolImportResult lean = import(format, files, false);
    QVERIFY2(!lean.import.failed, qPrintable(lean.import.errorText));
    QVERIFY(!QFileInfo::exists(derivedPath(quillmap::DerivedResults)));
    QCOMPARE(derived(quillmap::DerivedSnpInfo), snps);
    for (const char *name : {Summary, TraitList, SnpList, TraitTable, TraitCounts, BinTable, BinCounts})
        QCOMPARE(readAll(datasetFilePath(dataset(), name)), readAll(datasetFilePath(five, name)));
    DatasetTables tables;
    const Status opened = DatasetLoader(dataset()).load(tables);
    QVERIFY2(opened.ok(), qPrintable(opened.message()));
}

void tst_ToolImport::refusals_data()
{
    QTest::addColumn<ToolFormat>("format");
    QTest::addColumn<Files>("files");
    QTest::addColumn<QString>("error"); // @ stands for the test folder

    const QByteArray row = "1\t14181\trs1\tA\tG\tY\tG\tA\t0.1\tADD\t500\t0.5\t0.1\t5\t";
    QTest::newRow("a p-value of 0")
        << ToolFormat::Plink2 << Files{"p.a.glm.linear", Plink2Linear + row + "0\t.\n"}
        << "error : @/p.a.glm.linear line 2 has a p-value of 0, which has no -log10!";
    QTest::newRow("a p-value above 1")
        << ToolFormat::Plink2 << Files{"p.a.glm.linear", Plink2Linear + row + "0.5\t.\n" + row + "1.2\t.\n"}
        << "error : @/p.a.glm.linear line 3 has the p-value 1.2, which is not a number between 0 and 1!";
    QTest::newRow("a p-value of inf")
        << ToolFormat::Plink2 << Files{"p.a.glm.linear", Plink2Linear + row + "0.5\t.\n" + row + "inf\t.\n"}
        << "error : @/p.a.glm.linear line 3 has the p-value inf, which is not a number between 0 and 1!";
    QTest::newRow("a position beyond the tables' reach")
        << ToolFormat::Plink2
        << Files{"p.a.glm.linear",
                 Plink2Linear + row + "0.5\t.\n" + QByteArray(row).replace("14181", "40000000000")
                     + "0.5\t.\n"}
        << "error : @/p.a.glm.linear line 3 has the position 40000000000, too far along chromosome 1 for a "
           "dataset (chromosome x 1000 + position in Mb must lie between -32768 and 32767)!";
    QTest::newRow("a line one column short")
        << ToolFormat::Plink2 << Files{"p.a.glm.linear", Plink2Linear + row + "0.5\n"}
        << "error : @/p.a.glm.linear line 2 has 15 columns, its header 16!";
    QTest::newRow("a line of many tabs")
        << ToolFormat::Plink2
        << Files{"p.a.glm.linear", Plink2Linear + row + "0.5\t." + QByteArray(100000, '\t') + "\n"}
        << "error : @/p.a.glm.linear line 2 has 100016 columns, its header 16!";
    QTest::newRow("one SNP at two places")
        << ToolFormat::Plink2
        << Files{"p.a.glm.linear", Plink2Linear + row + "0.5\t.\n", "p.b.glm.linear",
                 Plink2Linear + "\n" + "1\t14182\trs1\tA\tG\tY\tG\tA\t0.1\tADD\t500\t0.5\t0.1\t5\t0.5\t.\n"}
        << "error : the SNP rs1 is at 1:14181 in @/p.a.glm.linear line 2 but at 1:14182 in "
           "@/p.b.glm.linear line 3!";
    QTest::newRow("two files of one trait")
        << ToolFormat::Plink1
        << Files{"h.assoc.linear", " CHR SNP BP A1 TEST NMISS BETA STAT P\n", "h.qassoc",
                 " CHR SNP BP NMISS BETA SE R2 T P\n"}
        << "error : @/h.assoc.linear and @/h.qassoc both hold the trait h!";
    QTest::newRow("files with other effect columns")
        << ToolFormat::Plink1
        << Files{"a.assoc.linear", " CHR SNP BP A1 TEST NMISS BETA STAT P\n", "b.assoc.logistic",
                 " CHR SNP BP A1 TEST NMISS OR STAT P\n"}
        << "error : @/b.assoc.logistic has other columns than @/a.assoc.linear (OR STAT against BETA "
           "STAT); one dataset holds files with the same columns, please import the others into "
           "another folder!";
    QTest::newRow("another tool's file")
        << ToolFormat::Regenie << Files{"p.a.glm.linear", Plink2Linear + row + "0.5\t.\n"}
        << "error : @/p.a.glm.linear is not regenie output: its header has no column CHROM!";
    // The import stops taking rows while the files are still being read.
    QTest::newRow("more rows than an import takes")
        << ToolFormat::Plink2 << Files{"p.a.glm.linear", Plink2Linear + row + "0.5\t.\n" + row + "0.5\t.\n"}
        << "error : the results file has more than 1 data lines!";
    QTest::newRow("only missing p-values")
        << ToolFormat::Plink2 << Files{"p.a.glm.linear", Plink2Linear + row + "NA\t.\n"}
        << "error : the files hold no row on chromosomes 1-22 or X with a p-value!";
}

void tst_ToolImport::refusals()
{
    QFETCH(ToolFormat, format);
    QFETCH(Files, files);
    QFETCH(QString, error);

    // An earlier dataset's derived inputs stay as they were.
    QDir().mkpath(dataset());
    QFile old(dataset() + QLatin1Char('/') + QLatin1String(quillmap::DerivedResults));
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("OLD") == 3);
    old.close();

    setMaxResultRowsForTesting(QTest::currentDataTag() == QByteArray("more rows than an import takes") ? 1
                                                                                                       : 0);
    const quillmap::ToolImportResult result = import(format, files);
    setMaxResultRowsForTesting(0);
    QVERIFY(result.import.failed);
    QCOMPARE(result.import.failure, ImportResult::Failure::Validation);
    QCOMPARE(result.import.errorText, QString(error).replace(QLatin1Char('@'), m_dir->path()));
    QCOMPARE(derived(quillmap::DerivedResults), QByteArray("OLD"));
    QCOMPARE(derived(quillmap::DerivedSnpInfo), QByteArray("<missing>"));
    QCOMPARE(derived(quillmap::GenomeBuildFile), QByteArray("<missing>"));
}

// Replaced once its header is read, before its rows are: SE and T_STAT trade places.
void tst_ToolImport::replacedWhileImported()
{
    const QByteArray row = "1\t14181\trs1\tA\tG\tY\tG\tA\t0.1\tADD\t500\t0.5\t0.1\t5\t0.5\t.\n";
    QByteArray swapped = Plink2Linear;
    swapped.replace("SE\tT_STAT", "T_STAT\tSE");
    const QString path = m_dir->filePath(u"p.a.glm.linear"_s);
    const quillmap::ToolImportResult result = import(
        ToolFormat::Plink2, Files{"p.a.glm.linear", Plink2Linear + row}, true,
        [&](ImportStage stage, qint64) {
            QFile file(path);
            if (stage == ImportStage::Results
                && (!file.open(QIODevice::WriteOnly)
                    || file.write(swapped + row) != swapped.size() + row.size()))
                qFatal("cannot replace a test input");
        });
    QVERIFY(result.import.failed);
    QCOMPARE(
        result.import.errorText,
        u"error : the plink2 file %1 changed while it was imported, please import it again!"_s.arg(path));
}

void tst_ToolImport::traitNamesAndRecognition_data()
{
    QTest::addColumn<ToolFormat>("format");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QStringList>("traits");

    QTest::newRow("plink2, one file")
        << ToolFormat::Plink2 << QStringList{u"/d/plink2.height.glm.linear"_s} << QStringList{u"height"_s};
    QTest::newRow("plink2, shared prefix with a dot")
        << ToolFormat::Plink2
        << QStringList{u"/d/run.v2.bmi.glm.linear.gz"_s, u"run.v2.bmi_adj.glm.logistic.hybrid"_s}
        << QStringList{u"bmi"_s, u"bmi_adj"_s};
    QTest::newRow("plink2 --glm zs output")
        << ToolFormat::Plink2 << QStringList{u"/d/run.ldl.glm.linear.zst"_s, u"run.hdl.glm.linear.zst"_s}
        << QStringList{u"ldl"_s, u"hdl"_s};
    QTest::newRow("plink2, runs with other prefixes")
        << ToolFormat::Plink2
        << QStringList{u"/d/qm.LDL_C.glm.linear"_s, u"/e/extreme.Bilirubin_extreme.glm.linear"_s,
                       u"solo.glm.linear"_s}
        << QStringList{u"LDL_C"_s, u"Bilirubin_extreme"_s, u"solo"_s};
    QTest::newRow("regenie, phenotypes with underscores")
        << ToolFormat::Regenie << QStringList{u"out_body_mass.regenie"_s, u"out_Y1.regenie.gz"_s}
        << QStringList{u"body_mass"_s, u"Y1"_s};
    QTest::newRow("plink1 and gwas-ssf: up to the first dot")
        << ToolFormat::Plink1 << QStringList{u"/d/height.assoc.logistic"_s, u"w.qassoc"_s}
        << QStringList{u"height"_s, u"w"_s};
}

void tst_ToolImport::traitNamesAndRecognition()
{
    QFETCH(ToolFormat, format);
    QFETCH(QStringList, paths);
    QFETCH(QStringList, traits);
    QCOMPARE(quillmap::toolTraitNames(format, paths), traits);

    // Fields past the header's count are one field, however many the line holds.
    std::vector<QByteArrayView> fields;
    quillmap::splitToolLine(ToolFormat::Plink2, QByteArray(1000, '\t'), fields, 16);
    QCOMPARE(fields.size(), size_t(17));
    quillmap::splitToolLine(ToolFormat::Regenie, "  a b\t c  d ", fields, 2);
    QCOMPARE(fields, (std::vector<QByteArrayView>{"a", "b", "c  d "}));
    QCOMPARE(quillmap::toolFieldCount(ToolFormat::Regenie, "  a b\t c  d "), 4);

    // Each format's header is recognised as its own and no other's.
    const QByteArray headers[] = {
        Plink2Linear.trimmed(),
        " CHR          SNP         BP   A1       TEST    NMISS         OR         STAT            P ",
        "CHROM GENPOS ID ALLELE0 ALLELE1 A1FREQ INFO N TEST BETA SE CHISQ LOG10P EXTRA",
        "chromosome\tbase_pair_location\teffect_allele\tother_allele\tbeta\tstandard_error\tp_value"};
    for (int k = 0; k < 4; ++k)
        QCOMPARE(quillmap::recogniseToolFormat(headers[k]), std::optional<ToolFormat>(ToolFormat(k)));
    QCOMPARE(quillmap::recogniseToolFormat("Trait\tSNP\tpvalue"), std::nullopt);
}

QTEST_GUILESS_MAIN(tst_ToolImport)
#include "tst_toolimport.moc"
