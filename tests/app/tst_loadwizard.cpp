#include "app/startupdialog.h"
#include "session/sharedstate.h"
#include "support/scripteddialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace quillmap;

namespace {

const QString FolderCaption = QStringLiteral(
    "Please choose a folder to store the indexing files! Use different folders for each data set");
const QString BeforeLoading = QStringLiteral(
    "Before loading, please make sure all the files are tab-delimited and SNP position in <b>Mb</b>.\r"
    "You only need to load data the first time you launch this program.");
const QString AskFile1 = QStringLiteral(
    "Please choose <b>required</b> file 1 (results). The format could be as following:\r Trait SNP statistic1 statistic2 ...");
const QString AskFile2 = QStringLiteral(
    "Please choose <b>required</b> file 2 (SNP info).The format could be as following:\rSNP chr pos col1 col2 ...");
const QString AskFile3 = QStringLiteral(
    "Please choose <b>required</b> file 3 (Trait info).The format could be as following:\rTrait col1 col2 ..");
const QString AskFile4 = QStringLiteral(
    "Please choose <b>optional</b> file 4 (Trait group). \nIf you don't have this file, click NO button.The format "
    "could be as following:\tTrait Group");
const QString AskFile5 = QStringLiteral(
    "Please choose <b>optional</b> file 5 (Gene Position). \nIf you don't have this file, click NO button.The format "
    "could be as following:\tGene Chr Start End");
const QString LoadingDone = QStringLiteral(
    "File loading is done. It may take a while to generate indexing files for browser.");
const QString Finished = QStringLiteral(
    "Finish loading data, you can choose the data set from the list and click 'Browse Data' button.");
const QString ImportFailed = QStringLiteral(
    "There is error when loading the data, please check summary.txt for details.\n");

QString msg(const QString &text, const QString &title = QStringLiteral("information"))
{
    return QStringLiteral("message|%1|%2||").arg(title, text);
}

QString folderDialog()
{
    return QStringLiteral("directory|||") + FolderCaption + QLatin1Char('|');
}

QString openDialog(int n)
{
    return QStringLiteral("open|||Open File|File%1 (*.*)").arg(n);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList readLines(const QString &path)
{
    QString text = QString::fromUtf8(readFile(path));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text.split(QLatin1Char('\n'));
}

QStringList storedRegistry()
{
    return QSettings(QStringLiteral("Diravizi"), QStringLiteral("Quillmap"))
        .value(QStringLiteral("path"))
        .toStringList();
}

// Counts progress windows shown anywhere in the application.
class ProgressWatcher : public QObject
{
public:
    int shown = 0;
    QString label;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->inherits("QProgressDialog")) {
            ++shown;
            label = static_cast<QProgressDialog *>(watched)->labelText();
        }
        return false;
    }
};

} // namespace

class TestLoadWizard : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void fullImport();
    void cancelRequiredStep_data();
    void cancelRequiredStep();
    void noOptionalFiles();
    void yesThenCancelOnGroupFile();
    void reloadQuestionNoLeavesFilesUntouched();
    void reloadQuestionYesImportsAgain();
    void registeredFolderStaysOnce();
    void failingImport();
    void secondImportInOneRun();
    void exampleStudyImports();
    void toolOutputAsksForItsStudy();

private:
    struct Inputs {
        QString results, snps, traits, groups, genes;
    };
    Inputs writeInputs(const QByteArray &results = {});
    void scriptFolder(ScriptedDialogs &s, const QString &folder);
    void scriptFiles(ScriptedDialogs &s, const Inputs &in, bool groups, bool genes);

    QTemporaryDir m_dir;
    int m_inputs = 0;
};

void TestLoadWizard::init()
{
    QVERIFY(m_dir.isValid());
    QSettings(QStringLiteral("Diravizi"), QStringLiteral("Quillmap")).clear();
    quillmap::datasetRegistry().clear();
    quillmap::currentDatasetFolder().clear();
    quillmap::lastInputFolder().clear();
}

