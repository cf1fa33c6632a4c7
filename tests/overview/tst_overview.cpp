#include "browse/studyscan.h"
#include "figures/figureexport.h"
#include "figures/qqplotpainter.h"
#include "overview/bysnptab.h"
#include "overview/locusgeneview.h"
#include "overview/locustab.h"
#include "overview/locusview.h"
#include "overview/phewaspainter.h"
#include "overview/phewasview.h"
#include "overview/toplocitab.h"
#include "overview/traitstab.h"
#include "overview/qqplotview.h"
#include "support/regiondataset.h"
#include "support/scripteddialogs.h"

#include <QComboBox>
#include <QCompleter>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QSvgRenderer>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <QXmlStreamReader>

#include <cmath>

using namespace Qt::StringLiterals;
using namespace quillmap;

namespace {

// Two traits; tA has two hits 375,000 bp apart on chromosome 1 and a weaker one on X.
TestDataset study()
{
    TestDataset d;
    d.statNames = {QStringLiteral("beta"), QStringLiteral("P")};
    d.snps = {{u"rs1"_s, u"1"_s, 1.25, {}},
              {u"rs2"_s, u"1"_s, 1.625, {}},
              {u"rs3"_s, u"1"_s, 2.5, {}},
              {u"rs4"_s, u"2"_s, 0.5, {}},
              {u"rs5"_s, u"X"_s, 0.375, {}}};
    d.results = {{u"tA"_s, u"rs1"_s, {0.5, 1e-9}},   {u"tA"_s, u"rs2"_s, {0.4, 1e-6}},
                 {u"tA"_s, u"rs3"_s, {0.1, 0.5}},    {u"tA"_s, u"rs4"_s, {0.2, 0.02}},
                 {u"tA"_s, u"rs5"_s, {-0.3, 0.001}}, {u"tB"_s, u"rs1"_s, {1, 0.3}},
                 {u"tB"_s, u"rs4"_s, {2, 1e-12}},    {u"tB"_s, u"rs5"_s, {3, 0.9}}};
    // Where each trait lies: tA beside rs1, tB on chromosome 2.
    d.traitInfo = u"trait\tchr\tstart\ntA\t1\t1250100\ntB\t2\t400000\n"_s;
    return d;
}

QStringList modelRows(const QStandardItemModel *model)
{
    QStringList rows;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < model->columnCount(); ++c)
            cells << model->item(r, c)->text();
        rows << cells.join(QLatin1Char(' '));
    }
    return rows;
}

} // namespace

class OverviewTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void qqPlotPixels();
    void figureFormats_data();
    void figureFormats();
    void traitsTab();
    void topLociTab();
    void bySnpTab();
    void phewasPixels();
    void phewasPlot();
    void locusTab();

private:
    QTemporaryDir m_dir;
    std::shared_ptr<const quillmap::Dataset> m_dataset;
};

void OverviewTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString built = buildDataset(m_dir.path(), study(), m_dataset);
    QVERIFY2(built.isEmpty(), qPrintable(built));
}

void OverviewTest::qqPlotPixels()
{
    // Inflated p-values: every point lies above the diagonal.
    std::vector<double> scores;
    scores.reserve(200);
    for (int i = 0; i < 200; ++i)
        scores.push_back(-2.0 * std::log10((i + 0.5) / 200));
    const QqPlotData data = qqPlotData(scores);
    QImage image(400, 400, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        figures::paintQqPlot(painter, image.size(), data, QStringLiteral("tA"));
    }
    const figures::QqGeometry g = figures::qqGeometry(image.size(), data);
    const QPoint top = g.map(data.expected.front(), data.observed.front()).toPoint();
    QCOMPARE(image.pixelColor(top), QColor(Qt::blue));
    // The diagonal halfway, away from the points (which lie at twice the expected value).
    const QPoint diagonal = g.map(g.xMax / 2, g.xMax / 2).toPoint();
    bool red = false;
    for (int dx = -1; dx <= 1; ++dx) {
        for (int dy = -1; dy <= 1; ++dy) {
            const QColor c = image.pixelColor(diagonal + QPoint(dx, dy));
            red = red || (c.red() > 200 && c.blue() < 120);
        }
    }
    QVERIFY(red);
    // Nothing of the plot under the diagonal's far end, where no point lies.
    QCOMPARE(image.pixelColor(g.map(g.xMax * 0.9, g.xMax * 0.2).toPoint()), QColor(Qt::white));
}

void OverviewTest::figureFormats_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("written");
    QTest::newRow("svg") << "qq.svg" << true;
    QTest::newRow("png, upper case") << "qq.PNG" << true;
    QTest::newRow("pdf") << "qq.pdf" << true;
    QTest::newRow("another extension") << "qq.jpg" << false;
    QTest::newRow("folder that does not exist") << "missing/qq.svg" << false;
}

