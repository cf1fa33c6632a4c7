#include "bytrait/byid.h"
#include "bytrait/traitplotpainter.h"
#include "common/datasetopening.h"
#include "dataset/datasettables.h"
#include "browse/traitplotgeometry.h"
#include "session/sharedstate.h"
#include "support/paneltestaccess.h"
#include "support/datasetfixture.h"
#include "support/scripteddialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QSpinBox>
#include <QSvgRenderer>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>

#include <memory>

using namespace quillmap;

// Receives the URLs the panel hands to the desktop opener.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class TestByID : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void construction();
    void missingFileAtConstruction();
    void damagedDatasetAtConstruction();
    void firstAndLaterTrait();
    void traitInformationIsEscaped();
    void bothAllMessage();
    void groupModeAndFindId();
    void unknownGroup();
    void logTransformFailure();
    void resizeAfterFailedTransformFinishes();
    void resizeRepaintsInSlices();
    void unknownTraitTextIsSilent();
    void missingTable1AtDisplay();
    void damagedRecordIndexes_data();
    void damagedRecordIndexes();
    void sortColumns_data();
    void sortColumns();
    void selectionCollectsHighlights();
    void clearResets();
    void linkOutAndLabel();
    void helpWindow();
    void plotShowsPoints();
    void exportWritesOnePagePdf();
    void exportSkippedWithoutTitle();

private:
    std::unique_ptr<byID> makePanel(const QString &folder);
    void showTrait(byID &panel, const QString &trait);
    QStringList columnOne(byID &panel);

    QTemporaryDir m_dir;
    QString m_folder;
    ScriptedDialogs m_dialogs;
    std::unique_ptr<ScriptedDialogs::Scope> m_scope;
};

void TestByID::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_folder = DatasetFixture::small().write(m_dir.filePath(QStringLiteral("small")));
}

void TestByID::init()
{
    m_dialogs.clear();
    m_scope = std::make_unique<ScriptedDialogs::Scope>(m_dialogs);
}

void TestByID::cleanup()
{
    m_scope.reset();
}

std::unique_ptr<byID> TestByID::makePanel(const QString &folder)
{
    quillmap::currentDatasetFolder() = folder;
    auto panel = std::make_unique<byID>(openDatasetForBrowsing(folder));
    panel->resize(1000, 700);
    panel->show();
    // Let the construction's first repaint tick run.
    if (!QTest::qWaitFor([&panel] { return !PanelTestAccess::of(*panel).repaintTimer->isActive(); }))
        qWarning("the panel's repaint did not finish");
    return panel;
}

void TestByID::showTrait(byID &panel, const QString &trait)
{
    panel.ProbeID->setCurrentIndex(panel.ProbeID->findText(trait));
    QTRY_VERIFY(!PanelTestAccess::of(panel).repaintTimer->isActive());
}

QStringList TestByID::columnOne(byID &panel)
{
    QStringList names;
    QAbstractItemModel *model = panel.ctableView->model();
    if (!model)
        return names;
    for (int r = 0; r < model->rowCount(); ++r)
        names << model->data(model->index(r, 1)).toString();
    return names;
}

void TestByID::construction()
{
    auto panel = makePanel(m_folder);
    QVERIFY(panel->isReady());
    QCOMPARE(m_dialogs.calls().size(), 0);
    QCOMPARE(panel->ProbeID->count(), 3);
    QCOMPARE(panel->ProbeID->itemText(0), QStringLiteral("All"));
    QCOMPARE(panel->ProbeID->itemText(2), QStringLiteral("T2"));
    QCOMPARE(panel->ProbeID->currentIndex(), 0);
    QVERIFY(panel->geneName->isEnabled());
    QCOMPARE(panel->geneName->itemText(1), QStringLiteral("G1"));
    QCOMPARE(PanelTestAccess::of(*panel).groupNameList,
             QStringList({QStringLiteral("G1"), QStringLiteral("G2")}));
    QCOMPARE(panel->plotbyBox->count(), 2);
    QCOMPARE(panel->transcomboBox->itemText(2), QStringLiteral("-log(10)"));
    QCOMPARE(panel->highlightComboBox->itemText(0), QStringLiteral("No HightLight"));
    QVERIFY(panel->highlightComboBox->isHidden());
    QVERIFY(panel->displayButton->isHidden());
    QVERIFY(panel->ProbeIDSelected->isHidden());
    QCOMPARE(panel->ctableView->selectionMode(), QAbstractItemView::MultiSelection);
    QCOMPARE(PanelTestAccess::of(*panel).plotReady, 0);
    QCOMPARE(PanelTestAccess::of(*panel).rowCount, 0);
    QCOMPARE(panel->windowTitle(), QStringLiteral("Quillmap 0.0.2  (Sep 2008)"));

    DatasetFixture plain = DatasetFixture::small();
    plain.withGroups = false;
    auto noGroups = makePanel(plain.write(m_dir.filePath(QStringLiteral("plain"))));
    QVERIFY(!noGroups->geneName->isEnabled());
    QCOMPARE(noGroups->geneName->currentText(), QStringLiteral("All"));
}

