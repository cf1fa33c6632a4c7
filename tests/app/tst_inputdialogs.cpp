#include "common/findsnpdialog.h"
#include "common/imagetitledialog.h"
#include "common/literaltext.h"
#include "common/patternfiledialog.h"
#include "support/scripteddialogs.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

using namespace quillmap;

class TestInputDialogs : public QObject
{
    Q_OBJECT

private slots:
    void snpNameTyping_data();
    void snpNameTyping();
    void okFollowsEveryChange();
    void returnWithOkDisabledDoesNotAccept();
    void returnWithOkEnabledAccepts();
    void cancelRejects();
    void fileDialogTakesTypedPatterns();
    void snpDialogThroughProvider();
    void titleDialogAcceptsAnyTitle();
    void titleDialogForm();
    void namesShownLiterally_data();
    void namesShownLiterally();
};

void TestInputDialogs::snpNameTyping_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("okEnabled");

    // clang-format off
    QTest::newRow("empty") << QString() << QString() << false;
    QTest::newRow("r only") << "r" << "r" << true;
    QTest::newRow("rs") << "rs" << "rs" << true;
    QTest::newRow("rS") << "rS" << "rS" << true;
    QTest::newRow("rs7") << "rs7" << "rs7" << true;
    QTest::newRow("RS12") << "RS12" << "RS12" << true;
    QTest::newRow("Rs12") << "Rs12" << "Rs12" << true;
    QTest::newRow("rS12") << "rS12" << "rS12" << true;
    QTest::newRow("long number") << "rs12345678901234" << "rs12345678901234" << true;
    // Refused keystrokes leave the text as it was before them.
    // Any name without whitespace: the IDs association tools write.
    QTest::newRow("rs12a") << "rs12a" << "rs12a" << true;
    QTest::newRow("r12") << "r12" << "r12" << true;
    QTest::newRow("chromosome and position") << "1:14181" << "1:14181" << true;
    QTest::newRow("with alleles") << "chr1:14181:A:G" << "chr1:14181:A:G" << true;
    // Refused keystrokes leave the text as it was before them.
    QTest::newRow("leading blank") << " rs1" << "rs1" << true;
    QTest::newRow("inner blank") << "rs 1" << "rs1" << true;
    QTest::newRow("tab") << "rs\t1" << "rs1" << true;
    // clang-format on
}

void TestInputDialogs::snpNameTyping()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(bool, okEnabled);

    FindSNPDialog dialog;
    QVERIFY(!dialog.okButton->isEnabled());
    QTest::keyClicks(dialog.lineEdit, typed);
    QCOMPARE(dialog.lineEdit->text(), shown);
    QCOMPARE(dialog.okButton->isEnabled(), okEnabled);
}

void TestInputDialogs::okFollowsEveryChange()
{
    FindSNPDialog dialog;
    QTest::keyClicks(dialog.lineEdit, QStringLiteral("r"));
    QVERIFY(dialog.okButton->isEnabled());
    QTest::keyClick(dialog.lineEdit, Qt::Key_Backspace);
    QCOMPARE(dialog.lineEdit->text(), QString());
    QVERIFY(!dialog.okButton->isEnabled());

    // A pasted or programmatic invalid text never passes as acceptable.
    dialog.lineEdit->setText(QStringLiteral("rs 12"));
    QVERIFY(!dialog.okButton->isEnabled());
    dialog.lineEdit->setText(QStringLiteral("RS99"));
    QVERIFY(dialog.okButton->isEnabled());
}

void TestInputDialogs::returnWithOkDisabledDoesNotAccept()
{
    FindSNPDialog dialog;
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.lineEdit->setFocus();
    QTest::keyClicks(dialog.lineEdit, QStringLiteral(" "));
    QTest::keyClick(dialog.lineEdit, Qt::Key_Return);
    QCOMPARE(accepted.count(), 0);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void TestInputDialogs::returnWithOkEnabledAccepts()
{
    FindSNPDialog dialog;
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.lineEdit->setFocus();
    QTest::keyClicks(dialog.lineEdit, QStringLiteral("rs42"));
    QTest::keyClick(dialog.lineEdit, Qt::Key_Return);
    QCOMPARE(accepted.count(), 1);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.lineEdit->text(), QStringLiteral("rs42"));
}

