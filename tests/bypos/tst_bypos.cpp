#include "bypos/bypos.h"
#include "dataset/dataset.h"
#include "common/ctableview.h"
#include "common/findsnpdialog.h"
#include "common/imagetitledialog.h"
#include "session/sharedstate.h"
#include "support/paneltestaccess.h"
#include "support/regiondataset.h"
#include "support/scripteddialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolTip>

using namespace Qt::StringLiterals;
using namespace quillmap;

namespace {

// Bins: 1000 (rs1), 1003 (rs9, a value of 0), 1005 (rs3, rs4), 1246 (rs7), 2000 (rs8),
// 2003 (rs5), 23150 (rs6 at 150.73 on X). Statistics "pvalue" and "beta".
TestDataset panelData()
{
    TestDataset d;
    d.statNames = {QStringLiteral("pvalue"), QStringLiteral("beta")};
    d.snps = {{u"rs1"_s, u"1"_s, 0.2, {}},   {u"rs2"_s, u"1"_s, 0.7, {}}, {u"rs3"_s, u"1"_s, 5.5, {}},
              {u"rs4"_s, u"1"_s, 5.25, {}},  {u"rs5"_s, u"2"_s, 3.1, {}}, {u"rs6"_s, u"X"_s, 150.73, {}},
              {u"rs7"_s, u"1"_s, 246.5, {}}, {u"rs8"_s, u"2"_s, 0.4, {}}, {u"rs9"_s, u"1"_s, 3.5, {}}};
    d.results = {
        {u"tA"_s, u"rs1"_s, {0.5, 1}},  {u"tB"_s, u"rs1"_s, {0.01, 2}}, {u"tA"_s, u"rs3"_s, {0.2, 3}},
        {u"tB"_s, u"rs4"_s, {0.03, 4}}, {u"tC"_s, u"rs3"_s, {0.9, 5}},  {u"tA"_s, u"rs5"_s, {0.4, 6}},
        {u"tC"_s, u"rs6"_s, {0.05, 7}}, {u"tA"_s, u"rs7"_s, {0.3, 8}},  {u"tB"_s, u"rs8"_s, {0.6, 9}},
        {u"tA"_s, u"rs9"_s, {0.0, 10}}, {u"tB"_s, u"rs9"_s, {0.2, 11}}};
    d.binGenes = QStringLiteral("1000\tgA\t0.1\t0.2\n1005\tgB\t5.125\t5.25\tgC\t5.2\t5.3\n");
    return d;
}

// Answers the next Find SNP or title dialog with `text` and OK.
std::function<int(QDialog *)> typeAndAccept(const QString &text)
{
    return [text](QDialog *dialog) {
        if (auto *find = qobject_cast<FindSNPDialog *>(dialog))
            find->lineEdit->setText(text);
        else if (auto *title = qobject_cast<ImageTitleDialog *>(dialog))
            title->lineEdit->setText(text);
        return int(QDialog::Accepted);
    };
}

QString messageLine(const QString &text)
{
    return QStringLiteral("message|information|") + text + QStringLiteral("||");
}

} // namespace

class ByPosTest : public QObject
{
    Q_OBJECT

public slots:
    void openUrl(const QUrl &url) { m_urls << url; }

private slots:
    void init();
    void cleanup();

    void construction();
    void searchShowsTheRegion();
    void emptyRegion();
    void chromosomeEndWarnsOnce();
    void missingTable();
    void findSnp();
    void findSnpOnAnotherChromosome();
    void findSnpUnknownOrCancelled();
    void findSnpByItsOwnSpelling();
    void findSnpScrollsToItsRow();
    void findSnpTakesGenes();
    void logOfZeroFallsBackToNoTransformation();
    void pOfZeroPlottedFromNegLog10Column();
    void regionSteps();
    void highlightFollowsTheSelection();
    void sortsColumns();
    void labelColoursLastUntilTheNextSearch();
    void linkAndHelp();
    void genomeBuildSurvivesLoading();
    void saveImage();
    void geneTrack();

private:
    void search(byPos &panel, const QString &chromosome, int region);
    int tableRows(byPos &panel)
    {
        return panel.ctableView->model() == &PanelTestAccess::of(panel).regionTableModel
            ? PanelTestAccess::of(panel).regionTableModel.rowCount()
            : -1;
    }

    QTemporaryDir *m_dir = nullptr;
    std::shared_ptr<const Dataset> m_dataset;
    ScriptedDialogs m_dialogs;
    QList<QUrl> m_urls;
};

void ByPosTest::init()
{
    m_dir = new QTemporaryDir;
    QCOMPARE(buildDataset(m_dir->path(), panelData(), m_dataset), QString());
    m_dialogs.clear();
    m_urls.clear();
}

