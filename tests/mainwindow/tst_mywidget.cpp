#include "app/mywidget.h"
#include "bypos/bypos.h"
#include "bytrait/byid.h"
#include "bytrait/traitplotpainter.h"
#include "common/datasetopening.h"
#include "dataset/dataset.h"
#include "session/sharedstate.h"
#include "import/importer.h"
#include "linkout/setuplink.h"
#include "overview/bysnptab.h"
#include "overview/toplocitab.h"
#include "overview/traitstab.h"
#include "support/paneltestaccess.h"
#include "support/examplestudy.h"
#include "support/scripteddialogs.h"

#include <QDesktopServices>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace quillmap;

// Records what the desktop URL opener was asked to open.
class UrlSink : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

class TestMyWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void layoutAndTabs();
    void returnAndSearchButtonAgree();
    void searchTexts_data();
    void searchTexts();
    void radioChoiceRelabelsTraitLinkButton();
    void manualAndAbout();
    void studyTabsLeadIntoThePanels();

private:
    QTemporaryDir m_dir;
    UrlSink m_sink;
};

void TestMyWidget::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const ImportResult result = importExampleStudy(m_dir.path(), false);
    QVERIFY2(!result.failed, qPrintable(result.errorText));
    quillmap::currentDatasetFolder() = m_dir.path();
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_sink, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_sink, "open");
}

void TestMyWidget::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
}

void TestMyWidget::layoutAndTabs()
{
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    MyWidget window(openDatasetForBrowsing(quillmap::currentDatasetFolder()));
    QCOMPARE(window.windowTitle(), QStringLiteral("Quillmap 0.0.2 (2008.10)"));
    QCOMPARE(window.tabs->count(), 6);
    QCOMPARE(window.tabs->tabText(0), QStringLiteral("By Trait"));
    QCOMPARE(window.tabs->tabText(1), QStringLiteral("By Position"));
    QCOMPARE(window.tabs->tabText(2), QStringLiteral("Traits"));
    QCOMPARE(window.tabs->tabText(3), QStringLiteral("Top loci"));
    QCOMPARE(window.tabs->tabText(4), QStringLiteral("By SNP"));
    QCOMPARE(window.tabs->tabText(5), QStringLiteral("Locus"));
    QCOMPARE(window.tabs->currentIndex(), 0);
    QCOMPARE(window.tabs->widget(0), static_cast<QWidget *>(window.traitPanel));
    QCOMPARE(window.tabs->widget(1), static_cast<QWidget *>(window.positionPanel));
    QVERIFY(window.traitPanel->isReady());
    QVERIFY(!window.dataset()->tables().traitNames.isEmpty());
    QVERIFY(window.positionPanel->chrName->count() > 0);
    QCOMPARE(window.searchButton->text(), QStringLiteral("Search"));
    QCOMPARE(window.manualButton->text(), QStringLiteral("Help"));
    QCOMPARE(window.aboutButton->text(), QStringLiteral("ABOUT"));
    QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("searchBox")), window.searchBox);
    QCOMPARE(quillmap::linkTemplates().size(), 6);
    QCOMPARE(quillmap::databaseNames(),
             (QStringList{QStringLiteral("UCSC"), QStringLiteral("NCBI"), QStringLiteral("OMIM"),
                          QStringLiteral("ENSEMBL"), QStringLiteral("GOOGLE"), QStringLiteral("OTHER")}));
    QCOMPARE(scripted.unexpectedCalls(), 0);
}

void TestMyWidget::returnAndSearchButtonAgree()
{
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    MyWidget window(openDatasetForBrowsing(quillmap::currentDatasetFolder()));
    window.searchBox->setText(QStringLiteral("BRCA2"));
    m_sink.urls.clear();
    QTest::keyClick(window.searchBox, Qt::Key_Return);
    window.searchButton->click();
    QCOMPARE(m_sink.urls.size(), 2);
    QCOMPARE(m_sink.urls[0], m_sink.urls[1]);
    QVERIFY(m_sink.urls[0].toString().contains(QStringLiteral("position=BRCA2&")));
}

void TestMyWidget::searchTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expectedQueryPart");
    QTest::newRow("plain") << QStringLiteral("abc") << QStringLiteral("position=abc&");
    QTest::newRow("empty but typed") << QString(QLatin1String("")) << QStringLiteral("position=&");
    QTest::newRow("ampersand") << QStringLiteral("a&b") << QStringLiteral("position=a%26b&");
}

void TestMyWidget::searchTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, expectedQueryPart);
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    MyWidget window(openDatasetForBrowsing(quillmap::currentDatasetFolder()));
    window.searchBox->setText(QStringLiteral("x"));
    window.searchBox->setText(text);
    m_sink.urls.clear();
    window.searchButton->click();
    QCOMPARE(m_sink.urls.size(), 1);
    QVERIFY2(m_sink.urls[0].toString(QUrl::FullyEncoded).contains(expectedQueryPart),
             qPrintable(m_sink.urls[0].toString(QUrl::FullyEncoded)));
}