void TestLoadWizard::cleanup()
{
    init();
}

TestLoadWizard::Inputs TestLoadWizard::writeInputs(const QByteArray &results)
{
    const QString dir = m_dir.filePath(QStringLiteral("inputs%1").arg(++m_inputs));
    QDir().mkpath(dir);
    Inputs in{dir + QStringLiteral("/results.txt"), dir + QStringLiteral("/snps.txt"),
              dir + QStringLiteral("/traits.txt"), dir + QStringLiteral("/groups.txt"),
              dir + QStringLiteral("/genes.txt")};
    writeFile(in.results,
              results.isEmpty() ? QByteArray("Trait\tSNP\tpvalue\tbeta\n"
                                             "T2\trs1\t0.01\t0.5\n"
                                             "T1\trs2\t0.2\t-0.1\n"
                                             "T1\trs1\t3e-8\t1.25\n")
                                : results);
    writeFile(in.snps,
              "SNP\tchr\tpos\tallele\n"
              "rs1\t1\t12.3\tA\n"
              "rs2\tX\t5.5\tG\n"
              "rs9\t22\t40.25\tT\n");
    writeFile(in.traits, "Trait\tdescription\nT1\tfirst trait\nT2\tsecond trait\n");
    writeFile(in.groups, "Trait\tGroup\nT1\tG1\nT2\tG1\tG2\n");
    writeFile(in.genes, "Gene\tChr\tStart\tEnd\nGA\tchr1\t12000000\t12500000\nGB\tchrX\t5100000\t5200000\n");
    return in;
}

void TestLoadWizard::scriptFolder(ScriptedDialogs &s, const QString &folder)
{
    s.answerPath(folder);
}

void TestLoadWizard::scriptFiles(ScriptedDialogs &s, const Inputs &in, bool groups, bool genes)
{
    s.answerButton(QMessageBox::Yes); // before loading
    s.answerButton(QMessageBox::Yes);
    s.answerPath(in.results);
    s.answerButton(QMessageBox::Yes);
    s.answerPath(in.snps);
    s.answerButton(QMessageBox::Yes);
    s.answerPath(in.traits);
    s.answerButton(groups ? QMessageBox::Yes : QMessageBox::No);
    if (groups)
        s.answerPath(in.groups);
    s.answerButton(genes ? QMessageBox::Yes : QMessageBox::No);
    if (genes)
        s.answerPath(in.genes);
    s.answerButton(QMessageBox::Yes); // loading is done
}