void ByPosTest::cleanup()
{
    m_dataset.reset();
    delete m_dir;
    m_dir = nullptr;
}

void ByPosTest::search(byPos &panel, const QString &chromosome, int region)
{
    // The chromosome choice runs its own search; the tests want one for the final region only.
    const QSignalBlocker block(panel.chrName);
    panel.chrName->setCurrentText(chromosome);
    panel.regionCombobox->setCurrentIndex(region);
    PanelTestAccess::of(panel).search();
}

void ByPosTest::construction()
{
    ScriptedDialogs::Scope scope(m_dialogs);
    byPos panel(m_dataset);
    QCOMPARE(panel.objectName(), QStringLiteral("byPos"));
    QCOMPARE(panel.transcomboBox->count(), 6);
    QCOMPARE(panel.transcomboBox->itemText(2), QStringLiteral("-log(10)"));
    QCOMPARE(panel.plotbyBox->count(), 2);
    QCOMPARE(panel.plotbyBox->itemText(1), QStringLiteral("beta"));
    QCOMPARE(panel.chrName->count(), 23);
    QCOMPARE(panel.chrName->itemText(22), QStringLiteral("X"));
    QCOMPARE(panel.regionCombobox->count(), 301);
    QCOMPARE(panel.regionCombobox->itemText(300), QStringLiteral("300"));
    QCOMPARE(panel.LabelComboBox->count(), 10);
    QCOMPARE(panel.ColorComboBox->itemText(6), QStringLiteral("magenta"));
    QCOMPARE(panel.chrName->currentText(), QStringLiteral("1"));
    QCOMPARE(panel.regionCombobox->currentText(), QStringLiteral("0"));
    QCOMPARE(panel.ctableView->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(PanelTestAccess::of(panel).labelColours.size(), 12);
    QCOMPARE(PanelTestAccess::of(panel).labelColours.at(9), QStringLiteral("darkGreen"));
    QCOMPARE(PanelTestAccess::of(panel).plotReady, 0);
    QCOMPARE(PanelTestAccess::of(panel).rowCount, 0);
    QVERIFY(m_dialogs.calls().isEmpty());
    // A tall window gives the plot more than the form's 400 pixels, the table keeping its share.
    panel.resize(1400, 1400);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QVERIFY2(panel.frame->height() > 400, qPrintable(QString::number(panel.frame->height())));
    QVERIFY(panel.ctableView->height() > 300);
}

void ByPosTest::searchShowsTheRegion()
{
    ScriptedDialogs::Scope scope(m_dialogs);
    byPos panel(m_dataset);
    search(panel, QStringLiteral("1"), 5);
    QVERIFY(m_dialogs.calls().isEmpty());
    QCOMPARE(PanelTestAccess::of(panel).rowCount, 3);
    QCOMPARE(tableRows(panel), 3);
    QCOMPARE(PanelTestAccess::of(panel).regionTableModel.columnCount(), 6);
    QCOMPARE(PanelTestAccess::of(panel).traitCount, 3);
    QCOMPARE(PanelTestAccess::of(panel).plotReady, 1);
    QCOMPARE(PanelTestAccess::of(panel).valueMax, double(0.9f));
    QCOMPARE(PanelTestAccess::of(panel).valueMin, double(0.03f));
    const QString legend = panel.legendBox->toPlainText();
    QVERIFY(legend.contains(QStringLiteral("Legend")));
    QVERIFY(legend.indexOf(QStringLiteral("tC")) < legend.indexOf(QStringLiteral("tA")));
    QVERIFY(legend.indexOf(QStringLiteral("tA")) < legend.indexOf(QStringLiteral("tB")));

    // Hovering the rank 1 label (tC at rs3) names its point; the mouse comes over the frame.
    panel.resize(900, 700);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    const quillmap::bypos::LabelPoints labels = quillmap::bypos::labelPoints(
        panel.plotInput(), quillmap::bypos::screenGeometry(panel.frame->width(), panel.frame->height()));
    QVERIFY(!labels.x.empty());
    const QPoint onLabel = panel.frame->mapFrom(&panel, QPoint(qRound(labels.x[0]), qRound(labels.y[0])));
    QTest::mouseMove(panel.frame, onLabel);
    // With the row's P and effect, which a plot of a transform no longer shows.
    QCOMPARE(QToolTip::text(), QStringLiteral("rs3\n1:5500000\ntC\n0.9\nP: 0.9\nbeta: 5"));
    const auto [group, point] = panel.pointAt(QPoint(qRound(labels.x[0]) + 20, qRound(labels.y[0]) + 20));
    QCOMPARE(group, -1);

    // The region combo box is what the user activates.
    panel.regionCombobox->setCurrentIndex(0);
    emit panel.regionCombobox->activated(0);
    QCOMPARE(PanelTestAccess::of(panel).rowCount, 2);
    QCOMPARE(PanelTestAccess::of(panel).traitCount, 2);
    // A region typed in searches on Return, not when the box merely loses the focus.
    panel.regionCombobox->lineEdit()->selectAll();
    QTest::keyClicks(panel.regionCombobox, QStringLiteral("5"));
    QFocusEvent focusOut(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(panel.regionCombobox, &focusOut);
    QCOMPARE(PanelTestAccess::of(panel).rowCount, 2);
    QTest::keyClick(panel.regionCombobox, Qt::Key_Return);
    QCOMPARE(PanelTestAccess::of(panel).rowCount, 3);
    QCOMPARE(panel.regionCombobox->currentIndex(), 5);
    QCOMPARE(panel.regionCombobox->currentText(), QStringLiteral("5"));
    panel.regionCombobox->setCurrentIndex(0);

    // The statistic choice searches again with the second statistic.
    panel.plotbyBox->setCurrentIndex(1);
    QCOMPARE(PanelTestAccess::of(panel).valueMax, 2.0);
    QCOMPARE(PanelTestAccess::of(panel).valueMin, 1.0);
}

void ByPosTest::emptyRegion()
{
    ScriptedDialogs::Scope scope(m_dialogs);
    byPos panel(m_dataset);
    search(panel, QStringLiteral("1"), 5);
    search(panel, QStringLiteral("1"), 6);
    QCOMPARE(m_dialogs.transcript(),
             QStringList{messageLine(QStringLiteral("There are no SNPs in this region!"))});
    QCOMPARE(tableRows(panel), -1);
    QVERIFY(panel.legendBox->toPlainText().isEmpty());
    QCOMPARE(PanelTestAccess::of(panel).traitCount, 0);
    QVERIFY(PanelTestAccess::of(panel).traitPositions.empty());
    QCOMPARE(PanelTestAccess::of(panel).plotReady, 1); // kept; there are no points to draw
    QCOMPARE(PanelTestAccess::of(panel).highlightOn, 0);
}

void ByPosTest::chromosomeEndWarnsOnce()
{
    ScriptedDialogs::Scope scope(m_dialogs);
    byPos panel(m_dataset);
    search(panel, QStringLiteral("1"), 246);
    QVERIFY(m_dialogs.calls().isEmpty());
    QCOMPARE(PanelTestAccess::of(panel).rowCount, 1);

    search(panel, QStringLiteral("1"), 247);
    QCOMPARE(m_dialogs.transcript(),
             QStringList{messageLine(QStringLiteral("Chromosome1 ends at position 247"))});
    QCOMPARE(PanelTestAccess::of(panel).endWarningShown, 1);
    QCOMPARE(tableRows(panel), -1);
    QVERIFY(panel.legendBox->toPlainText().isEmpty());
    QCOMPARE(PanelTestAccess::of(panel).traitCount, 1); // the previous search's series stay

    // The region shown, typed again and confirmed with Return, is searched again.
    m_dialogs.clear();
    panel.regionCombobox->lineEdit()->selectAll();
    QTest::keyClicks(panel.regionCombobox, QStringLiteral("247"));
    QTest::keyClick(panel.regionCombobox, Qt::Key_Return);
    QCOMPARE(m_dialogs.transcript(),
             QStringList{messageLine(QStringLiteral("There are no SNPs in this region!"))});

    m_dialogs.clear();
    search(panel, QStringLiteral("X"), 160);
    QCOMPARE(m_dialogs.transcript(),
             QStringList{messageLine(QStringLiteral("There are no SNPs in this region!"))});
}

void ByPosTest::missingTable()
{
    ScriptedDialogs::Scope scope(m_dialogs);
    byPos panel(m_dataset);
    search(panel, QStringLiteral("1"), 5);
    QVERIFY(QFile::remove(quillmap::currentDatasetFolder() + QStringLiteral("/table2.dat")));
    search(panel, QStringLiteral("1"), 0);
    QCOMPARE(m_dialogs.transcript(),
             QStringList{messageLine(
                 QStringLiteral("The file table2.dat is not found! Please reload the dataset!"))});
    QCOMPARE(PanelTestAccess::of(panel).rowCount, 3);
    QCOMPARE(tableRows(panel), 3);
    QCOMPARE(PanelTestAccess::of(panel).traitCount, 3);
}

void ByPosTest::findSnp()
{
    ScriptedDialogs::Scope scope(m_dialogs);
    byPos panel(m_dataset);
    search(panel, QStringLiteral("X"), 0);
    QCOMPARE(panel.chrName->currentIndex(), 22);
    m_dialogs.clear();

    m_dialogs.answerExec(typeAndAccept(QStringLiteral("RS6")));
    PanelTestAccess::of(panel).findSNP();
    QCOMPARE(m_dialogs.transcript(), QStringList{QStringLiteral("exec|FindSNPDialog|||")});
    QCOMPARE(panel.chrName->currentText(), QStringLiteral("X"));
    QCOMPARE(panel.regionCombobox->currentText(), QStringLiteral("150"));
    QCOMPARE(PanelTestAccess::of(panel).snpMarkOn, 1);
    QCOMPARE(PanelTestAccess::of(panel).snpMarkPosition, 150.73);
    QCOMPARE(PanelTestAccess::of(panel).snpMarkName, QStringLiteral("rs6"));
    QCOMPARE(PanelTestAccess::of(panel).rowCount, 1);

    // Any step clears the marker.
    PanelTestAccess::of(panel).goLeft();
    QCOMPARE(PanelTestAccess::of(panel).snpMarkOn, 0);
}

void ByPosTest::findSnpOnAnotherChromosome()
{
    ScriptedDialogs::Scope scope(m_dialogs);
    byPos panel(m_dataset);
    search(panel, QStringLiteral("1"), 5);
    m_dialogs.answerExec(typeAndAccept(QStringLiteral("rs5")));
    PanelTestAccess::of(panel).findSNP();
    // First the old region on the new chromosome, then the SNP's own region.
    QCOMPARE(m_dialogs.transcript(),
             (QStringList{QStringLiteral("exec|FindSNPDialog|||"),
                          messageLine(QStringLiteral("There are no SNPs in this region!"))}));
    QCOMPARE(panel.chrName->currentText(), QStringLiteral("2"));
    QCOMPARE(panel.regionCombobox->currentText(), QStringLiteral("3"));
    QCOMPARE(PanelTestAccess::of(panel).rowCount, 1);
    QCOMPARE(PanelTestAccess::of(panel).snpMarkOn, 1);
    QCOMPARE(tableRows(panel), 1);
}

void ByPosTest::findSnpUnknownOrCancelled()
{
    ScriptedDialogs::Scope scope(m_dialogs);
    byPos panel(m_dataset);
    search(panel, QStringLiteral("1"), 5);
    PanelTestAccess::of(panel).snpMarkOn = 1;
    m_dialogs.answerExec(typeAndAccept(QStringLiteral("Rs999")));
    PanelTestAccess::of(panel).findSNP();
    QCOMPARE(m_dialogs.transcript().last(), messageLine(QStringLiteral("SNP Rs999 is not found")));
    QCOMPARE(PanelTestAccess::of(panel).snpMarkOn, 0);
    QCOMPARE(panel.chrName->currentText(), QStringLiteral("1"));
    QCOMPARE(panel.regionCombobox->currentText(), QStringLiteral("5"));
    QCOMPARE(PanelTestAccess::of(panel).rowCount, 3);
    // A typed name that looks like markup is said as typed.
    m_dialogs.answerExec(typeAndAccept(QStringLiteral("a<b>x</b>&amp;")));
    PanelTestAccess::of(panel).findSNP();
    QCOMPARE(m_dialogs.calls().last().text, QStringLiteral("SNP a<b>x</b>&amp; is not found"));
    QCOMPARE(m_dialogs.calls().last().format, Qt::PlainText);

    m_dialogs.clear();
    m_dialogs.answerExec([](QDialog *) { return int(QDialog::Rejected); });
    PanelTestAccess::of(panel).findSNP();
    QCOMPARE(m_dialogs.calls().size(), 1);
    QCOMPARE(panel.regionCombobox->currentText(), QStringLiteral("5"));
}

// IDs such as chr1:14181:A:G are found as the dataset spells them, not lower-cased.
void ByPosTest::findSnpByItsOwnSpelling()
{
    TestDataset d = panelData();
    d.snps.append({u"chr1:14181:A:G"_s, u"1"_s, 0.014181, {}});
    d.results.append({u"tC"_s, u"chr1:14181:A:G"_s, {0.7, 12}});
    d.snps.append({u"2:3900000:T:C"_s, u"2"_s, 3.9, {}});
    d.results.append({u"tC"_s, u"2:3900000:T:C"_s, {0.7, 13}});
    QCOMPARE(buildDataset(m_dir->path(), d, m_dataset), QString());
    ScriptedDialogs::Scope scope(m_dialogs);
    byPos panel(m_dataset);
    // Typed as the dataset spells it, or with "chr" written or left out the other way.
    const QString cases[][3] = {{u"chr1:14181:A:G"_s, u"chr1:14181:A:G"_s, u"0"_s},
                                {u"1:14181:A:G"_s, u"chr1:14181:A:G"_s, u"0"_s},
                                {u"chr2:3900000:T:C"_s, u"2:3900000:T:C"_s, u"3"_s},
                                {u"CHR2:3900000:T:C"_s, u"2:3900000:T:C"_s, u"3"_s}};
    for (const auto &[typed, name, region] : cases) {
        search(panel, QStringLiteral("X"), 3);
        m_dialogs.answerExec(typeAndAccept(typed));
        PanelTestAccess::of(panel).findSNP();
        QCOMPARE(PanelTestAccess::of(panel).snpMarkName, name);
        QCOMPARE(PanelTestAccess::of(panel).snpMarkOn, 1);
        QCOMPARE(panel.regionCombobox->currentText(), region);
    }
}

void ByPosTest::findSnpScrollsToItsRow()
{
    TestDataset d = panelData();
    for (int k = 0; k < 80; ++k)
        d.results.append({u"t%1"_s.arg(k), u"rs4"_s, {0.5, 1}});
    d.results.append({u"tZ"_s, u"rs3"_s, {0.5, 1}});
    QCOMPARE(buildDataset(m_dir->path(), d, m_dataset), QString());
    ScriptedDialogs::Scope scope(m_dialogs);
    byPos panel(m_dataset);
    panel.resize(1000, 700);
    panel.show();
    for (const QString &snp : {u"rs3"_s, u"rs4"_s}) {
        search(panel, QStringLiteral("2"), 3);
        m_dialogs.answerExec(typeAndAccept(snp));
        PanelTestAccess::of(panel).findSNP();
        const QModelIndex current = panel.ctableView->currentIndex();
        QVERIFY(current.isValid());
        QCOMPARE(current.siblingAtColumn(1).data().toString(), snp);
        QVERIFY(
            panel.ctableView->viewport()->rect().contains(panel.ctableView->visualRect(current).center()));
        QVERIFY(panel.ctableView->selectionModel()->selectedRows().isEmpty());
    }
}

// A gene name goes to the region where the gene starts; a SNP of the same name wins.
void ByPosTest::findSnpTakesGenes()
{
    TestDataset d = panelData();
    d.binGenes += u"1002\trs5\t2.1\t2.2\n"_s;
    QCOMPARE(buildDataset(m_dir->path(), d, m_dataset), QString());
    ScriptedDialogs::Scope scope(m_dialogs);
    byPos panel(m_dataset);
    const QString cases[][3] = {{u"gc"_s, u"1"_s, u"5"_s}, {u"rs5"_s, u"2"_s, u"3"_s}};
    for (const auto &[typed, chromosome, region] : cases) {
        search(panel, QStringLiteral("X"), 0);
        m_dialogs.clear();
        m_dialogs.answerExec(typeAndAccept(typed));
        PanelTestAccess::of(panel).findSNP();
        QCOMPARE(panel.chrName->currentText(), chromosome);
        QCOMPARE(panel.regionCombobox->currentText(), region);
        QVERIFY(PanelTestAccess::of(panel).rowCount > 0);
    }
    QCOMPARE(PanelTestAccess::of(panel).snpMarkOn, 1); // the SNP, not the gene
}

void ByPosTest::logOfZeroFallsBackToNoTransformation()
{
    ScriptedDialogs::Scope scope(m_dialogs);
    byPos panel(m_dataset);
    search(panel, QStringLiteral("1"), 3);
    QCOMPARE(PanelTestAccess::of(panel).plotReady, 1);
    panel.transcomboBox->setCurrentIndex(1); // "log(10)"
    QCOMPARE(panel.transcomboBox->currentIndex(), 0);
    QCOMPARE(panel.transcomboBox->currentText(), QStringLiteral("NoTransformation"));
    QCOMPARE(PanelTestAccess::of(panel).plotReady, 0);
    QCOMPARE(panel.legendBox->toPlainText(), QStringLiteral("Can't take log of zero!"));
    QCOMPARE(tableRows(panel), 2);
    QVERIFY(m_dialogs.calls().isEmpty());

    // The next search brings the plot back.
    PanelTestAccess::of(panel).search();
    QCOMPARE(PanelTestAccess::of(panel).plotReady, 1);
    QCOMPARE(PanelTestAccess::of(panel).traitCount, 2);
}

void ByPosTest::pOfZeroPlottedFromNegLog10Column()
{
    TestDataset d = panelData();
    d.statNames = {u"P"_s, u"-log10(P)"_s};
    d.results[9].stats = {0.0, 40.0}; // tA at rs9: below single precision
    d.results[10].stats = {0.2, 0.7}; // tB at rs9
    QCOMPARE(buildDataset(m_dir->path(), d, m_dataset), QString());
    ScriptedDialogs::Scope scope(m_dialogs);
    byPos panel(m_dataset);
    search(panel, QStringLiteral("1"), 3);
    panel.transcomboBox->setCurrentIndex(2); // "-log(10)"
    QCOMPARE(panel.transcomboBox->currentIndex(), 2);
    QCOMPARE(PanelTestAccess::of(panel).plotReady, 1);
    QCOMPARE(PanelTestAccess::of(panel).valueMax, 40.0);
    QVERIFY(panel.legendBox->toPlainText().endsWith(
        u"1 row with P = 0 (below single precision) plotted from -log10(P)."_s));
    QVERIFY(m_dialogs.calls().isEmpty());
}

void ByPosTest::regionSteps()
{
    ScriptedDialogs::Scope scope(m_dialogs);
    byPos panel(m_dataset);
    PanelTestAccess::of(panel).snpMarkOn = 1;
    PanelTestAccess::of(panel).goLeft(); // region 0: nothing to the left
    QCOMPARE(panel.regionCombobox->currentText(), QStringLiteral("0"));
    QCOMPARE(PanelTestAccess::of(panel).snpMarkOn, 1);
    QCOMPARE(PanelTestAccess::of(panel).rowCount, 0);

    panel.regionCombobox->setCurrentIndex(300);
    PanelTestAccess::of(panel).goRight(); // region 300: nothing to the right
    QCOMPARE(panel.regionCombobox->currentText(), QStringLiteral("300"));
    QVERIFY(m_dialogs.calls().isEmpty());

    panel.regionCombobox->setCurrentIndex(4);
    PanelTestAccess::of(panel).goRight();
    QCOMPARE(panel.regionCombobox->currentText(), QStringLiteral("5"));
    QCOMPARE(PanelTestAccess::of(panel).snpMarkOn, 0);
    QCOMPARE(PanelTestAccess::of(panel).rowCount, 3);
    PanelTestAccess::of(panel).goLeft();
    QCOMPARE(panel.regionCombobox->currentText(), QStringLiteral("4"));
    QCOMPARE(m_dialogs.transcript(),
             QStringList{messageLine(QStringLiteral("There are no SNPs in this region!"))});
}

void ByPosTest::highlightFollowsTheSelection()
{
    ScriptedDialogs::Scope scope(m_dialogs);
    byPos panel(m_dataset);
    search(panel, QStringLiteral("1"), 5);
    QItemSelectionModel *selection = panel.ctableView->selectionModel();
    QAbstractItemModel *model = panel.ctableView->model();
    selection->select(model->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(model->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(PanelTestAccess::of(panel).highlightOn, 1);
    QCOMPARE(PanelTestAccess::of(panel).highlightCount, 2);
    const int *order = PanelTestAccess::of(panel).regionTableModel.rowOrder();
    for (int i = 0; i < 2; ++i) {
        const int row = i == 0 ? 0 : 2;
        const RowRecord &rec = PanelTestAccess::of(panel).rowRecords[size_t(order[row])];
        const double position = m_dataset->tables().snpPosition(
            m_dataset->tables().snpLineOfIndex(rec.snpIndex));
        QCOMPARE(PanelTestAccess::of(panel).highlightPositions[size_t(i)], float(position));
        QCOMPARE(PanelTestAccess::of(panel).highlightValues[size_t(i)], rec.firstStat);
    }

    // A new region replaces the rows and drops the highlight with them.
    search(panel, QStringLiteral("1"), 0);
    QCOMPARE(PanelTestAccess::of(panel).highlightOn, 0);
    QCOMPARE(PanelTestAccess::of(panel).highlightCount, 0);
    QCOMPARE(PanelTestAccess::of(panel).highlightPositions.size(), size_t(2));

    panel.ctableView->selectionModel()->select(panel.ctableView->model()->index(1, 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(PanelTestAccess::of(panel).highlightOn, 1);
    PanelTestAccess::of(panel).sortByColumn(0); // sorting clears the selection
    QCOMPARE(PanelTestAccess::of(panel).highlightOn, 0);
}

void ByPosTest::sortsColumns()
{
    ScriptedDialogs::Scope scope(m_dialogs);
    byPos panel(m_dataset);
    search(panel, QStringLiteral("1"), 5);
    QHeaderView *header = panel.ctableView->horizontalHeader();
    const auto column = [&panel](int c) {
        QStringList out;
        QAbstractItemModel *model = panel.ctableView->model();
        for (int r = 0; r < model->rowCount(); ++r)
            out << model->data(model->index(r, c)).toString();
        return out;
    };
    header->setSortIndicator(4, Qt::AscendingOrder);
    PanelTestAccess::of(panel).sortByColumn(4);
    QCOMPARE(column(0), (QStringList{u"tB"_s, u"tA"_s, u"tC"_s}));
    header->setSortIndicator(4, Qt::DescendingOrder);
    PanelTestAccess::of(panel).sortByColumn(4);
    QCOMPARE(column(0), (QStringList{u"tC"_s, u"tA"_s, u"tB"_s}));
    header->setSortIndicator(0, Qt::DescendingOrder);
    PanelTestAccess::of(panel).sortByColumn(0);
    QCOMPARE(column(0), (QStringList{u"tC"_s, u"tB"_s, u"tA"_s}));
    header->setSortIndicator(3, Qt::AscendingOrder);
    PanelTestAccess::of(panel).sortByColumn(3);
    QCOMPARE(column(3).first(), QStringLiteral("5250000"));
    header->setSortIndicator(5, Qt::DescendingOrder);
    PanelTestAccess::of(panel).sortByColumn(5);
    QCOMPARE(column(5), (QStringList{u"5"_s, u"4"_s, u"3"_s}));
    QCOMPARE(tableRows(panel), 3);
}

void ByPosTest::labelColoursLastUntilTheNextSearch()
{
    ScriptedDialogs::Scope scope(m_dialogs);
    byPos panel(m_dataset);
    panel.LabelComboBox->setCurrentIndex(2);
    QCOMPARE(PanelTestAccess::of(panel).labelColours.at(1), QStringLiteral("red")); // colour still "Color"
    panel.ColorComboBox->setCurrentIndex(5);
    QCOMPARE(PanelTestAccess::of(panel).labelColours.at(1), QStringLiteral("cyan"));
    QCOMPARE(panel.plotInput().rankColours.at(1), QColor(QStringLiteral("cyan")));
    PanelTestAccess::of(panel).labelColours[10] = QStringLiteral("blue");

    search(panel, QStringLiteral("1"), 5);
    QCOMPARE(PanelTestAccess::of(panel).labelColours.at(1), QStringLiteral("red"));
    QCOMPARE(PanelTestAccess::of(panel).labelColours.at(10), QStringLiteral("blue"));
    QCOMPARE(panel.LabelComboBox->currentIndex(), 0);
    QCOMPARE(panel.ColorComboBox->currentIndex(), 0);
}

// A dataset imported on hg38 opens on hg38: its chromosome 1 reaches Mb 248 and its links name
// the build.
void ByPosTest::genomeBuildSurvivesLoading()
{
    TestDataset d = panelData();
    d.snps.append({u"rs10"_s, u"1"_s, 248.5, {}});
    d.results.append({u"tA"_s, u"rs10"_s, {0.1, 12}});
    d.build = GenomeBuild::Hg38;
    QCOMPARE(buildDataset(m_dir->path(), d, m_dataset), QString());
    ScriptedDialogs::Scope scope(m_dialogs);
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
    byPos panel(m_dataset);
    search(panel, QStringLiteral("1"), 248);
    QCOMPARE(m_dialogs.transcript(), QStringList());
    QCOMPARE(PanelTestAccess::of(panel).rowCount, 1);
    PanelTestAccess::of(panel).link();
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(m_urls.size(), 1);
    QVERIFY2(m_urls.first().toString().contains(QStringLiteral("db=hg38&position=chr1:248000000-")),
             qPrintable(m_urls.first().toString()));
}

void ByPosTest::linkAndHelp()
{
    ScriptedDialogs::Scope scope(m_dialogs);
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
    byPos panel(m_dataset);
    search(panel, QStringLiteral("3"), 150);
    PanelTestAccess::of(panel).link();
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(m_urls.size(), 1);
    QCOMPARE(
        m_urls.first().toString(),
        QStringLiteral(
            "https://genome.ucsc.edu/cgi-bin/hgTracks?org=Human&db=hg18&position=chr3:150000000-151000000"));

    PanelTestAccess::of(panel).help();
    PanelTestAccess::of(panel).help();
    QList<QTextBrowser *> windows;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *browser = qobject_cast<QTextBrowser *>(w);
            browser && browser->windowTitle() == QStringLiteral("Help"))
            windows << browser;
    }
    QCOMPARE(windows.size(), 2);
    QCOMPARE(windows.first()->geometry(), QRect(400, 300, 600, 400));
    QVERIFY(windows.first()->toPlainText().contains(QStringLiteral("About Quillmap v 0.0.2 Help Document")));
    QVERIFY(windows.first()->toPlainText().contains(QStringLiteral("Only top 9 traits are listed.")));
    qDeleteAll(windows);
}

void ByPosTest::saveImage()
{
    ScriptedDialogs::Scope scope(m_dialogs);
    byPos panel(m_dataset);
    search(panel, QStringLiteral("1"), 5);
    m_dialogs.clear();

    const QString base = m_dir->filePath(QStringLiteral("region"));
    m_dialogs.answerExec(typeAndAccept(QStringLiteral("Region 5")));
    m_dialogs.answerPath(base);
    PanelTestAccess::of(panel).print();
    QCOMPARE(m_dialogs.transcript(),
             (QStringList{QStringLiteral("exec|Input title |||"),
                          QStringLiteral("save|||Save As|Images (*.pdf);;Images (*.svg);;Images (*.png)")}));
    QVERIFY(m_dialogs.calls().at(1).dir.endsWith(QStringLiteral("/untitled.pdf")));
    QVERIFY(QFile::exists(base + QStringLiteral(".pdf")));
    QVERIFY(!QFile::exists(base));

    // An extension the user typed is kept.
    m_dialogs.answerExec(typeAndAccept(QStringLiteral("Region 5")));
    m_dialogs.answerPath(base + QStringLiteral(".page"));
    PanelTestAccess::of(panel).print();
    QVERIFY(QFile::exists(base + QStringLiteral(".page")));
    // ".svg" writes the screen's picture as SVG.
    m_dialogs.answerExec(typeAndAccept(QStringLiteral("Region 5")));
    m_dialogs.answerPath(base + QStringLiteral(".svg"));
    PanelTestAccess::of(panel).print();
    QFile svg(base + QStringLiteral(".svg"));
    QVERIFY(svg.open(QIODevice::ReadOnly));
    QVERIFY(svg.readAll().contains("<svg"));

    // An empty title or a cancelled dialog asks nothing more.
    m_dialogs.clear();
    m_dialogs.answerExec(typeAndAccept(QString()));
    PanelTestAccess::of(panel).print();
    m_dialogs.answerExec([](QDialog *) { return int(QDialog::Rejected); });
    PanelTestAccess::of(panel).print();
    m_dialogs.answerExec(typeAndAccept(QStringLiteral("t")));
    m_dialogs.answerPath(QString());
    PanelTestAccess::of(panel).print();
    QCOMPARE(m_dialogs.transcript().count(
                 QStringLiteral("save|||Save As|Images (*.pdf);;Images (*.svg);;Images (*.png)")),
             1);
    QCOMPARE(m_dialogs.pendingAnswers(), 0);

    // A page that cannot be written is reported.
    m_dialogs.clear();
    m_dialogs.answerExec(typeAndAccept(QStringLiteral("t")));
    m_dialogs.answerPath(m_dir->filePath(QStringLiteral("no/such/folder/x.pdf")));
    PanelTestAccess::of(panel).print();
    QVERIFY(m_dialogs.transcript().last().contains(QStringLiteral("could not be written!")));
}

void ByPosTest::geneTrack()
{
    ScriptedDialogs::Scope scope(m_dialogs);
    byPos panel(m_dataset);
    panel.resize(900, 700);
    search(panel, QStringLiteral("1"), 5);
    panel.grab();
    QVERIFY(!panel.scrollArea->isHidden());
    const QImage track = panel.geneTrackImage();
    QCOMPARE(track.height(), 300);
    QCOMPARE(track.width(), panel.scrollArea->width());
    QCOMPARE(panel.geneLabel->height(), 300);
    // Two genes closer than 70 kb: two rows with blue bars.
    int rowsWithBars = 0;
    for (int y = 0; y < 40; ++y) {
        bool blue = false;
        for (int x = 0; x < track.width() && !blue; ++x)
            blue = qBlue(track.pixel(x, y)) > 200 && qRed(track.pixel(x, y)) < 60;
        rowsWithBars += blue ? 1 : 0;
    }
    QVERIFY(rowsWithBars >= 2);

    // No line for the region: an empty label, 200 high.
    search(panel, QStringLiteral("1"), 3);
    panel.grab();
    QVERIFY(panel.geneTrackImage().isNull());
    QCOMPARE(panel.geneLabel->height(), 200);
    QVERIFY(!panel.scrollArea->isHidden());

    // No gene file at all: the track is hidden.
    QVERIFY(QFile::remove(quillmap::currentDatasetFolder() + QStringLiteral("/pos2gene.dat")));
    search(panel, QStringLiteral("1"), 0);
    panel.grab();
    QVERIFY(panel.scrollArea->isHidden());
}

QTEST_MAIN(ByPosTest)
#include "tst_bypos.moc"