void TestByID::missingFileAtConstruction()
{
    const QString folder = DatasetFixture::small().write(m_dir.filePath(QStringLiteral("noposline")));
    QFile::remove(folder + QStringLiteral("/Pos_Line.dat"));
    m_dialogs.answerButton(QMessageBox::Ok);
    auto panel = makePanel(folder);
    QVERIFY(!panel->isReady());
    QCOMPARE(m_dialogs.transcript(),
             QStringList{QStringLiteral(
                 "message|information|The file Pos_Line.dat is not found! Please reload the dataset!||")});
    // Inert: nothing is connected, the boxes stay empty.
    QCOMPARE(panel->ProbeID->count(), 0);
    panel->findID->click();
    panel->clearButton->click();
    QCOMPARE(m_dialogs.calls().size(), 1);
}

void TestByID::damagedDatasetAtConstruction()
{
    const QString folder = DatasetFixture::small().write(m_dir.filePath(QStringLiteral("shortsummary")));
    QFile summary(folder + QStringLiteral("/summary.txt"));
    QVERIFY(summary.open(QIODevice::WriteOnly | QIODevice::Truncate));
    summary.write("only\tone\tline\n");
    summary.close();
    m_dialogs.answerButton(QMessageBox::Ok);
    auto panel = makePanel(folder);
    QVERIFY(!panel->isReady());
    QCOMPARE(m_dialogs.calls().size(), 1);
    QVERIFY(m_dialogs.calls().at(0).text.startsWith(
        QStringLiteral("The dataset in %1 is damaged: ").arg(folder)));
    QVERIFY(m_dialogs.calls().at(0).text.endsWith(QStringLiteral("Please reload the dataset!")));
}

void TestByID::firstAndLaterTrait()
{
    auto panel = makePanel(m_folder);
    showTrait(*panel, QStringLiteral("T1"));
    QCOMPARE(PanelTestAccess::of(*panel).rowCount, 2);
    QCOMPARE(PanelTestAccess::of(*panel).plotReady, 1);
    QCOMPARE(PanelTestAccess::of(*panel).plotShown, 1);
    QCOMPARE(PanelTestAccess::of(*panel).rowRecords[0].traitIndex, 0);
    QCOMPARE(panel->ProbeIDSelected->count(), 1);
    QCOMPARE(panel->ProbeIDSelected->currentText(), QStringLiteral("T1"));
    QCOMPARE(columnOne(*panel), QStringList({QStringLiteral("rs2"), QStringLiteral("rs1")}));

    // The second trait starts after the first one's records.
    showTrait(*panel, QStringLiteral("T2"));
    QCOMPARE(PanelTestAccess::of(*panel).rowCount, 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(PanelTestAccess::of(*panel).rowRecords[size_t(i)].traitIndex, 1);
        QCOMPARE(PanelTestAccess::of(*panel).rowRecords[size_t(i)].rowNumber, i);
    }
    QCOMPARE(PanelTestAccess::of(*panel).rowRecords[1].firstStat, 0.001f);
    QCOMPARE(PanelTestAccess::of(*panel).rowStats[2], -5.0f); // one extra statistic a row
    QCOMPARE(int(PanelTestAccess::of(*panel).rowChromosomes[1]), 23);
    QCOMPARE(PanelTestAccess::of(*panel).rowPositions[0], 12.5f);
    QCOMPARE(PanelTestAccess::of(*panel).valueMax, 1.0f);
    QCOMPARE(PanelTestAccess::of(*panel).valueMin, 0.001f);
    // Three rows: both ranks are past the end or at it, so the extremes are the thresholds.
    QCOMPARE(PanelTestAccess::of(*panel).topThreshold, 1.0);
    QCOMPARE(PanelTestAccess::of(*panel).bottomThreshold, double(0.5f));
    QCOMPARE(panel->ctableView->model()->columnCount(), 7);

    // Plotting the extra statistic under -log(10) changes the plotted values only.
    panel->plotbyBox->setCurrentIndex(1);
    panel->transcomboBox->setCurrentIndex(5);
    QCOMPARE(PanelTestAccess::of(*panel).rowValues[2], 5.0f);
    QCOMPARE(m_dialogs.calls().size(), 0);
}

