#include "session/sharedstate.h"
#include "linkout/linkout.h"
#include "session/linktemplates.h"
#include "linkout/otherlinkdialog.h"
#include "linkout/setuplink.h"
#include "support/scripteddialogs.h"

#include <QDesktopServices>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QScopedPointer>
#include <QSignalSpy>
#include <QTest>
#include <QUrlQuery>

using namespace quillmap;

namespace {

const QString Ucsc = QStringLiteral(
    "https://genome.ucsc.edu/cgi-bin/hgTracks?hgsid=46170953&hgt.dummyEnterButton.x=0&hgt.dummyEnterButton.y=0"
    "&clade=vertebrate&org=Human&db=hg18&position=%1&pix=620&hgsid=46170953");
const QString Ncbi = QStringLiteral("https://www.ncbi.nlm.nih.gov/sites/gquery?term=%1");
const QString Omim = QStringLiteral(
    "https://www.ncbi.nlm.nih.gov/sites/entrez?db=omim&EntrezSystem2.PEntrez.Omim.SearchBar.Term=%1");
const QString Ensembl = QStringLiteral("https://www.ensembl.org/Homo_sapiens/searchview?species=;idx=;q=%1");
const QString Google = QStringLiteral("https://www.google.com/search?hl=en&q=%1");

const QString Instruction = QStringLiteral(
    "If you kown some specific link, please put the link\n in the following box. You need to put ######\n in "
    "the postion of search item.  \ne.g. ");

} // namespace

// Stands in for the desktop's browser: records every URL handed to the opener.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void openUrl(const QUrl &url) { urls << url; }
};

class TestLinkout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void listsHoldSixEntries();
    void fillingTwiceChangesNothing();
    void urlForEachDatabase_data();
    void urlForEachDatabase();
    void termWithDelimitersIsEncoded_data();
    void termWithDelimitersIsEncoded();
    void blankOpensUnchanged();

    void chooserStartsOnUcsc();
    void radioClicksChooseDatabase();
    void otherStoresTemplateWithTwoPlaceholders();
    void templateWithoutPlaceholderIsRefused_data();
    void templateWithoutPlaceholderIsRefused();
    void cancelLeavesOtherAndBlank();
    void otherClickedAgainOpensDialogAgain();
    void otherlinkForm();
    void chooserOutlivedBySetupLink();

private:
    QString openedFor(const QString &term);

    UrlRecorder m_recorder;
};

void TestLinkout::initTestCase()
{
    for (const char *scheme : {"http", "https", ""})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &m_recorder, "openUrl");
}