void TestLoadWizard::fullImport()
{
    const Inputs in = writeInputs();
    const QString folder = m_dir.filePath(QStringLiteral("set"));
    QVERIFY(QDir().mkpath(folder));

    StartupDialog dialog;
    QSignalSpy finished(&dialog, &QDialog::finished);
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    scriptFolder(scripted, folder);
    scriptFiles(scripted, in, true, true);
    scripted.answerButton(QMessageBox::Yes); // finished
    ProgressWatcher watcher;
    qApp->installEventFilter(&watcher);
    dialog.loadData->click();
    qApp->removeEventFilter(&watcher);
    QCOMPARE(watcher.shown, 1);
    QVERIFY(dialog.findChildren<QProgressDialog *>().isEmpty());

    // clang-format off
    const QStringList expected{
        folderDialog(),
        msg(BeforeLoading),
        msg(AskFile1), openDialog(1),
        msg(AskFile2), openDialog(2),
        msg(AskFile3), openDialog(3),
        msg(AskFile4), openDialog(4),
        msg(AskFile5), openDialog(5),
        msg(LoadingDone),
        msg(Finished),
    };
    // clang-format on
    QCOMPARE(scripted.transcript(), expected);
    QCOMPARE(scripted.pendingAnswers(), 0);
    QCOMPARE(scripted.unexpectedCalls(), 0);

    const QList<ScriptedDialogs::Call> &calls = scripted.calls();
    QCOMPARE(calls.at(0).caption, FolderCaption);
    // The first file dialog starts in the working directory, the later ones in the folder of the
    // file chosen before.
    QString fileDialogStart = QDir::currentPath();
    for (const ScriptedDialogs::Call &call : calls) {
        if (call.kind == ScriptedDialogs::Kind::Message) {
            QCOMPARE(call.icon, QMessageBox::Question);
            // Only the wizard's own bold words are rich text.
            QCOMPARE(call.format, call.text.contains(QStringLiteral("<b>")) ? Qt::RichText : Qt::PlainText);
            const bool question = call.text == AskFile4 || call.text == AskFile5;
            QCOMPARE(call.buttons,
                     question ? QMessageBox::Yes | QMessageBox::No
                              : QMessageBox::StandardButtons(QMessageBox::Yes));
        } else if (call.caption == FolderCaption) {
            QCOMPARE(call.dir, QDir::currentPath());
        } else {
            QCOMPARE(call.dir, fileDialogStart);
            fileDialogStart = QFileInfo(in.results).absolutePath();
        }
    }

    QCOMPARE(finished.count(), 0);
    QVERIFY(!dialog.isAccepted());
    QCOMPARE(quillmap::currentDatasetFolder(), folder);
    QCOMPARE(quillmap::datasetRegistry(), QStringList{folder});
    QCOMPARE(storedRegistry(), QStringList{folder});
    QCOMPARE(dialog.datasetComboBox->count(), 2);
    QCOMPARE(dialog.datasetComboBox->itemText(1), folder);
    QCOMPARE(dialog.datasetComboBox->currentIndex(), 0);
    QVERIFY(!QApplication::overrideCursor());

    const QStringList report = readLines(folder + QStringLiteral("/summary.txt"));
    QCOMPARE(report.size(), 7);
    QCOMPARE(report.at(0), QStringList({in.results, in.snps, in.traits, in.groups}).join(QLatin1Char('\t')));
    QCOMPARE(report.at(5), QStringLiteral("Trait Num :\t 2"));
    QVERIFY(QFile::exists(folder + QStringLiteral("/Gene2ID.dat")));
    QVERIFY(QFile::exists(folder + QStringLiteral("/pos2gene.dat")));

    // The new dataset opens for browsing.
    scripted.clear();
    dialog.datasetComboBox->setCurrentIndex(1);
    dialog.browseData->click();
    QVERIFY(dialog.isAccepted());
    QCOMPARE(finished.count(), 1);
}

void TestLoadWizard::cancelRequiredStep_data()
{
    QTest::addColumn<int>("step");
    QTest::newRow("folder") << 0;
    QTest::newRow("file 1") << 1;
    QTest::newRow("file 2") << 2;
    QTest::newRow("file 3") << 3;
}