void TestByID::traitInformationIsEscaped()
{
    auto panel = makePanel(m_folder);
    showTrait(*panel, QStringLiteral("T1"));
    const QString text = panel->probeInfo->toPlainText();
    QVERIFY2(text.contains(QStringLiteral("first <b>trait</b>")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("Trait Information")));
    QVERIFY(text.contains(QStringLiteral("Description")));
}

void TestByID::bothAllMessage()
{
    auto panel = makePanel(m_folder);
    showTrait(*panel, QStringLiteral("T1"));
    m_dialogs.answerButton(QMessageBox::Ok);
    panel->ProbeID->setCurrentIndex(0);
    QCOMPARE(m_dialogs.transcript(),
             QStringList{QStringLiteral("message|information|Please select group name and trait name!||")});
    QCOMPARE(PanelTestAccess::of(*panel).plotReady, 0);
    QVERIFY(!panel->ctableView->model());
}

void TestByID::groupModeAndFindId()
{
    auto panel = makePanel(m_folder);
    panel->geneName->setCurrentIndex(panel->geneName->findText(QStringLiteral("G2")));
    QVERIFY(panel->ProbeID->isHidden());
    QVERIFY(!panel->ProbeIDSelected->isHidden());
    QCOMPARE(PanelTestAccess::of(*panel).groupTraitList, QStringList{QStringLiteral("T2")});
    QCOMPARE(PanelTestAccess::of(*panel).rowCount, 3);
    QCOMPARE(PanelTestAccess::of(*panel).groupTraitsArmed, 1);

    // Group G1 through the Find ID button: its traits in stored order, the first displayed.
    panel->geneName->setEditText(QStringLiteral("G1"));
    panel->findID->click();
    QCOMPARE(PanelTestAccess::of(*panel).groupTraitList,
             QStringList({QStringLiteral("T1"), QStringLiteral("T2")}));
    QCOMPARE(PanelTestAccess::of(*panel).rowCount, 2);
    // Choosing the second trait of the group displays it.
    panel->ProbeIDSelected->setCurrentIndex(1);
    QCOMPARE(PanelTestAccess::of(*panel).rowCount, 3);
    QCOMPARE(PanelTestAccess::of(*panel).rowRecords[0].traitIndex, 1);

    // Back to "All": the all-traits box again.
    panel->geneName->setCurrentIndex(0);
    QVERIFY(!panel->ProbeID->isHidden());
    QVERIFY(panel->ProbeIDSelected->isHidden());
    QCOMPARE(m_dialogs.calls().size(), 0);
}

