#include "app/startupdialog.h"
#include "session/sharedstate.h"
#include "support/scripteddialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace quillmap;

namespace {

QString settingsFile()
{
    return QSettings(QStringLiteral("Diravizi"), QStringLiteral("Quillmap")).fileName();
}

QStringList storedRegistry()
{
    QSettings settings(QStringLiteral("Diravizi"), QStringLiteral("Quillmap"));
    return settings.value(QStringLiteral("path")).toStringList();
}

void storeRegistry(const QStringList &folders)
{
    QSettings settings(QStringLiteral("Diravizi"), QStringLiteral("Quillmap"));
    settings.setValue(QStringLiteral("path"), folders);
}

QStringList comboItems(const StartupDialog &dialog)
{
    QStringList items;
    for (int i = 0; i < dialog.datasetComboBox->count(); ++i)
        items << dialog.datasetComboBox->itemText(i);
    return items;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestStartupDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void formMatchesLayout();
    void firstRunHasOnlyPlaceholder();
    void storedFoldersFillTheList();
    void addAppendsWithoutDuplicates();
    void foldersDifferingInCaseAreDistinct();
    void removeWithPlaceholderDoesNothing();
    void removeThenAddAgainAppendsAtEnd();
    void damagedSettingsGiveEmptyRegistry_data();
    void damagedSettingsGiveEmptyRegistry();
    void unreadableSettingsGiveEmptyRegistry_data();
    void unreadableSettingsGiveEmptyRegistry();
    void updatesMergeWithTheListOnDisk();

    void browseWithoutReport();
    void browseReport_data();
    void browseReport();
    void browseWithPlaceholderUsesCurrentFolder();
    void exitButtonRejects();

private:
    QTemporaryDir m_dir;
};

void TestStartupDialog::init()
{
    QVERIFY(m_dir.isValid());
    const QString file = settingsFile();
    QFileInfo info(file);
    if (info.isDir())
        QVERIFY(QDir(file).removeRecursively());
    QFile::remove(file);
    QSettings(QStringLiteral("Diravizi"), QStringLiteral("Quillmap")).clear();
    quillmap::datasetRegistry().clear();
    quillmap::currentDatasetFolder().clear();
}

void TestStartupDialog::cleanup()
{
    init();
}

void TestStartupDialog::formMatchesLayout()
{
    StartupDialog dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("startup"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Quillmap V 0.0.2  (Oct.l 2008)"));
    QCOMPARE(dialog.size(), QSize(567, 451));
    QVERIFY(!dialog.layout());

    QCOMPARE(dialog.cancelButton->geometry(), QRect(200, 300, 131, 31));
    QCOMPARE(dialog.cancelButton->text(), QStringLiteral("Exit"));
    QCOMPARE(dialog.loadData->geometry(), QRect(110, 90, 321, 51));
    QCOMPARE(dialog.loadData->text(), QStringLiteral("LOAD DATA"));
    QCOMPARE(dialog.browseData->geometry(), QRect(110, 220, 321, 51));
    QCOMPARE(dialog.browseData->text(), QStringLiteral("BROWSE DATA"));
    QVERIFY(dialog.browseData->isEnabled());
    QVERIFY(!dialog.browseData->isFlat());
    QCOMPARE(dialog.label->geometry(), QRect(160, 20, 301, 61));
    QCOMPARE(dialog.label->contextMenuPolicy(), Qt::NoContextMenu);
    QVERIFY(dialog.label->hasScaledContents());
    QVERIFY(dialog.label->text().contains(QStringLiteral("Please load your data the first")));
    QVERIFY(dialog.label->text().contains(QStringLiteral("time you launch the program!")));
    QVERIFY(dialog.label->text().contains(QStringLiteral("color:#b22222")));
    QCOMPARE(dialog.datasetComboBox->geometry(), QRect(109, 171, 251, 20));
    QVERIFY(!dialog.datasetComboBox->isEditable());
    QCOMPARE(dialog.removeButton->geometry(), QRect(370, 170, 61, 21));
    QCOMPARE(dialog.removeButton->text(), QStringLiteral("Remove"));

    const QStringList order{QStringLiteral("cancelButton"),    QStringLiteral("loadData"),
                            QStringLiteral("browseData"),      QStringLiteral("label"),
                            QStringLiteral("datasetComboBox"), QStringLiteral("removeButton")};
    QStringList children;
    for (QObject *child : dialog.children())
        if (order.contains(child->objectName()))
            children << child->objectName();
    QCOMPARE(children, order);
}

void TestStartupDialog::firstRunHasOnlyPlaceholder()
{
    quillmap::datasetRegistry() = {QStringLiteral("/left/over")};
    StartupDialog dialog;
    QCOMPARE(comboItems(dialog), QStringList{QStringLiteral("Choose Data Set")});
    QCOMPARE(dialog.datasetComboBox->currentIndex(), 0);
    QVERIFY(quillmap::datasetRegistry().isEmpty());
    QVERIFY(!dialog.isAccepted());
}

void TestStartupDialog::storedFoldersFillTheList()
{
    storeRegistry({QStringLiteral("/data/a"), QStringLiteral("/data/b")});
    StartupDialog dialog;
    QCOMPARE(comboItems(dialog),
             (QStringList{QStringLiteral("Choose Data Set"), QStringLiteral("/data/a"),
                          QStringLiteral("/data/b")}));
    QCOMPARE(quillmap::datasetRegistry(),
             (QStringList{QStringLiteral("/data/a"), QStringLiteral("/data/b")}));
    QCOMPARE(dialog.datasetComboBox->currentIndex(), 0);

    // A one-entry list is stored as a plain string; it still reads back as one folder.
    storeRegistry({QStringLiteral("/data/only")});
    StartupDialog second;
    QCOMPARE(quillmap::datasetRegistry(), QStringList{QStringLiteral("/data/only")});
}

void TestStartupDialog::addAppendsWithoutDuplicates()
{
    StartupDialog dialog;
    dialog.addDataset(QStringLiteral("/data/a"));
    dialog.addDataset(QStringLiteral("/data/b"));
    dialog.datasetComboBox->setCurrentIndex(2);
    dialog.addDataset(QStringLiteral("/data/a"));

    const QStringList expected{QStringLiteral("/data/a"), QStringLiteral("/data/b")};
    QCOMPARE(quillmap::datasetRegistry(), expected);
    QCOMPARE(storedRegistry(), expected);
    QCOMPARE(comboItems(dialog), QStringList{QStringLiteral("Choose Data Set")} + expected);
    QCOMPARE(dialog.datasetComboBox->currentIndex(), 0);

    // A later run sees the same list.
    StartupDialog restarted;
    QCOMPARE(comboItems(restarted), QStringList{QStringLiteral("Choose Data Set")} + expected);
}

void TestStartupDialog::foldersDifferingInCaseAreDistinct()
{
    StartupDialog dialog;
    dialog.addDataset(QStringLiteral("/data/Set"));
    dialog.addDataset(QStringLiteral("/data/set"));
    QCOMPARE(storedRegistry(), (QStringList{QStringLiteral("/data/Set"), QStringLiteral("/data/set")}));

    dialog.datasetComboBox->setCurrentIndex(2);
    dialog.removeButton->click();
    QCOMPARE(storedRegistry(), QStringList{QStringLiteral("/data/Set")});
}

void TestStartupDialog::removeWithPlaceholderDoesNothing()
{
    storeRegistry({QStringLiteral("/data/a"), QStringLiteral("/data/b")});
    const QByteArray before = [] {
        QFile f(settingsFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    StartupDialog dialog;
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    dialog.removeButton->click();
    QCOMPARE(comboItems(dialog).size(), 3);
    QCOMPARE(quillmap::datasetRegistry().size(), 2);
    QFile after(settingsFile());
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), before);
    QVERIFY(scripted.calls().isEmpty());
}

void TestStartupDialog::removeThenAddAgainAppendsAtEnd()
{
    const QString kept = m_dir.filePath(QStringLiteral("kept"));
    QVERIFY(QDir().mkpath(kept));
    writeFile(kept + QStringLiteral("/summary.txt"), "report\n");

    storeRegistry({kept, QStringLiteral("/data/b"), QStringLiteral("/data/c")});
    StartupDialog dialog;
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    dialog.datasetComboBox->setCurrentIndex(1);
    dialog.removeButton->click();

    const QStringList rest{QStringLiteral("/data/b"), QStringLiteral("/data/c")};
    QCOMPARE(quillmap::datasetRegistry(), rest);
    QCOMPARE(storedRegistry(), rest);
    QCOMPARE(comboItems(dialog), QStringList{QStringLiteral("Choose Data Set")} + rest);
    QCOMPARE(dialog.datasetComboBox->currentIndex(), 0);
    QVERIFY(QFile::exists(kept + QStringLiteral("/summary.txt")));
    QVERIFY(scripted.calls().isEmpty());

    dialog.addDataset(kept);
    QCOMPARE(storedRegistry(), rest + QStringList{kept});
    QCOMPARE(comboItems(dialog).last(), kept);

    // Removing the last entry leaves an empty, still readable list.
    for (int i = 0; i < 3; ++i) {
        dialog.datasetComboBox->setCurrentIndex(1);
        dialog.removeButton->click();
    }
    QVERIFY(storedRegistry().isEmpty());
    StartupDialog restarted;
    QCOMPARE(comboItems(restarted), QStringList{QStringLiteral("Choose Data Set")});
}

void TestStartupDialog::damagedSettingsGiveEmptyRegistry_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("binary garbage") << QByteArray("\x00\xff\xfe[[[\x01\x02path\x00=\xff", 16);
    QTest::newRow("broken variant") << QByteArray(
        "[General]\npath=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x12QStr)\n");
    QTest::newRow("truncated list") << QByteArray("[General]\npath=@StringList(\n");
    QTest::newRow("not a list") << QByteArray("[General]\npath=@Rect(1 2 3 4)\n");
    QTest::newRow("empty entries") << QByteArray("[General]\npath=, , \n");
}

void TestStartupDialog::damagedSettingsGiveEmptyRegistry()
{
    QFETCH(QByteArray, content);
    const QString file = settingsFile();
    QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
    writeFile(file, content);

    StartupDialog dialog;
    QVERIFY(quillmap::datasetRegistry().isEmpty());
    QCOMPARE(comboItems(dialog), QStringList{QStringLiteral("Choose Data Set")});

    // The dialog still works: BROWSE DATA asks for data, an import registers its folder.
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    scripted.answerButton(QMessageBox::Yes);
    dialog.browseData->click();
    QCOMPARE(scripted.calls().size(), 1);
    QCOMPARE(scripted.calls().first().text, QStringLiteral("Please load data first!"));
}

void TestStartupDialog::unreadableSettingsGiveEmptyRegistry_data()
{
    QTest::addColumn<bool>("fifo");
    // A folder where the settings file should be cannot be read by anyone, root included.
    QTest::newRow("folder") << false;
    // A FIFO would block the read until something writes to it.
    QTest::newRow("FIFO") << true;
}

void TestStartupDialog::unreadableSettingsGiveEmptyRegistry()
{
    QFETCH(bool, fifo);
    const QString file = settingsFile();
    if (fifo) {
        QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
        QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
    } else {
        QVERIFY(QDir().mkpath(file));
    }

    StartupDialog dialog;
    QVERIFY(quillmap::datasetRegistry().isEmpty());
    QCOMPARE(comboItems(dialog), QStringList{QStringLiteral("Choose Data Set")});

    // Writing fails silently; the list in memory still follows the operations.
    dialog.addDataset(QStringLiteral("/data/a"));
    QCOMPARE(quillmap::datasetRegistry(), QStringList{QStringLiteral("/data/a")});
    QCOMPARE(comboItems(dialog).size(), 2);
    QVERIFY(QFileInfo(file).exists() && !QFileInfo(file).isFile());
    if (fifo)
        QVERIFY(QFile::remove(file));
}

// The list on disk changed since the dialog read it: an import from the command line meanwhile.
void TestStartupDialog::updatesMergeWithTheListOnDisk()
{
    const QString a = QStringLiteral("/data/a"), b = QStringLiteral("/data/b"), c = QStringLiteral("/data/c"),
                  d = QStringLiteral("/data/d");
    storeRegistry({a});
    StartupDialog dialog;
    storeRegistry({a, b});
    dialog.addDataset(c);
    QCOMPARE(storedRegistry(), (QStringList{a, b, c}));
    QCOMPARE(comboItems(dialog), (QStringList{QStringLiteral("Choose Data Set"), a, b, c}));
    storeRegistry({a, b, c, d});
    dialog.removeDataset(a);
    QCOMPARE(storedRegistry(), (QStringList{b, c, d}));
    QCOMPARE(quillmap::datasetRegistry(), (QStringList{b, c, d}));
}

void TestStartupDialog::browseWithoutReport()
{
    const QString empty = m_dir.filePath(QStringLiteral("empty"));
    QVERIFY(QDir().mkpath(empty));
    storeRegistry({empty});

    StartupDialog dialog;
    QSignalSpy finished(&dialog, &QDialog::finished);
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    scripted.answerButton(QMessageBox::Yes);
    dialog.datasetComboBox->setCurrentIndex(1);
    dialog.browseData->click();

    QCOMPARE(scripted.calls().size(), 1);
    const ScriptedDialogs::Call &call = scripted.calls().first();
    QCOMPARE(call.icon, QMessageBox::Question);
    QCOMPARE(call.title, QStringLiteral("information"));
    QCOMPARE(call.text, QStringLiteral("Please load data first!"));
    QCOMPARE(call.buttons, QMessageBox::StandardButtons(QMessageBox::Yes));
    QCOMPARE(finished.count(), 0);
    QVERIFY(!dialog.isAccepted());
    QCOMPARE(quillmap::currentDatasetFolder(), empty);
}

void TestStartupDialog::browseReport_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<bool>("accepted");