void TestLoadWizard::cancelRequiredStep()
{
    QFETCH(int, step);
    const Inputs in = writeInputs();
    const QString folder = m_dir.filePath(QStringLiteral("cancel%1").arg(step));
    QVERIFY(QDir().mkpath(folder));
    quillmap::currentDatasetFolder() = QStringLiteral("/before");

    StartupDialog dialog;
    QSignalSpy finished(&dialog, &QDialog::finished);
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    QStringList expected{folderDialog()};
    if (step == 0) {
        scripted.answerPath(QString());
    } else {
        scripted.answerPath(folder);
        scripted.answerButton(QMessageBox::Yes);
        expected << msg(BeforeLoading);
        const QString paths[] = {in.results, in.snps, in.traits};
        const QString asks[] = {AskFile1, AskFile2, AskFile3};
        for (int i = 1; i <= step; ++i) {
            scripted.answerButton(QMessageBox::Yes);
            scripted.answerPath(i == step ? QString() : paths[i - 1]);
            expected << msg(asks[i - 1]) << openDialog(i);
        }
    }
    dialog.loadData->click();

    QCOMPARE(scripted.transcript(), expected);
    QCOMPARE(scripted.pendingAnswers(), 0);
    QCOMPARE(scripted.unexpectedCalls(), 0);
    QCOMPARE(finished.count(), 0);
    QVERIFY(quillmap::datasetRegistry().isEmpty());
    QVERIFY(storedRegistry().isEmpty());
    QCOMPARE(QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    QCOMPARE(quillmap::currentDatasetFolder(), step == 0 ? QStringLiteral("/before") : folder);
}

void TestLoadWizard::noOptionalFiles()
{
    const Inputs in = writeInputs();
    const QString folder = m_dir.filePath(QStringLiteral("plain"));
    QVERIFY(QDir().mkpath(folder));

    StartupDialog dialog;
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    scriptFolder(scripted, folder);
    scriptFiles(scripted, in, false, false);
    scripted.answerButton(QMessageBox::Yes);
    dialog.loadData->click();

    QCOMPARE(scripted.transcript(),
             (QStringList{folderDialog(), msg(BeforeLoading), msg(AskFile1), openDialog(1), msg(AskFile2),
                          openDialog(2), msg(AskFile3), openDialog(3), msg(AskFile4), msg(AskFile5),
                          msg(LoadingDone), msg(Finished)}));
    QVERIFY(!QFile::exists(folder + QStringLiteral("/Gene2ID.dat")));
    QVERIFY(!QFile::exists(folder + QStringLiteral("/pos2gene.dat")));
    QCOMPARE(readLines(folder + QStringLiteral("/summary.txt")).first(),
             QStringList({in.results, in.snps, in.traits}).join(QLatin1Char('\t')));
    QCOMPARE(quillmap::datasetRegistry(), QStringList{folder});
}

void TestLoadWizard::yesThenCancelOnGroupFile()
{
    const Inputs in = writeInputs();
    const QString folder = m_dir.filePath(QStringLiteral("nogroups"));
    QVERIFY(QDir().mkpath(folder));

    StartupDialog dialog;
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    scripted.answerPath(folder);
    scripted.answerButton(QMessageBox::Yes);
    scripted.answerButton(QMessageBox::Yes);
    scripted.answerPath(in.results);
    scripted.answerButton(QMessageBox::Yes);
    scripted.answerPath(in.snps);
    scripted.answerButton(QMessageBox::Yes);
    scripted.answerPath(in.traits);
    scripted.answerButton(QMessageBox::Yes);
    scripted.answerPath(QString()); // file 4 dialog cancelled
    scripted.answerButton(QMessageBox::Yes);
    scripted.answerPath(in.genes);
    scripted.answerButton(QMessageBox::Yes);
    scripted.answerButton(QMessageBox::Yes);
    dialog.loadData->click();

    QCOMPARE(scripted.pendingAnswers(), 0);
    QCOMPARE(scripted.transcript().last(), msg(Finished));
    QVERIFY(!QFile::exists(folder + QStringLiteral("/Gene2ID.dat")));
    QVERIFY(QFile::exists(folder + QStringLiteral("/pos2gene.dat")));
    QCOMPARE(readLines(folder + QStringLiteral("/summary.txt")).first().split(QLatin1Char('\t')).size(), 3);
}

void TestLoadWizard::reloadQuestionNoLeavesFilesUntouched()
{
    const QString folder = m_dir.filePath(QStringLiteral("existing"));
    QVERIFY(QDir().mkpath(folder));
    const QByteArray summary = "old report\n";
    const QByteArray table = QByteArray(24, '\x07');
    writeFile(folder + QStringLiteral("/summary.txt"), summary);
    writeFile(folder + QStringLiteral("/table1.dat"), table);
    const QDateTime stamp = QFileInfo(folder + QStringLiteral("/table1.dat")).lastModified();

    StartupDialog dialog;
    QSignalSpy finished(&dialog, &QDialog::finished);
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    scripted.answerPath(folder);
    scripted.answerButton(QMessageBox::No);
    dialog.loadData->click();

    QCOMPARE(scripted.transcript(),
             (QStringList{folderDialog(),
                          msg(QStringLiteral("Are you sure to reload the dataset?"),
                              QStringLiteral("Loading the data"))}));
    QCOMPARE(scripted.calls().at(1).buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(scripted.calls().at(1).icon, QMessageBox::Question);
    QCOMPARE(readFile(folder + QStringLiteral("/summary.txt")), summary);
    QCOMPARE(readFile(folder + QStringLiteral("/table1.dat")), table);
    QCOMPARE(QFileInfo(folder + QStringLiteral("/table1.dat")).lastModified(), stamp);
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2);
    QCOMPARE(finished.count(), 0);
    QVERIFY(quillmap::datasetRegistry().isEmpty());
    QCOMPARE(quillmap::currentDatasetFolder(), folder);
}

void TestLoadWizard::reloadQuestionYesImportsAgain()
{
    const Inputs in = writeInputs();
    const QString folder = m_dir.filePath(QStringLiteral("again"));
    QVERIFY(QDir().mkpath(folder));
    writeFile(folder + QStringLiteral("/summary.txt"), "old report\n");

    StartupDialog dialog;
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    scripted.answerPath(folder);
    scripted.answerButton(QMessageBox::Yes); // reload
    scriptFiles(scripted, in, false, false);
    scripted.answerButton(QMessageBox::Yes);
    dialog.loadData->click();

    QCOMPARE(scripted.transcript().at(1),
             msg(QStringLiteral("Are you sure to reload the dataset?"), QStringLiteral("Loading the data")));
    QCOMPARE(scripted.transcript().at(2), msg(BeforeLoading));
    QCOMPARE(scripted.transcript().last(), msg(Finished));
    QCOMPARE(readLines(folder + QStringLiteral("/summary.txt")).size(), 7);
}

void TestLoadWizard::registeredFolderStaysOnce()
{
    const Inputs in = writeInputs();
    const QString folder = m_dir.filePath(QStringLiteral("twice"));
    QVERIFY(QDir().mkpath(folder));
    QSettings(QStringLiteral("Diravizi"), QStringLiteral("Quillmap"))
        .setValue(QStringLiteral("path"), QStringList{folder, QStringLiteral("/other")});

    StartupDialog dialog;
    dialog.datasetComboBox->setCurrentIndex(2);
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    scripted.answerPath(folder);
    scriptFiles(scripted, in, false, false);
    scripted.answerButton(QMessageBox::Yes);
    dialog.loadData->click();

    QCOMPARE(scripted.transcript().last(), msg(Finished));
    QCOMPARE(storedRegistry(), (QStringList{folder, QStringLiteral("/other")}));
    QCOMPARE(dialog.datasetComboBox->count(), 3);
    QCOMPARE(dialog.datasetComboBox->currentIndex(), 0);
}

void TestLoadWizard::failingImport()
{
    const Inputs in = writeInputs("Trait\tSNP\tpvalue\n"
                                  "T1\trs1\t0.5\n"
                                  "T1\trs2\tNA\n");
    const QString folder = m_dir.filePath(QStringLiteral("broken"));
    QVERIFY(QDir().mkpath(folder));
    const QStringList before{QStringLiteral("/data/registered")};
    QSettings(QStringLiteral("Diravizi"), QStringLiteral("Quillmap"))
        .setValue(QStringLiteral("path"), before);

    StartupDialog dialog;
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    scripted.answerPath(folder);
    scriptFiles(scripted, in, false, false);
    scripted.answerButton(QMessageBox::Ok);
    dialog.loadData->click();

    const QString errorBox = ImportFailed + QStringLiteral("error : 2th line has invalid numeric number! ");
    QCOMPARE(scripted.transcript().last(), msg(errorBox));
    QCOMPARE(scripted.transcript().at(scripted.transcript().size() - 2), msg(LoadingDone));
    QCOMPARE(scripted.calls().last().icon, QMessageBox::Information);
    QCOMPARE(scripted.calls().last().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(scripted.pendingAnswers(), 0);
    QCOMPARE(rejected.count(), 1);
    QVERIFY(!dialog.isAccepted());
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(quillmap::datasetRegistry(), before);
    QCOMPARE(storedRegistry(), before);

    // The next run finds the registry as it was before the import.
    StartupDialog restarted;
    QCOMPARE(restarted.datasetComboBox->count(), 2);
    QCOMPARE(restarted.datasetComboBox->itemText(1), before.first());

    // And the failed folder, if opened by hand, reports its error.
    scripted.clear();
    scripted.answerButton(QMessageBox::Ok);
    quillmap::currentDatasetFolder() = folder;
    restarted.browseData->click();
    QVERIFY(!restarted.isAccepted());
    QCOMPARE(scripted.calls().size(), 1);
}

void TestLoadWizard::secondImportInOneRun()
{
    const Inputs first = writeInputs();
    const Inputs second = writeInputs("Trait\tSNP\tz\tbeta\nU9\trs9\t1.5\t2\n");
    const QString a = m_dir.filePath(QStringLiteral("runA"));
    const QString b = m_dir.filePath(QStringLiteral("runB"));
    QVERIFY(QDir().mkpath(a));
    QVERIFY(QDir().mkpath(b));

    StartupDialog dialog;
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    scripted.answerPath(a);
    scriptFiles(scripted, first, true, false);
    scripted.answerButton(QMessageBox::Yes);
    scripted.answerPath(b);
    scriptFiles(scripted, second, false, false);
    scripted.answerButton(QMessageBox::Yes);
    dialog.loadData->click();
    dialog.loadData->click();

    QCOMPARE(scripted.pendingAnswers(), 0);
    QCOMPARE(storedRegistry(), (QStringList{a, b}));
    QCOMPARE(readFile(b + QStringLiteral("/IDlist.dat")), QByteArray("U9\n"));
    QCOMPARE(quillmap::currentDatasetFolder(), b);
}

// The example files shipped for first-time users import cleanly with all five files.
void TestLoadWizard::exampleStudyImports()
{
    const QString examples = QStringLiteral(QUILLMAP_TESTDATA "/../../examples");
    const Inputs in{examples + QStringLiteral("/results.txt"), examples + QStringLiteral("/snp_info.txt"),
                    examples + QStringLiteral("/trait_info.txt"),
                    examples + QStringLiteral("/trait_groups.txt"),
                    examples + QStringLiteral("/gene_positions.txt")};
    for (const QString *path : {&in.results, &in.snps, &in.traits, &in.groups, &in.genes})
        QVERIFY2(QFile::exists(*path), qPrintable(*path));
    const QString folder = m_dir.filePath(QStringLiteral("example"));
    QVERIFY(QDir().mkpath(folder));

    StartupDialog dialog;
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    scripted.answerPath(folder);
    scriptFiles(scripted, in, true, true);
    scripted.answerButton(QMessageBox::Yes);
    dialog.loadData->click();

    QCOMPARE(scripted.transcript().last(), msg(Finished));
    const QStringList report = readLines(folder + QStringLiteral("/summary.txt"));
    QCOMPARE(report.size(), 7);
    QCOMPARE(report.at(3), QStringLiteral("number of extra trait columns\t2"));
    QCOMPARE(report.at(5), QStringLiteral("Trait Num :\t 300"));
    QVERIFY(QFileInfo(folder + QStringLiteral("/pos2gene.dat")).size() > 0);
    QVERIFY(QFileInfo(folder + QStringLiteral("/Gene2ID.dat")).size() > 0);
}

// A results file a tool wrote leads to the study's other files and the build instead of the
// five-file questions; the report of what was skipped ends the finish notice.
void TestLoadWizard::toolOutputAsksForItsStudy()
{
    const QString dir = m_dir.filePath(QStringLiteral("regenie"));
    QVERIFY(QDir().mkpath(dir));
    const QByteArray header =
        "CHROM GENPOS ID ALLELE0 ALLELE1 A1FREQ INFO N TEST BETA SE CHISQ LOG10P EXTRA\n";
    writeFile(dir + QStringLiteral("/out_Y1.regenie"),
              header + "1 79033 1:79033:A:G A G 0.01 1 494 ADD 0.2 0.1 4 414.46 NA\n");
    writeFile(dir + QStringLiteral("/out_Y2.regenie"),
              header
                  + "1 79033 1:79033:A:G A G 0.01 1 494 ADD NA NA NA NA TEST_FAIL\n"
                    "MT 79 MT:79:A:G A G 0.01 1 494 ADD 0.2 0.1 4 1 NA\n");
    const QString folder = m_dir.filePath(QStringLiteral("study"));
    QVERIFY(QDir().mkpath(folder));

    StartupDialog dialog;
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    scriptFolder(scripted, folder);
    scripted.answerButton(QMessageBox::Yes); // before loading
    scripted.answerButton(QMessageBox::Yes);
    scripted.answerPath(dir + QStringLiteral("/out_Y1.regenie"));
    scripted.answerButton(QMessageBox::Yes); // regenie output
    scripted.answerPath(dir + QStringLiteral("/out_Y2.regenie"));
    scripted.answerButton(QMessageBox::No);  // no trait groups
    scripted.answerButton(QMessageBox::Yes); // gene positions
    writeFile(dir + QStringLiteral("/genes.txt"), "Gene\tChr\tStart\tEnd\nGA\tchr1\t70000\t90000\n");
    scripted.answerPath(dir + QStringLiteral("/genes.txt"));
    scripted.answerButton(QMessageBox::No);  // hg38
    scripted.answerButton(QMessageBox::Yes); // hg19
    scripted.answerButton(QMessageBox::Yes); // loading is done
    scripted.answerButton(QMessageBox::Yes); // finished
    dialog.loadData->click();

    const QStringList transcript = scripted.transcript();
    QCOMPARE(
        transcript.value(4),
        msg(QStringLiteral("The file is regenie output, one trait per file. Please choose the other"
                           " files of this study (several at once), or cancel to import this file alone.")));
    QCOMPARE(transcript.value(6), msg(AskFile4));
    QCOMPARE(transcript.value(7), msg(AskFile5));
    QCOMPARE(scripted.calls().value(8).dir, dir);
    QCOMPARE(transcript.value(9), msg(QStringLiteral("Are the positions on the genome build hg38?")));
    QCOMPARE(transcript.value(11), msg(LoadingDone));
    QCOMPARE(
        transcript.value(12),
        msg(Finished
            + QStringLiteral("\n\n1 rows kept from 2 file(s).\n"
                             "Skipped 1 rows with the p-value missing (NA).\n"
                             "Skipped 1 rows on chromosomes other than 1-22 and X (MT).\n"
                             "Note: 1 p-value(s) below single precision are stored as 0 under P"
                             " (the first on data line 1 of the rows imported); -log10(P) keeps them.")));
    QCOMPARE(scripted.pendingAnswers(), 0);
    QCOMPARE(quillmap::datasetRegistry(), QStringList{folder});
    QCOMPARE(readLines(folder + QStringLiteral("/genome_build.txt")), QStringList{QStringLiteral("hg19")});
    QCOMPARE(readLines(folder + QStringLiteral("/summary.txt")).value(5), QStringLiteral("Trait Num :\t 1"));
    QVERIFY(QFileInfo(folder + QStringLiteral("/pos2gene.dat")).size() > 0);
}

QTEST_MAIN(TestLoadWizard)
#include "tst_loadwizard.moc"