void TestByID::unknownGroup()
{
    auto panel = makePanel(m_folder);
    m_dialogs.answerButton(QMessageBox::Ok);
    panel->geneName->setEditText(QStringLiteral("g1"));
    panel->findID->click();
    QCOMPARE(m_dialogs.transcript(),
             QStringList{QStringLiteral("message|information|The gene is not in the list!||")});
    QCOMPARE(panel->ProbeIDSelected->count(), 0);
    QCOMPARE(PanelTestAccess::of(*panel).rowCount, 0);

    // A group's trait without results is named, and the trait shown before stays.
    DatasetFixture listed = DatasetFixture::small();
    listed.groupLines.append({QStringLiteral("T9"), QStringLiteral("G2")});
    auto probes = makePanel(listed.write(m_dir.filePath(QStringLiteral("noresults"))));
    m_dialogs.clear();
    m_dialogs.answerButton(QMessageBox::Ok);
    probes->geneName->setCurrentIndex(probes->geneName->findText(QStringLiteral("G2")));
    QCOMPARE(PanelTestAccess::of(*probes).groupTraitList,
             (QStringList{QStringLiteral("T2"), QStringLiteral("T9")}));
    QCOMPARE(PanelTestAccess::of(*probes).rowCount, 3);
    probes->ProbeIDSelected->setCurrentIndex(1);
    QCOMPARE(m_dialogs.transcript(),
             QStringList{QStringLiteral("message|information|There are no results for T9!||")});
    QCOMPARE(PanelTestAccess::of(*probes).rowCount, 3);
    QCOMPARE(PanelTestAccess::of(*probes).plotReady, 1);
    QVERIFY(probes->ctableView->model());
    QVERIFY(!probes->frame->pixmap().isNull());
    QVERIFY(probes->probeInfo->toPlainText().contains(QStringLiteral("second")));
    // The group's other trait still displays.
    probes->ProbeIDSelected->setCurrentIndex(0);
    QCOMPARE(PanelTestAccess::of(*probes).rowCount, 3);
    QCOMPARE(m_dialogs.calls().size(), 1);
}

void TestByID::logTransformFailure()
{
    auto panel = makePanel(m_folder);
    showTrait(*panel, QStringLiteral("T1"));
    panel->plotbyBox->setCurrentIndex(1); // beta: -2 and 3
    panel->transcomboBox->setCurrentIndex(1);
    QCOMPARE(PanelTestAccess::of(*panel).plotReady, 0);
    QCOMPARE(panel->probeInfo->toPlainText(),
             QStringLiteral("Can't take log of negative value!\nPlease reset to no transformation!"));
    QVERIFY(!panel->ctableView->model());
    QVERIFY(panel->frame->pixmap().isNull());
    QCOMPARE(m_dialogs.calls().size(), 0);
    // abs never fails.
    panel->transcomboBox->setCurrentIndex(5);
    QCOMPARE(PanelTestAccess::of(*panel).plotReady, 1);
    QVERIFY(panel->ctableView->model());

    // A value of 0 is named as such.
    DatasetFixture zero = DatasetFixture::small();
    zero.rows[1].stat = 0.0f; // T1 at rs2
    auto zeroPanel = makePanel(zero.write(m_dir.filePath(QStringLiteral("zero"))));
    showTrait(*zeroPanel, QStringLiteral("T1"));
    zeroPanel->transcomboBox->setCurrentIndex(2);
    QCOMPARE(PanelTestAccess::of(*zeroPanel).plotReady, 0);
    QCOMPARE(zeroPanel->probeInfo->toPlainText(),
             QStringLiteral("Can't take log of zero!\nPlease reset to no transformation!"));

    // With a -log10 column of the same p-values, p = 0 (below single precision) is plotted from it.
    zero.resultsHeader = {QStringLiteral("probe"), QStringLiteral("marker"), QStringLiteral("P"),
                          QStringLiteral("-log10(P)")};
    zero.rows[1].extra = {45.0f};
    zero.rows[2].extra = {1.0f};
    auto standInPanel = makePanel(zero.write(m_dir.filePath(QStringLiteral("standin"))));
    showTrait(*standInPanel, QStringLiteral("T1"));
    standInPanel->transcomboBox->setCurrentIndex(2);
    QCOMPARE(PanelTestAccess::of(*standInPanel).plotReady, 1);
    QCOMPARE(PanelTestAccess::of(*standInPanel).valueMax, 45.0f);
    QVERIFY(standInPanel->probeInfo->toPlainText().endsWith(
        QStringLiteral("1 row with P = 0 (below single precision) plotted from -log10(P).")));
}

void TestByID::resizeAfterFailedTransformFinishes()
{
    auto panel = makePanel(m_folder);
    showTrait(*panel, QStringLiteral("T1"));
    panel->plotbyBox->setCurrentIndex(1);
    panel->transcomboBox->setCurrentIndex(1);
    QCOMPARE(PanelTestAccess::of(*panel).plotReady, 0);
    QCOMPARE(PanelTestAccess::of(*panel).plotShown, 1);
    panel->resize(900, 650);
    QTRY_VERIFY(!PanelTestAccess::of(*panel).repaintTimer->isActive());
    QCOMPARE(panel->ctableView->selectionMode(), QAbstractItemView::MultiSelection);
}