void OverviewTest::figureFormats()
{
    QFETCH(QString, name);
    QFETCH(bool, written);
    std::vector<double> scores{1.0, 2.0, 3.0, 0.5};
    const QqPlotData data = qqPlotData(scores);
    const QString path = m_dir.filePath(name);
    QString error;
    const bool ok = figures::exportFigure(
        path, QSize(600, 500), 150,
        [&](QPainter &painter, QSize size) {
            figures::paintQqPlot(painter, size, data, QStringLiteral("tA"));
        },
        &error);
    QCOMPARE(ok, written);
    QCOMPARE(QFile::exists(path), written);
    if (!written) {
        QVERIFY(error.contains(name));
        return;
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    if (name.endsWith(u".svg")) {
        QXmlStreamReader xml(bytes);
        while (!xml.atEnd())
            xml.readNext();
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QSvgRenderer renderer(path);
        QVERIFY(renderer.isValid());
        QCOMPARE(renderer.viewBox(), QRect(0, 0, 600, 500));
        QVERIFY(bytes.contains("lambda_GC"));
    } else if (name.endsWith(u".PNG")) {
        const QImage image(path);
        QCOMPARE(image.size(), QSize(600, 500));
        QCOMPARE(qRound(image.dotsPerMeterX() * 0.0254), 150);
    } else {
        QVERIFY(bytes.startsWith("%PDF"));
    }
}

void OverviewTest::traitsTab()
{
    TraitsTab tab(m_dataset);
    tab.refresh();
    QCOMPARE(tab.statisticBox->currentText(), QStringLiteral("P"));
    QCOMPARE(modelRows(tab.model), (QStringList{u"tA 5 1e-09 rs1 23.8002"_s, u"tB 3 1e-12 rs4 2.3612"_s}));
    tab.table->sortByColumn(TraitsTab::BestPColumn, Qt::AscendingOrder);
    QCOMPARE(tab.model->item(0, TraitsTab::TraitColumn)->text(), QStringLiteral("tB"));
    tab.table->selectRow(1);
    QVERIFY(tab.qqView->hasPlot());
    QCOMPARE(tab.qqView->trait(), QStringLiteral("tA"));
    QCOMPARE(tab.qqView->data().count, qint64(5));

    QSignalSpy chosen(&tab, &TraitsTab::traitChosen);
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    const QRect cellRect = tab.table->visualRect(tab.model->index(1, TraitsTab::SnpColumn));
    // A view takes a double-click only on the item pressed before it.
    QTest::mouseClick(tab.table->viewport(), Qt::LeftButton, {}, cellRect.center());
    QTest::mouseDClick(tab.table->viewport(), Qt::LeftButton, {}, cellRect.center());
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.at(0).at(0).toString(), QStringLiteral("tA"));
}

void OverviewTest::topLociTab()
{
    TopLociTab tab(m_dataset);
    tab.thresholdEdit->setText(QStringLiteral("0.01"));
    tab.refresh();
    const QStringList rows{u"tA rs1 1 1250000 1e-09 2"_s, u"tA rs5 X 375000 0.001 1"_s,
                           u"tB rs4 2 500000 1e-12 1"_s};
    QCOMPARE(modelRows(tab.model), rows);
    tab.table->sortByColumn(TopLociTab::PColumn, Qt::AscendingOrder);
    QCOMPARE(tab.model->item(0, TopLociTab::SnpColumn)->text(), QStringLiteral("rs4"));

    // A threshold that is not a p-value keeps the list and says why.
    tab.thresholdEdit->setText(QStringLiteral("inf"));
    tab.refresh();
    QVERIFY(tab.status->text().contains(QStringLiteral("threshold")));
    QCOMPARE(tab.model->rowCount(), 3);

    // The export writes the list as sorted, with the listing's header.
    ScriptedDialogs dialogs;
    ScriptedDialogs::Scope scope(dialogs);
    const QString path = m_dir.filePath(QStringLiteral("loci.tsv"));
    dialogs.answerPath(path);
    tab.exportTsv();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(),
             QByteArray("trait\tsnp\tchr\tpos\tp\tn\ntB\trs4\t2\t500000\t1e-12\t1\n"
                        "tA\trs1\t1\t1250000\t1e-09\t2\ntA\trs5\tX\t375000\t0.001\t1\n"));

    QSignalSpy chosen(&tab, &TopLociTab::locusChosen);
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    const QRect cellRect = tab.table->visualRect(tab.model->index(1, TopLociTab::TraitColumn));
    // A view takes a double-click only on the item pressed before it.
    QTest::mouseClick(tab.table->viewport(), Qt::LeftButton, {}, cellRect.center());
    QTest::mouseDClick(tab.table->viewport(), Qt::LeftButton, {}, cellRect.center());
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.at(0).at(0).toString(), QStringLiteral("rs1"));
}