    const QByteArray head = "/in/r.txt\t/in/s.txt\t/in/t.txt\n"
                            "Header of the columns for main table:\tTrait\tSNP\tp\n"
                            "Header of the columns for snp table:\tSNP\tchr\tpos\n"
                            "number of extra trait columns\t0\n"
                            "number of extra snp columns\t0\n";
    QTest::newRow("successful import") << head + "Trait Num :\t 2\nSNP Num :\t 3\n" << true;
    QTest::newRow("five lines") << head << true;
    QTest::newRow("five lines without final newline") << head.chopped(1) << true;
    QTest::newRow("loader error") << head + "error : 4th line has different column numbers!\n" << false;
    QTest::newRow("error without newline") << head + "error :3th line has invalid chr!" << false;
    QTest::newRow("any text with error") << head + "no errors at all\n" << false;
    QTest::newRow("Error capitalised") << head + "Error : something\n" << true;
    QTest::newRow("error on line 7 only") << head + "Trait Num :\t 2\nerror\n" << true;
    QTest::newRow("windows line ends") << QByteArray(head).replace("\n", "\r\n") + "error : x\r\n" << false;
}

void TestStartupDialog::browseReport()
{
    QFETCH(QByteArray, report);
    QFETCH(bool, accepted);

    const QString folder = m_dir.filePath(QStringLiteral("set"));
    QVERIFY(QDir().mkpath(folder));
    writeFile(folder + QStringLiteral("/summary.txt"), report);
    storeRegistry({QStringLiteral("/elsewhere"), folder});

    StartupDialog dialog;
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    if (!accepted)
        scripted.answerButton(QMessageBox::Ok);
    dialog.datasetComboBox->setCurrentIndex(2);
    dialog.browseData->click();

    QCOMPARE(dialog.isAccepted(), accepted);
    QCOMPARE(rejected.count(), 1);
    QCOMPARE(quillmap::currentDatasetFolder(), folder);
    if (accepted) {
        QVERIFY(scripted.calls().isEmpty());
    } else {
        QCOMPARE(scripted.transcript(),
                 QStringList{QStringLiteral("message|information|There is error when loading the data, "
                                            "please check summary.txt for details.||")});
        QCOMPARE(scripted.calls().first().icon, QMessageBox::Information);
        QCOMPARE(scripted.calls().first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
    QCOMPARE(scripted.pendingAnswers(), 0);
}

void TestStartupDialog::browseWithPlaceholderUsesCurrentFolder()
{
    const QString folder = m_dir.filePath(QStringLiteral("chosen"));
    QVERIFY(QDir().mkpath(folder));
    writeFile(folder + QStringLiteral("/summary.txt"), "a\nb\nc\nd\ne\nTrait Num :\t 1\nSNP Num :\t 1\n");
    storeRegistry({QStringLiteral("/registered/elsewhere")});

    // As after a wizard run in this process that chose `folder` but registered nothing.
    quillmap::currentDatasetFolder() = folder;
    StartupDialog dialog;
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    dialog.browseData->click();
    QVERIFY(dialog.isAccepted());
    QCOMPARE(quillmap::currentDatasetFolder(), folder);
    QVERIFY(scripted.calls().isEmpty());
}

void TestStartupDialog::exitButtonRejects()
{
    StartupDialog dialog;
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    dialog.cancelButton->click();
    QCOMPARE(rejected.count(), 1);
    QVERIFY(!dialog.isAccepted());
}

QTEST_MAIN(TestStartupDialog)
#include "tst_startupdialog.moc"