void TestByID::resizeRepaintsInSlices()
{
    DatasetFixture f;
    for (int i = 0; i < 2500; ++i) {
        const QString snp = QStringLiteral("rs%1").arg(10000 + i);
        f.snps.append({snp, QString::number(i % 22 + 1), QString::number(i % 200), {}});
        f.rows.append({QStringLiteral("big"), snp, float(i % 17), {}});
    }
    auto panel = makePanel(f.write(m_dir.filePath(QStringLiteral("slices"))));
    showTrait(*panel, QStringLiteral("big"));
    QCOMPARE(PanelTestAccess::of(*panel).rowCount, 2500);
    panel->resize(1100, 760);
    QVERIFY(PanelTestAccess::of(*panel).repaintTimer->isActive());
    QCOMPARE(PanelTestAccess::of(*panel).repaintIndex, 0);
    QVERIFY(QMetaObject::invokeMethod(panel.get(), "paintFunSub"));
    QCOMPARE(PanelTestAccess::of(*panel).repaintIndex, 1000);
    QVERIFY(PanelTestAccess::of(*panel).repaintTimer->isActive());
    QTRY_VERIFY(!PanelTestAccess::of(*panel).repaintTimer->isActive());
    QCOMPARE(PanelTestAccess::of(*panel).repaintIndex, 2500);
    QCOMPARE(PanelTestAccess::of(*panel).plotImage.size(), panel->frame->size());
    // The slices add up to the whole plot: frame, points, and labels drawn once, not smeared.
    TraitPlotData data;
    data.rowCount = PanelTestAccess::of(*panel).rowCount;
    data.chromosomes = PanelTestAccess::of(*panel).rowChromosomes.data();
    data.positions = PanelTestAccess::of(*panel).rowPositions.data();
    data.values = PanelTestAccess::of(*panel).rowValues.data();
    data.valueMin = PanelTestAccess::of(*panel).valueMin;
    data.valueMax = PanelTestAccess::of(*panel).valueMax;
    data.plotReady = true;
    data.axisTitle = panel->plotData().axisTitle;
    QImage whole(PanelTestAccess::of(*panel).plotImage.size(), QImage::Format_RGB32);
    whole.fill(Qt::white);
    QVERIFY(traitplot::renderTraitPlot(&whole, data));
    QVERIFY(PanelTestAccess::of(*panel).plotImage == whole);
}

void TestByID::unknownTraitTextIsSilent()
{
    auto panel = makePanel(m_folder);
    panel->ProbeID->setEditText(QStringLiteral("t1"));
    panel->displayButton->click();
    QCOMPARE(m_dialogs.calls().size(), 0);
    QCOMPARE(PanelTestAccess::of(*panel).plotReady, 0);
    QVERIFY(!panel->ctableView->model());
}

void TestByID::missingTable1AtDisplay()
{
    const QString folder = DatasetFixture::small().write(m_dir.filePath(QStringLiteral("notable1")));
    auto panel = makePanel(folder);
    QVERIFY(QFile::remove(folder + QStringLiteral("/table1.dat")));
    m_dialogs.answerButton(QMessageBox::Ok);
    showTrait(*panel, QStringLiteral("T2"));
    QCOMPARE(m_dialogs.transcript(),
             QStringList{QStringLiteral(
                 "message|information|The file table1.dat is not found! Please reload the dataset!||")});
    QVERIFY(!panel->ctableView->model());
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void TestByID::damagedRecordIndexes_data()
{
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("detail");
    // T1 holds records 0 and 1, T2 records 2 to 4; 16 bytes each.
    QTest::newRow("SNP index beyond SNPlist.dat")
        << qint64(16 * 2 + 4) << QByteArray("\x00\x00\x01\x00", 4)
        << QStringLiteral("table1.dat refers to a trait or SNP that is not listed.");
    QTest::newRow("T1's index inside T2's run")
        << qint64(16 * 3) << QByteArray("\x00\x00\x00\x00", 4)
        << QStringLiteral("table1.dat holds a record of another trait where ID_Line.dat places T2.");
}

void TestByID::damagedRecordIndexes()
{
    QFETCH(qint64, offset);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, detail);
    const QString folder = DatasetFixture::small().write(
        m_dir.filePath(QString::fromLatin1(QTest::currentDataTag())));
    QFile table(folder + QStringLiteral("/table1.dat"));
    QVERIFY(table.open(QIODevice::ReadWrite));
    table.seek(offset);
    table.write(bytes);
    table.close();
    auto panel = makePanel(folder);
    m_dialogs.answerButton(QMessageBox::Ok);
    showTrait(*panel, QStringLiteral("T2"));
    QCOMPARE(m_dialogs.calls().size(), 1);
    QCOMPARE(
        m_dialogs.calls().at(0).text,
        QStringLiteral("The dataset in %1 is damaged: %2 Please reload the dataset!").arg(folder, detail));
    QCOMPARE(PanelTestAccess::of(*panel).rowCount, 0);
    QVERIFY(!panel->ctableView->model());
    QVERIFY(QApplication::overrideCursor() == nullptr);
    // The first trait is still readable.
    showTrait(*panel, QStringLiteral("T1"));
    QCOMPARE(PanelTestAccess::of(*panel).rowCount, 2);
}