void OverviewTest::bySnpTab()
{
    BySnpTab tab(m_dataset);
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    // The box offers SNP names as they are typed.
    tab.snpBox->setFocus();
    QTest::keyClicks(tab.snpBox, u"rs"_s);
    QCOMPARE(tab.snpBox->completer()->model()->rowCount(), 5);
    tab.showVariant(u"RS1"_s);
    QCOMPARE(
        modelRows(tab.model),
        (QStringList{u"tA  rs1 1250000 9 0.5 1e-09 100 cis"_s, u"tB  rs1 1250000 0.522879 1 0.3  trans"_s}));
    // The plot shows cis only, trans only or both.
    tab.cisTransBox->setCurrentIndex(2);
    QCOMPARE(tab.plot->table().rows.size(), size_t(1));
    QCOMPARE(tab.plot->table().rows[0].trait, u"tB"_s);
    tab.cisWindowBox->setValue(0); // 100 bp is then trans too
    QCOMPARE(tab.plot->table().rows.size(), size_t(2));
    tab.cisTransBox->setCurrentIndex(0);
    QCOMPARE(tab.without->text(), u"0 trait(s) without a row there"_s);
    tab.showVariant(u"chr2:400000"_s);
    QVERIFY2(tab.status->text().contains(u"nearest is rs4"_s), qPrintable(tab.status->text()));
    QCOMPARE(tab.model->item(0, BySnpTab::TraitColumn)->text(), u"tB"_s);
    tab.showVariant(u"rs404"_s);
    QCOMPARE(tab.model->rowCount(), 0);
    QVERIFY(tab.without->text().isEmpty());

    tab.showVariant(u"rs3"_s);
    QCOMPARE(tab.without->text(), u"1 trait(s) without a row there"_s);
    QSignalSpy chosen(&tab, &BySnpTab::traitChosen);
    const QRect cellRect = tab.table->visualRect(tab.model->index(0, BySnpTab::SnpColumn));
    // A view takes a double-click only on the item pressed before it.
    QTest::mouseClick(tab.table->viewport(), Qt::LeftButton, {}, cellRect.center());
    QTest::mouseDClick(tab.table->viewport(), Qt::LeftButton, {}, cellRect.center());
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.at(0).at(0).toString(), u"tA"_s);
    QCOMPARE(chosen.at(0).at(1).toString(), u"rs3"_s);
}

void OverviewTest::phewasPixels()
{
    // At rs5 tA's beta is negative, tB's positive: a down and an up triangle.
    const Result<VariantQuery::Table> table = VariantQuery::traitRows(
        *m_dataset, VariantQuery::resolve(*m_dataset, u"rs5"_s));
    QVERIFY(table.ok());
    const QStringList &names = m_dataset->tables().statisticNames;
    const PhewasGeometry geometry(*table, names, 400, 300);
    QImage image(400, 300, QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    PhewasPainter::paint(painter, geometry, u"rs5"_s);
    painter.end();
    const QColor colour = PhewasPainter::groupColour(geometry.groups().at(0), 0);
    QCOMPARE(image.pixelColor(2, 2), QColor(Qt::white));
    for (const PhewasGeometry::Point &point : geometry.points()) {
        const QString trait = table->rows[size_t(point.row)].trait;
        QCOMPARE(point.direction, trait == u"tA"_s ? -1 : 1);
        QCOMPARE(image.pixelColor(int(point.x), int(point.y)), colour);
        // The wide side of a triangle is filled, the tip's corners are not.
        const int wide = int(point.y) + 3 * point.direction;
        const int tip = int(point.y) - 3 * point.direction;
        QCOMPARE(image.pixelColor(int(point.x) - 2, wide), colour);
        QCOMPARE(image.pixelColor(int(point.x) - 3, tip), QColor(Qt::white));
    }
    // The two dashed lines: 5e-8 above the Bonferroni line over two traits.
    QVERIFY(geometry.yOf(geometry.genomeWideScore()) < geometry.yOf(geometry.bonferroniScore()));
    QCOMPARE(geometry.bonferroniScore(), -std::log10(0.025));
}

void OverviewTest::phewasPlot()
{
    BySnpTab tab(m_dataset);
    tab.resize(700, 700);
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    tab.showVariant(u"rs1"_s);
    PhewasView *view = tab.plot;
    const PhewasGeometry geometry = view->geometryNow();
    QCOMPARE(geometry.points().size(), size_t(2));
    // The tallest point is the trait with the smallest p.
    const auto top = std::min_element(geometry.points().cbegin(), geometry.points().cend(),
                                      [](const auto &a, const auto &b) { return a.y < b.y; });
    const QPointF at(top->x, top->y);
    QCOMPARE(view->toolTipAt(at), u"tA\nP: 1e-09\nbeta: 0.5"_s);
    QVERIFY(view->toolTipAt(at + QPointF(30, 30)).isEmpty());
    QSignalSpy chosen(&tab, &BySnpTab::traitChosen);
    QTest::mouseClick(view, Qt::LeftButton, {}, at.toPoint());
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.at(0).at(0).toString(), u"tA"_s);

    ScriptedDialogs dialogs;
    ScriptedDialogs::Scope scope(dialogs);
    for (const QString &name : {u"p.svg"_s, u"p.png"_s, u"p.pdf"_s}) {
        const QString path = m_dir.filePath(name);
        dialogs.answerPath(path);
        tab.savePlot();
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
        QVERIFY(file.size() > 100);
    }
}