void TestLinkout::cleanupTestCase()
{
    for (const char *scheme : {"http", "https", ""})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

void TestLinkout::init()
{
    quillmap::linkTemplates().clear();
    quillmap::databaseNames().clear();
    quillmap::chosenDatabase() = 0;
    linkout::fillLinkLists();
    m_recorder.urls.clear();
}

QString TestLinkout::openedFor(const QString &term)
{
    m_recorder.urls.clear();
    linkout::openLink(term);
    if (m_recorder.urls.size() != 1)
        return QStringLiteral("<%1 URLs opened>").arg(m_recorder.urls.size());
    return QString::fromLatin1(m_recorder.urls.first().toEncoded());
}

void TestLinkout::listsHoldSixEntries()
{
    QCOMPARE(quillmap::linkTemplates(),
             (QStringList{Ucsc.arg(QStringLiteral("######")), Ncbi.arg(QStringLiteral("######")),
                          Omim.arg(QStringLiteral("######")), Ensembl.arg(QStringLiteral("######")),
                          Google.arg(QStringLiteral("######")), QStringLiteral("blank")}));
    QCOMPARE(quillmap::databaseNames(),
             (QStringList{QStringLiteral("UCSC"), QStringLiteral("NCBI"), QStringLiteral("OMIM"),
                          QStringLiteral("ENSEMBL"), QStringLiteral("GOOGLE"), QStringLiteral("OTHER")}));
    QCOMPARE(quillmap::chosenDatabase(), 0);
}

void TestLinkout::fillingTwiceChangesNothing()
{
    const QStringList templates = quillmap::linkTemplates();
    linkout::fillLinkLists();
    QCOMPARE(quillmap::linkTemplates(), templates);
    QCOMPARE(quillmap::databaseNames().size(), 6);
    // The open dataset's build names UCSC's database; the other templates stay as they are.
    linkout::fillLinkLists(quillmap::GenomeBuild::Hg38);
    QCOMPARE(quillmap::linkTemplates().first(),
             QString(templates.first()).replace(QStringLiteral("db=hg18"), QStringLiteral("db=hg38")));
    QCOMPARE(quillmap::linkTemplates().mid(1), templates.mid(1));
}

void TestLinkout::urlForEachDatabase_data()
{
    QTest::addColumn<int>("database");
    QTest::addColumn<QString>("expected");

    QTest::newRow("UCSC") << 0 << Ucsc.arg(QStringLiteral("ILMN_1234"));
    QTest::newRow("NCBI") << 1 << Ncbi.arg(QStringLiteral("ILMN_1234"));
    QTest::newRow("OMIM") << 2 << Omim.arg(QStringLiteral("ILMN_1234"));
    QTest::newRow("Ensembl") << 3 << Ensembl.arg(QStringLiteral("ILMN_1234"));
    QTest::newRow("Google") << 4 << Google.arg(QStringLiteral("ILMN_1234"));
}

void TestLinkout::urlForEachDatabase()
{
    QFETCH(int, database);
    QFETCH(QString, expected);
    quillmap::chosenDatabase() = database;
    QCOMPARE(openedFor(QStringLiteral("ILMN_1234")), expected);
}

void TestLinkout::termWithDelimitersIsEncoded_data()
{
    QTest::addColumn<QString>("term");
    QTest::addColumn<QString>("encoded");

    // clang-format off
    QTest::newRow("ampersand") << "A&B" << "A%26B";
    QTest::newRow("hash") << "x#1" << "x%231";
    QTest::newRow("plus") << "a+b" << "a%2Bb";
    QTest::newRow("percent") << "50%25" << "50%2525";
    QTest::newRow("all four and a blank") << "p&q #r+s%t" << "p%26q%20%23r%2Bs%25t";
    QTest::newRow("equals and semicolon") << "k=v;w" << "k%3Dv%3Bw";
    QTest::newRow("non-ASCII") << QStringLiteral("\u00e9t\u00e9") << "%C3%A9t%C3%A9";
    QTest::newRow("empty") << "" << "";
    // clang-format on
}

void TestLinkout::termWithDelimitersIsEncoded()
{
    QFETCH(QString, term);
    QFETCH(QString, encoded);

    quillmap::chosenDatabase() = linkout::Google;
    const QString url = openedFor(term);
    QCOMPARE(url, Google.arg(encoded));
    // The term comes back whole as the value of q, nothing leaks into other items.
    const QUrlQuery query(QUrl::fromEncoded(url.toLatin1()));
    QCOMPARE(query.queryItems(QUrl::FullyDecoded).size(), 2);
    QCOMPARE(query.queryItemValue(QStringLiteral("q"), QUrl::FullyDecoded), term);
    QVERIFY(!QUrl::fromEncoded(url.toLatin1()).hasFragment());
}

void TestLinkout::blankOpensUnchanged()
{
    quillmap::chosenDatabase() = linkout::Other;
    QCOMPARE(linkout::linkUrl(QStringLiteral("a&b")).toString(), QStringLiteral("blank"));
    QCOMPARE(openedFor(QStringLiteral("abc")), QStringLiteral("blank"));
}

void TestLinkout::chooserStartsOnUcsc()
{
    SetupLink setupLink;
    QVERIFY(setupLink.radioButtons().isEmpty());
    QScopedPointer<QGroupBox> box(setupLink.createDatabaseChooser());
    QVERIFY(!box->parent());
    QCOMPARE(box->title(), QStringLiteral("Choose a Database to Link"));
    const QList<QRadioButton *> buttons = setupLink.radioButtons();
    QStringList labels;
    for (QRadioButton *button : buttons) {
        labels << button->text();
        QCOMPARE(button->parent(), box.data());
    }
    QCOMPARE(labels,
             (QStringList{QStringLiteral("UCSC"), QStringLiteral("NCBI"), QStringLiteral("OMIM"),
                          QStringLiteral("Ensembl"), QStringLiteral("Google"), QStringLiteral("Other")}));
    QVERIFY(buttons.first()->isChecked());
    auto *row = qobject_cast<QHBoxLayout *>(box->layout());
    QVERIFY(row);
    QCOMPARE(row->count(), 7);
    QVERIFY(row->itemAt(6)->spacerItem());
    QCOMPARE(row->stretch(6), 1);
    QCOMPARE(quillmap::chosenDatabase(), 0);
    QCOMPARE(openedFor(QStringLiteral("rs123")), Ucsc.arg(QStringLiteral("rs123")));
}

void TestLinkout::radioClicksChooseDatabase()
{
    SetupLink setupLink;
    QScopedPointer<QGroupBox> box(setupLink.createDatabaseChooser());
    const QList<QRadioButton *> buttons = setupLink.radioButtons();
    // Connected the way the main window connects them.
    for (QRadioButton *button : buttons)
        QVERIFY(connect(button, SIGNAL(clicked()), &setupLink, SLOT(link())));

    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    const QStringList expected{Ucsc, Ncbi, Omim, Ensembl, Google};
    for (int i : {4, 1, 3, 2, 0}) {
        buttons.at(i)->click();
        QCOMPARE(quillmap::chosenDatabase(), i);
        int checked = 0;
        for (QRadioButton *button : buttons)
            checked += button->isChecked();
        QCOMPARE(checked, 1);
        QCOMPARE(openedFor(QStringLiteral("abc")), expected.at(i).arg(QStringLiteral("abc")));
    }
    QVERIFY(scripted.calls().isEmpty());
}

void TestLinkout::otherStoresTemplateWithTwoPlaceholders()
{
    SetupLink setupLink;
    QScopedPointer<QGroupBox> box(setupLink.createDatabaseChooser());
    QRadioButton *other = setupLink.radioButtons().last();
    connect(other, SIGNAL(clicked()), &setupLink, SLOT(link()));

    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    scripted.answerExec([](QDialog *d) {
        auto *dialog = qobject_cast<OtherlinkDialog *>(d);
        if (!dialog)
            return int(QDialog::Rejected);
        // The line edit starts empty every time.
        if (!dialog->lineEdit->text().isEmpty())
            return int(QDialog::Rejected);
        dialog->lineEdit->setText(QStringLiteral("https://example.org/find?a=######&b=######"));
        dialog->okButton->click();
        return dialog->result();
    });
    other->click();

    QCOMPARE(scripted.calls().size(), 1);
    QCOMPARE(scripted.calls().first().className, QStringLiteral("quillmap::OtherlinkDialog"));
    QCOMPARE(scripted.calls().first().title, QStringLiteral("Setup your own link"));
    QCOMPARE(quillmap::chosenDatabase(), 5);
    QCOMPARE(quillmap::linkTemplates().at(5), QStringLiteral("https://example.org/find?a=######&b=######"));
    QCOMPARE(quillmap::linkTemplates().at(4), Google.arg(QStringLiteral("######")));
    QCOMPARE(openedFor(QStringLiteral("T&1")), QStringLiteral("https://example.org/find?a=T%261&b=T%261"));
}

void TestLinkout::templateWithoutPlaceholderIsRefused_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("five hashes") << "https://example.org/?q=#####";
    QTest::newRow("split hashes") << "https://example.org/?q=###_###";
    QTest::newRow("empty") << "";
    QTest::newRow("not a URL at all") << "nothing here";
}