void TestByID::sortColumns_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<QStringList>("snps");
    // T2 rows in file order: rs1 (chr 1, 12.5, GA, 0.5, 1.5), rs3 (X, 0.0000015, GC, 0.001, 4),
    // rs2 (chr 2, 10.5, GB, 1.0, -5).
    const QString a = QStringLiteral("rs1"), b = QStringLiteral("rs2"), c = QStringLiteral("rs3");
    QTest::newRow("trait keeps file order") << 0 << false << QStringList{a, c, b};
    QTest::newRow("snp ascending") << 1 << true << QStringList{a, b, c};
    QTest::newRow("snp descending") << 1 << false << QStringList{c, b, a};
    QTest::newRow("chr ascending") << 2 << true << QStringList{a, b, c};
    QTest::newRow("chr descending") << 2 << false << QStringList{c, b, a};
    QTest::newRow("pos ascending in genome order") << 3 << true << QStringList{a, b, c};
    QTest::newRow("pos descending in genome order") << 3 << false << QStringList{c, b, a};
    QTest::newRow("extra snp column ascending") << 4 << true << QStringList{a, b, c};
    QTest::newRow("extra snp column descending") << 4 << false << QStringList{c, b, a};
    QTest::newRow("first statistic ascending") << 5 << true << QStringList{c, a, b};
    QTest::newRow("first statistic descending") << 5 << false << QStringList{b, a, c};
    QTest::newRow("extra statistic ascending") << 6 << true << QStringList{b, a, c};
    QTest::newRow("extra statistic descending") << 6 << false << QStringList{c, a, b};
}