void TestMyWidget::radioChoiceRelabelsTraitLinkButton()
{
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    MyWidget window(openDatasetForBrowsing(quillmap::currentDatasetFolder()));
    const QList<QRadioButton *> radios = window.setupLink()->radioButtons();
    QCOMPARE(radios.size(), 6);
    QVERIFY(radios[0]->isChecked());

    radios[4]->click(); // Google
    QCOMPARE(quillmap::chosenDatabase(), 4);
    QCOMPARE(window.traitPanel->LinkButton->text(), QStringLiteral("GOOGLE"));
    window.searchBox->setText(QStringLiteral("abc"));
    m_sink.urls.clear();
    window.searchButton->click();
    QCOMPARE(m_sink.urls.size(), 1);
    QVERIFY(m_sink.urls[0].toString().endsWith(QStringLiteral("/search?hl=en&q=abc")));

    // "Other": the custom-link dialog runs to its end before the panel relabels its button.
    QString labelDuringDialog;
    scripted.answerExec([&](QDialog *) {
        labelDuringDialog = window.traitPanel->LinkButton->text();
        return int(QDialog::Rejected);
    });
    radios[5]->click();
    QCOMPARE(labelDuringDialog, QStringLiteral("GOOGLE"));
    QCOMPARE(quillmap::chosenDatabase(), 5);
    QCOMPARE(window.traitPanel->LinkButton->text(), QStringLiteral("OTHER"));
    radios[0]->click();
    QCOMPARE(window.traitPanel->LinkButton->text(), QStringLiteral("UCSC"));
}

void TestMyWidget::manualAndAbout()
{
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    MyWidget window(openDatasetForBrowsing(quillmap::currentDatasetFolder()));
    m_sink.urls.clear();
    window.manualButton->click();
    QCOMPARE(m_sink.urls, QList<QUrl>{QUrl(MyWidget::manualAddress())});
    scripted.answerAbout();
    window.aboutButton->click();
    QCOMPARE(scripted.calls().size(), 1);
    QCOMPARE(scripted.calls()[0].title, QStringLiteral("About Quillmap"));
    QVERIFY(scripted.calls()[0].text.startsWith(QStringLiteral("<h2>Quillmap 0.0.2</h2>")));
}

void TestMyWidget::studyTabsLeadIntoThePanels()
{
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);
    MyWidget window(openDatasetForBrowsing(quillmap::currentDatasetFolder()));
    emit window.topLociTab->locusChosen(QStringLiteral("rs2818589"));
    QCOMPARE(window.tabs->currentWidget(), static_cast<QWidget *>(window.positionPanel));
    QCOMPARE(window.positionPanel->chrName->currentText(), QStringLiteral("1"));
    QCOMPARE(window.positionPanel->regionCombobox->currentText(), QStringLiteral("1"));
    QVERIFY(window.positionPanel->regionRowCount() > 0);
    QVERIFY(window.positionPanel->plotInput().snpMarkOn);

    emit window.traitsTab->traitChosen(QStringLiteral("ILMN_1658081"));
    QCOMPARE(window.tabs->currentWidget(), static_cast<QWidget *>(window.traitPanel));
    QCOMPARE(window.traitPanel->ProbeIDSelected->currentText(), QStringLiteral("ILMN_1658081"));
    emit window.bySnpTab->traitChosen(QStringLiteral("ILMN_1660409"));
    QCOMPARE(window.traitPanel->ProbeIDSelected->currentText(), QStringLiteral("ILMN_1660409"));

    // The plot's points: hovering one names it, clicking it opens its locus.
    window.resize(1000, 800);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    emit window.traitsTab->traitChosen(QStringLiteral("ILMN_1660409"));
    QTRY_VERIFY(!PanelTestAccess::of(*window.traitPanel).plotImage.isNull());
    byID *panel = window.traitPanel;
    std::vector<float> x, y;
    traitplot::pointCentres(PanelTestAccess::of(*panel).plotImage.size(), panel->plotData(), &x, &y);
    const auto top = std::max_element(PanelTestAccess::of(*panel).rowValues.cbegin(),
                                      PanelTestAccess::of(*panel).rowValues.cend())
        - PanelTestAccess::of(*panel).rowValues.cbegin();
    const QPoint at(
        qRound(x[size_t(top)] * panel->frame->width() / PanelTestAccess::of(*panel).plotImage.width()),
        qRound(y[size_t(top)] * panel->frame->height() / PanelTestAccess::of(*panel).plotImage.height()));
    QCOMPARE(panel->pointAt(at + QPoint(2, -2)), int(top));
    QCOMPARE(panel->pointAt(QPoint(2, 2)), -1);
    QCOMPARE(panel->pointToolTip(int(top)).split(QLatin1Char('\n')).value(2), QStringLiteral("ILMN_1660409"));
    QVERIFY(panel->pointToolTip(int(top)).startsWith(QStringLiteral("rs1685402\n6:")));
    QTest::mouseClick(panel->frame, Qt::LeftButton, {}, at);
    QCOMPARE(window.tabs->currentWidget(), static_cast<QWidget *>(window.positionPanel));
    QCOMPARE(window.positionPanel->chrName->currentText(), QStringLiteral("6"));

    // A By SNP row opens its trait with the SNP's row selected, in view and circled.
    emit window.bySnpTab->traitChosen(QStringLiteral("ILMN_1660409"), QStringLiteral("rs1685402"));
    QCOMPARE(window.tabs->currentWidget(), static_cast<QWidget *>(window.traitPanel));
    const QModelIndexList chosen = panel->ctableView->selectionModel()->selectedRows(1);
    QCOMPARE(chosen.size(), 1);
    QCOMPARE(chosen[0].data().toString(), QStringLiteral("rs1685402"));
    QVERIFY(
        panel->ctableView->viewport()->rect().contains(panel->ctableView->visualRect(chosen[0]).center()));
    QTRY_COMPARE(PanelTestAccess::of(*panel).highlightCount, 1);
    QVERIFY(PanelTestAccess::of(*panel).highlightOn);
    QVERIFY2(scripted.unexpectedCalls() == 0, qPrintable(scripted.transcript().join(u'/')));
}

QTEST_MAIN(TestMyWidget)
#include "tst_mywidget.moc"