void TestLinkout::templateWithoutPlaceholderIsRefused()
{
    QFETCH(QString, text);

    SetupLink setupLink;
    QScopedPointer<QGroupBox> box(setupLink.createDatabaseChooser());
    QRadioButton *other = setupLink.radioButtons().last();
    connect(other, SIGNAL(clicked()), &setupLink, SLOT(link()));

    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    bool stayedOpen = false;
    scripted.answerExec([&](QDialog *d) {
        auto *dialog = qobject_cast<OtherlinkDialog *>(d);
        QSignalSpy finished(dialog, &QDialog::finished);
        dialog->lineEdit->setText(text);
        dialog->okButton->click();
        stayedOpen = finished.isEmpty() && dialog->lineEdit->text() == text;
        // The user then corrects the text.
        dialog->lineEdit->setText(QStringLiteral("https://example.org/?q=######"));
        dialog->okButton->click();
        return dialog->result();
    });
    scripted.answerButton(QMessageBox::Ok);
    other->click();

    QVERIFY(stayedOpen);
    QCOMPARE(scripted.transcript(),
             (QStringList{QStringLiteral("exec|Setup your own link|||"),
                          QStringLiteral("message|information|Invalid format: can't find '######'!||")}));
    QCOMPARE(scripted.calls().at(1).icon, QMessageBox::Information);
    QCOMPARE(scripted.calls().at(1).buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(quillmap::linkTemplates().at(5), QStringLiteral("https://example.org/?q=######"));
}

void TestLinkout::cancelLeavesOtherAndBlank()
{
    SetupLink setupLink;
    QScopedPointer<QGroupBox> box(setupLink.createDatabaseChooser());
    const QList<QRadioButton *> buttons = setupLink.radioButtons();
    for (QRadioButton *button : buttons)
        connect(button, SIGNAL(clicked()), &setupLink, SLOT(link()));

    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    buttons.at(linkout::Google)->click();
    scripted.answerExec([](QDialog *d) {
        auto *dialog = qobject_cast<OtherlinkDialog *>(d);
        dialog->lineEdit->setText(QStringLiteral("https://example.org/?q=######"));
        dialog->cancelButton->click();
        return dialog->result();
    });
    buttons.at(linkout::Other)->click();

    QCOMPARE(scripted.calls().size(), 1);
    QCOMPARE(quillmap::chosenDatabase(), 5);
    QCOMPARE(quillmap::linkTemplates().at(5), QStringLiteral("blank"));
    QCOMPARE(quillmap::databaseNames().at(quillmap::chosenDatabase()), QStringLiteral("OTHER"));
    QCOMPARE(openedFor(QStringLiteral("abc")), QStringLiteral("blank"));
}

void TestLinkout::otherClickedAgainOpensDialogAgain()
{
    SetupLink setupLink;
    QScopedPointer<QGroupBox> box(setupLink.createDatabaseChooser());
    QRadioButton *other = setupLink.radioButtons().last();
    connect(other, SIGNAL(clicked()), &setupLink, SLOT(link()));

    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    scripted.answerExec([](QDialog *d) {
        auto *dialog = qobject_cast<OtherlinkDialog *>(d);
        dialog->lineEdit->setText(QStringLiteral("https://first.example/?q=######"));
        dialog->okButton->click();
        return dialog->result();
    });
    scripted.answerExec([](QDialog *d) {
        auto *dialog = qobject_cast<OtherlinkDialog *>(d);
        if (!dialog->lineEdit->text().isEmpty())
            return int(QDialog::Accepted); // would show up as a missing second template
        dialog->cancelButton->click();
        return dialog->result();
    });
    other->click();
    other->click();

    QCOMPARE(scripted.calls().size(), 2);
    QCOMPARE(scripted.pendingAnswers(), 0);
    // Cancelling the second time keeps the template stored the first time.
    QCOMPARE(openedFor(QStringLiteral("x")), QStringLiteral("https://first.example/?q=x"));
}

void TestLinkout::otherlinkForm()
{
    OtherlinkDialog dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("otherlinkDialog"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Setup your own link"));
    QCOMPARE(dialog.size(), QSize(444, 207));
    QVERIFY(!dialog.layout());
    QCOMPARE(dialog.layoutWidget->geometry(), QRect(60, 100, 335, 22));
    QCOMPARE(dialog.okButton->geometry(), QRect(115, 134, 91, 25));
    QCOMPARE(dialog.cancelButton->geometry(), QRect(212, 134, 91, 25));
    QCOMPARE(dialog.label_2->geometry(), QRect(80, 20, 301, 71));
    QCOMPARE(dialog.label->text(), QStringLiteral("Link Format:"));
    QCOMPARE(dialog.hboxLayout->spacing(), 6);
    QCOMPARE(dialog.hboxLayout->contentsMargins(), QMargins());
    QCOMPARE(dialog.label_2->text(), Instruction + linkout::builtInTemplate(linkout::Google));
    QVERIFY(dialog.lineEdit->text().isEmpty());
}

// The main window owns the group box and may be destroyed before the SetupLink object.
void TestLinkout::chooserOutlivedBySetupLink()
{
    SetupLink setupLink;
    delete setupLink.createDatabaseChooser();
    QVERIFY(setupLink.radioButtons().isEmpty());
    QVERIFY(QMetaObject::invokeMethod(&setupLink, "link"));
    QCOMPARE(quillmap::chosenDatabase(), 0);
}

QTEST_MAIN(TestLinkout)
#include "tst_linkout.moc"