void TestByID::sortColumns()
{
    QFETCH(int, column);
    QFETCH(bool, ascending);
    QFETCH(QStringList, snps);
    auto panel = makePanel(m_folder);
    showTrait(*panel, QStringLiteral("T2"));
    panel->ctableView->horizontalHeader()->setSortIndicator(
        column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    QVERIFY(QMetaObject::invokeMethod(panel.get(), "sortByColumn", Q_ARG(int, column)));
    QCOMPARE(columnOne(*panel), snps);
    // Row labels stay 0, 1, 2 from the top.
    QCOMPARE(panel->ctableView->model()->headerData(0, Qt::Vertical).toString(), QStringLiteral("0"));
}

void TestByID::selectionCollectsHighlights()
{
    auto panel = makePanel(m_folder);
    showTrait(*panel, QStringLiteral("T2"));
    QItemSelectionModel *selection = panel->ctableView->selectionModel();
    QAbstractItemModel *model = panel->ctableView->model();
    selection->select(model->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(model->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(PanelTestAccess::of(*panel).highlightOn, 1);
    QCOMPARE(PanelTestAccess::of(*panel).highlightCount, 2);
    QCOMPARE(PanelTestAccess::of(*panel).highlightChromosomes[0], 1);
    QCOMPARE(PanelTestAccess::of(*panel).highlightChromosomes[1], 23);
    QCOMPARE(PanelTestAccess::of(*panel).highlightPositions[0], 12.5f);
    QCOMPARE(PanelTestAccess::of(*panel).highlightValues[1], 0.001f);
    QVERIFY(!PanelTestAccess::of(*panel).highlightImage.isNull());
    QVERIFY(PanelTestAccess::of(*panel).highlightImage != PanelTestAccess::of(*panel).plotImage);

    // Selecting nothing shows the plot without circles.
    selection->clearSelection();
    QCOMPARE(PanelTestAccess::of(*panel).highlightOn, 0);
    QCOMPARE(PanelTestAccess::of(*panel).highlightCount, 0);

    // While a repaint runs, a selection only switches the table's selection off.
    panel->resize(800, 600);
    QVERIFY(PanelTestAccess::of(*panel).repaintTimer->isActive());
    selection = panel->ctableView->selectionModel();
    selection->select(model->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(panel->ctableView->selectionMode(), QAbstractItemView::NoSelection);
    QTRY_VERIFY(!PanelTestAccess::of(*panel).repaintTimer->isActive());
    QCOMPARE(panel->ctableView->selectionMode(), QAbstractItemView::MultiSelection);
}

void TestByID::clearResets()
{
    auto panel = makePanel(m_folder);
    showTrait(*panel, QStringLiteral("T1"));
    m_dialogs.answerButton(QMessageBox::Ok);
    panel->clearButton->click();
    // Resetting the all-traits box to "All" runs a display, which asks for a choice.
    QCOMPARE(m_dialogs.transcript(),
             QStringList{QStringLiteral("message|information|Please select group name and trait name!||")});
    QCOMPARE(PanelTestAccess::of(*panel).plotShown, 0);
    QCOMPARE(PanelTestAccess::of(*panel).plotReady, 0);
    QCOMPARE(panel->ProbeID->currentIndex(), 0);
    QCOMPARE(panel->geneName->currentIndex(), 0);
    QVERIFY(panel->ProbeIDSelected->isHidden());
    QCOMPARE(panel->ProbeIDSelected->count(), 0);
    QVERIFY(!panel->ctableView->model());
    QVERIFY(panel->frame->pixmap().isNull());
    // A resize after Clear does nothing.
    panel->resize(900, 600);
    QVERIFY(!PanelTestAccess::of(*panel).repaintTimer->isActive());
}

void TestByID::linkOutAndLabel()
{
    auto panel = makePanel(m_folder);
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "open");
    quillmap::linkTemplates() = {QStringLiteral("http://example.org/find?q=######&x=######"),
                                 QStringLiteral("blank")};
    quillmap::databaseNames() = {QStringLiteral("UCSC"), QStringLiteral("OTHER")};
    quillmap::chosenDatabase() = 0;
    showTrait(*panel, QStringLiteral("T2"));
    panel->LinkButton->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QCOMPARE(catcher.urls.size(), 1);
    QCOMPARE(catcher.urls.at(0).toString(), QStringLiteral("http://example.org/find?q=T2&x=T2"));

    QCOMPARE(panel->LinkButton->text(), QStringLiteral("UCSC"));
    quillmap::chosenDatabase() = 1;
    panel->changeLinkText();
    QCOMPARE(panel->LinkButton->text(), QStringLiteral("OTHER"));
    quillmap::chosenDatabase() = 0;
}

void TestByID::helpWindow()
{
    auto panel = makePanel(m_folder);
    panel->helpButton->click();
    QTextBrowser *help = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *browser = qobject_cast<QTextBrowser *>(w);
            browser && browser->windowTitle() == QStringLiteral("Help"))
            help = browser;
    QVERIFY(help);
    QCOMPARE(help->size(), QSize(600, 400));
    QVERIFY(help->toPlainText().contains(QStringLiteral("About Quillmap 0.0.2 Help Document")));
    QVERIFY(help->toPlainText().contains(QStringLiteral("8. To reset the combo box, click 'Clear' button.")));
    help->close();
}

void TestByID::plotShowsPoints()
{
    auto panel = makePanel(m_folder);
    showTrait(*panel, QStringLiteral("T1"));
    const QImage &image = PanelTestAccess::of(*panel).plotImage;
    QCOMPARE(image.size(), panel->frame->size());
    const QSize size = image.size();
    // rs2 (chromosome 2, 10.5 Mb) has the smaller value 0.01 of T1, drawn at 0.85 G.
    const traitplot::ValueScale scale = traitplot::makeScale(
        PanelTestAccess::of(*panel).valueMin, PanelTestAccess::of(*panel).valueMax,
        traitplot::screenHeightScale(size.width(), size.height()));
    const double g = traitplot::screenHeightScale(size.width(), size.height());
    const double dx = 40 + (300 + 6.5) * (size.width() - 40) / double(traitplot::genomeExtent() + 50);
    const double dy = 10 + (scale.y(0.01) + 6.5) * (size.height() - 35) / double(int(g));
    QCOMPARE(image.pixel(int(dx), int(dy)) & 0xffffff, QColor(Qt::blue).rgb() & 0xffffff);
    QVERIFY(!panel->frame->pixmap().isNull());
}

void TestByID::exportWritesOnePagePdf()
{
    auto panel = makePanel(m_folder);
    showTrait(*panel, QStringLiteral("T1"));
    const QString target = m_dir.filePath(QStringLiteral("export.pdf"));
    QString titleAsked;
    m_dialogs.answerExec([&titleAsked](QDialog *dialog) {
        titleAsked = dialog->windowTitle();
        dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit"))->setText(QStringLiteral("My plot"));
        return int(QDialog::Accepted);
    });
    m_dialogs.answerPath(target);
    panel->printButton->click();
    QCOMPARE(titleAsked, QStringLiteral("Input title "));
    QCOMPARE(m_dialogs.calls().size(), 2);
    const ScriptedDialogs::Call save = m_dialogs.calls().at(1);
    QCOMPARE(save.caption, QStringLiteral("Save As"));
    QCOMPARE(save.dir, quillmap::programFolder() + QStringLiteral("/untitled.pdf"));
    QCOMPARE(save.filter, QStringLiteral("Images (*.pdf);;Images (*.svg);;Images (*.png)"));
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray pdf = file.readAll();
    QVERIFY(pdf.startsWith("%PDF"));
    QCOMPARE(QString::fromLatin1(pdf).count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?!s)"))), 1);

    // A name typed without an extension is written with ".pdf", as the region export does.
    m_dialogs.answerExec([](QDialog *dialog) {
        dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit"))->setText(QStringLiteral("My plot"));
        return int(QDialog::Accepted);
    });
    m_dialogs.answerPath(m_dir.filePath(QStringLiteral("plot")));
    panel->printButton->click();
    QVERIFY(QFile::exists(m_dir.filePath(QStringLiteral("plot.pdf"))));
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("plot"))));

    // The extension chooses the format: an SVG of the screen plot, a PNG of the size asked for.
    const auto typeTitle = [](QDialog *dialog) {
        dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit"))->setText(QStringLiteral("My plot"));
        return int(QDialog::Accepted);
    };
    m_dialogs.answerExec(typeTitle);
    m_dialogs.answerPath(m_dir.filePath(QStringLiteral("plot.svg")));
    panel->printButton->click();
    QSvgRenderer svg(m_dir.filePath(QStringLiteral("plot.svg")));
    QVERIFY(svg.isValid());
    m_dialogs.answerExec(typeTitle);
    m_dialogs.answerPath(m_dir.filePath(QStringLiteral("plot.png")));
    m_dialogs.answerExec([](QDialog *dialog) {
        dialog->findChild<QSpinBox *>(QStringLiteral("figureWidth"))->setValue(1200);
        dialog->findChild<QSpinBox *>(QStringLiteral("figureHeight"))->setValue(600);
        dialog->findChild<QSpinBox *>(QStringLiteral("figureDpi"))->setValue(192);
        return int(QDialog::Accepted);
    });
    panel->printButton->click();
    const QImage png(m_dir.filePath(QStringLiteral("plot.png")));
    QCOMPARE(png.size(), QSize(1200, 600));
    QCOMPARE(qRound(png.dotsPerMeterX() * 0.0254), 192);
    QCOMPARE(m_dialogs.pendingAnswers(), 0);
}

void TestByID::exportSkippedWithoutTitle()
{
    auto panel = makePanel(m_folder);
    m_dialogs.answerExec([](QDialog *) { return int(QDialog::Accepted); }); // empty title
    panel->printButton->click();
    QCOMPARE(m_dialogs.calls().size(), 1);
    m_dialogs.clear();
    m_dialogs.answerExec([](QDialog *dialog) {
        dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit"))->setText(QStringLiteral("x"));
        return int(QDialog::Rejected);
    });
    panel->printButton->click();
    QCOMPARE(m_dialogs.calls().size(), 1);
}

QTEST_MAIN(TestByID)
#include "tst_byid.moc"