void TestInputDialogs::cancelRejects()
{
    FindSNPDialog dialog;
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    dialog.show();
    QTest::keyClicks(dialog.lineEdit, QStringLiteral("rs42"));
    QTest::mouseClick(dialog.cancelButton, Qt::LeftButton);
    QCOMPARE(rejected.count(), 1);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

// The way the panels use it: run through the provider, read the text when accepted.
void TestInputDialogs::snpDialogThroughProvider()
{
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    scripted.answerExec([](QDialog *d) {
        auto *dialog = qobject_cast<FindSNPDialog *>(d);
        QTest::keyClicks(dialog->lineEdit, QStringLiteral("rs1000"));
        QTest::mouseClick(dialog->okButton, Qt::LeftButton);
        return dialog->result();
    });
    FindSNPDialog dialog;
    QCOMPARE(DialogProvider::instance().exec(&dialog), int(QDialog::Accepted));
    QCOMPARE(dialog.lineEdit->text(), QStringLiteral("rs1000"));
    QCOMPARE(scripted.calls().first().className, QStringLiteral("quillmap::FindSNPDialog"));
    QCOMPARE(scripted.calls().first().title, QStringLiteral("FindSNPDialog"));
}

void TestInputDialogs::titleDialogAcceptsAnyTitle()
{
    ImageTitleDialog dialog;
    QVERIFY(dialog.okButton->isEnabled());
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    dialog.show();
    QTest::mouseClick(dialog.okButton, Qt::LeftButton);
    QCOMPARE(accepted.count(), 1);
    QCOMPARE(dialog.lineEdit->text(), QString());

    ImageTitleDialog second;
    second.show();
    QTest::keyClicks(second.lineEdit, QStringLiteral("Trait 12 & friends #1"));
    QVERIFY(second.okButton->isEnabled());
    QTest::mouseClick(second.cancelButton, Qt::LeftButton);
    QCOMPARE(second.result(), int(QDialog::Rejected));
}

void TestInputDialogs::titleDialogForm()
{
    ImageTitleDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Input title "));
    QCOMPARE(dialog.label->text(), QStringLiteral("Please input the image title in the box below:"));
    QCOMPARE(dialog.label->font().pointSize(), 10);
    QVERIFY(dialog.okButton->isDefault());

    FindSNPDialog snp;
    QCOMPARE(snp.windowTitle(), QStringLiteral("FindSNPDialog"));
    QCOMPARE(snp.label->text(), QStringLiteral("Input SNP :"));
    QCOMPARE(snp.label->buddy(), snp.lineEdit);
    QVERIFY(snp.okButton->isDefault());
    QCOMPARE(snp.size(), QSize(250, 99));
}

// Names from the user's files reach message boxes and tool tips; Qt must not take them for HTML.
void TestInputDialogs::namesShownLiterally_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("ordinary") << QStringLiteral("rs12");
    QTest::newRow("tag") << QStringLiteral("<b>x</b>");
    QTest::newRow("entity") << QStringLiteral("&amp;");
    QTest::newRow("escaped tag") << QStringLiteral("a &lt;b&gt; c");
    QTest::newRow("open angle") << QStringLiteral("a<b and c>d");
}

void TestInputDialogs::namesShownLiterally()
{
    QFETCH(QString, name);
    const QString text = QStringLiteral("SNP ") + name + QStringLiteral(" is not found\nline 2");
    QMessageBox box;
    QtDialogProvider::fillMessageBox(box, QMessageBox::Information, QStringLiteral("information"), text,
                                     QMessageBox::Ok, Qt::PlainText);
    QCOMPARE(box.textFormat(), Qt::PlainText);
    QCOMPARE(box.text(), text);

    // A tool tip label renders as Qt guesses: HTML when it might be rich.
    const QString tip = literalToolTip(name + QStringLiteral("\n6:100\nT1"));
    QTextDocument shown;
    if (Qt::mightBeRichText(tip))
        shown.setHtml(tip);
    else
        shown.setPlainText(tip);
    QCOMPARE(shown.toPlainText(), name + QStringLiteral("\n6:100\nT1"));
}

// "*.glm.linear" typed in the name box filters the listing; a file name still opens the file.
void TestInputDialogs::fileDialogTakesTypedPatterns()
{
    QTemporaryDir dir;
    for (const char *name : {"a.glm.linear", "b.txt"}) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    quillmap::PatternFileDialog dialog(nullptr, QStringLiteral("Open File"), dir.path(),
                                       QStringLiteral("File1 (*.*)"), QFileDialog::ExistingFile);
    auto *edit = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    dialog.show();
    edit->setText(QStringLiteral("*.glm.linear"));
    QMetaObject::invokeMethod(&dialog, "accept");
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.selectedNameFilter(), QStringLiteral("Typed (*.glm.linear)"));
    QVERIFY(edit->text().isEmpty());
    QCOMPARE(quillmap::PatternFileDialog::typedPatterns(QStringLiteral("\"a*b.txt\"")), QStringList());

    quillmap::PatternFileDialog plain(nullptr, QStringLiteral("Open File"), dir.path(),
                                      QStringLiteral("File1 (*.*)"), QFileDialog::ExistingFile);
    plain.show();
    plain.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("b.txt"));
    QMetaObject::invokeMethod(&plain, "accept");
    QCOMPARE(plain.result(), int(QDialog::Accepted));
    QCOMPARE(plain.selectedFiles(), QStringList{dir.filePath(QStringLiteral("b.txt"))});
}

QTEST_MAIN(TestInputDialogs)
#include "tst_inputdialogs.moc"