void OverviewTest::locusTab()
{
    ScriptedDialogs dialogs;
    ScriptedDialogs::Scope scope(dialogs);
    LocusTab tab(m_dataset);
    tab.resize(900, 700);
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    // No trait chosen: the one with the smallest p at rs1; the window reads bins 1000 and 1001.
    tab.showPlace(u"RS1"_s);
    LocusView *view = tab.plot;
    QCOMPARE(tab.traitBox->currentText(), u"tA"_s);
    QCOMPARE(tab.window(), (LocusWindow{1, 750000, 1750000}));
    QCOMPARE(view->series().front().count(), 2);

    const auto pixelAt = [&](double bp, double score) {
        const LocusGeometry g = view->geometryNow();
        return view->grab().toImage().pixelColor(int(g.xOf(bp)), int(g.yOf(score)));
    };
    QCOMPARE(pixelAt(1250000, 9), QColor(145, 30, 180)); // the index diamond
    QCOMPARE(pixelAt(1625000, 6), QColor(53, 42, 134));  // no LD reference: one colour

    // A wheel step zooms in about the pointer: rs2 stays under it.
    const double x = view->geometryNow().xOf(1625000);
    const double y = view->geometryNow().yOf(6);
    QWheelEvent wheel(QPointF(x, y), view->mapToGlobal(QPointF(x, y)), {}, QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &wheel);
    QCOMPARE(tab.window().width(), 800000);
    QVERIFY(std::abs(view->geometryNow().xOf(1625000) - x) < 1.0);
    // A drag to the right shows what lies left.
    const qint64 start = tab.window().startBp;
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(400, 100));
    QMouseEvent move(QEvent::MouseMove, QPointF(450, 100), view->mapToGlobal(QPointF(450, 100)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(450, 100));
    const double moved = 50.0 / (view->geometryNow().plotRight() - LocusGeometry::Left) * 800000;
    QVERIFY(std::abs(double(start - tab.window().startBp) - moved) <= 1.0);

    // A click makes rs2 the index; Back and Forward walk the two places.
    const QPoint rs2(int(view->geometryNow().xOf(1625000)), int(view->geometryNow().yOf(6)));
    QTest::mouseClick(view, Qt::LeftButton, {}, rs2);
    QVERIFY2(tab.status->text().contains(u"index SNP rs2"_s), qPrintable(tab.status->text()));
    tab.back();
    QVERIFY(tab.status->text().contains(u"index SNP rs1"_s));
    tab.forward();
    QVERIFY(tab.status->text().contains(u"index SNP rs2"_s));
    QCOMPARE(view->toolTipAt(rs2).split(u'\n').mid(0, 3),
             (QStringList{u"rs2"_s, u"tA"_s, u"Position: 1625000"_s}));

    // r2 from a fileset where rs1 copies rs2; a damaged fileset is refused with a message.
    QCOMPARE(
        writeLdFileset(m_dir.filePath(u"ld"_s), "1 rs1 0 1250000 A G\n1 rs2 0 1625000 A G\n", 4, "\xb8\xb8"),
        QString());
    // One sample, two bytes where one row takes one.
    QCOMPARE(writeLdFileset(m_dir.filePath(u"bad"_s), "1 rs1 0 1250000 A G\n", 1, QByteArray(2, '\0')),
             QString());
    QVERIFY(!tab.setLdReference(m_dir.filePath(u"bad"_s)));
    QVERIFY(tab.setLdReference(m_dir.filePath(u"ld"_s)));
    QVERIFY2(tab.status->text().contains(u"2 of them in the LD reference"_s), qPrintable(tab.status->text()));
    QCOMPARE(pixelAt(1250000, 9), LocusPainter::r2Colour(4));

    for (const QString &name : {u"locus.svg"_s, u"locus.pdf"_s}) {
        dialogs.answerPath(m_dir.filePath(name));
        tab.savePlot();
        QVERIFY(QFileInfo(m_dir.filePath(name)).size() > 100);
    }
}

QTEST_MAIN(OverviewTest)
#include "tst_overview.moc"
