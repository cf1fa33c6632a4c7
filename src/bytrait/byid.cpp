#include "bytrait/byid.h"

#include "dataset/datasetfiles.h"
#include "dataset/dataset.h"
#include "browse/studyscan.h"
#include "browse/traitplotgeometry.h"
#include "bytrait/traitplotpainter.h"
#include "common/ctableview.h"
#include "common/dialogprovider.h"
#include "common/literaltext.h"
#include "common/waitcursor.h"
#include "common/figuresizedialog.h"
#include "common/imagetitledialog.h"
#include "common/significanceedit.h"
#include "dataset/transform.h"
#include "browse/significance.h"
#include "session/sharedstate.h"
#include "dataset/regionsearch.h"
#include "linkout/linkout.h"

#include <QApplication>
#include <QCompleter>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QPainter>
#include <QProgressDialog>
#include <QScrollBar>
#include <QLabel>
#include <QMouseEvent>
#include <QToolTip>
#include <QTextBrowser>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

namespace quillmap {

namespace {

const QString AllEntry = QStringLiteral("All");
const QString TransformAdvice = QStringLiteral("\nPlease reset to no transformation!");
// Contact shown at the end of the help text.
const QString MaintainerEmail = QStringLiteral("quillmap@diravizi.org");

int lineOfSnp(const DatasetTables &tables, int snpIndex)
{
    // A SNP missing from the SNP information file shows the file's first line.
    const int line = tables.snpLineOfIndex(snpIndex);
    return line < 0 ? 0 : line;
}

} // namespace

byID::byID(std::shared_ptr<const Dataset> dataset, QWidget *parent)
    : QWidget(parent),
      traitTableModel(dataset),
      m_dataset(dataset ? dataset : Dataset::unloaded(QString()))
{
    const DatasetTables &tables = m_dataset->tables();

    setupUi(this);
    // Column widths follow the rows on view: a trait can have a million rows, and every cell
    // the sizing looks at is laid out as text (a thousand rows took most of a small display).
    ctableView->horizontalHeader()->setResizeContentsPrecision(0);
    repaintTimer = new QTimer(this);
    connect(repaintTimer, &QTimer::timeout, this, &byID::paintFunSub);
    repaintTimer->start(0);
    // Hovering a point names it; clicking it opens its locus.
    frame->setMouseTracking(true);
    frame->installEventFilter(this);

    highlightComboBox->hide();
    displayButton->hide();
    m_significance = quillmap::SignificanceEdit::addTo(hboxLayout, this);
    transcomboBox->addItems({QStringLiteral("NoTransformation"), QStringLiteral("log(10)"),
                             QStringLiteral("-log(10)"), QStringLiteral("log(2)"), QStringLiteral("-log(2)"),
                             QStringLiteral("abs")});
    highlightComboBox->addItems({QStringLiteral("No HightLight"), QStringLiteral("Top"),
                                 QStringLiteral("Bottom"), QStringLiteral("Top + Bottom")});
    highlightComboBox->setCurrentIndex(0);
    plotbyBox->addItems(tables.statisticNames);
    geneName->setEnabled(tables.hasGroups);
    // The form leaves the editable boxes with an item chosen; the panel starts without.
    geneName->setCurrentIndex(-1);
    ProbeID->setCurrentIndex(-1);
    ProbeIDSelected->setCurrentIndex(-1);

    // A dataset that could not be loaded was reported by whoever loaded it: the panel stays inert.
    if (!m_dataset->isLoaded())
        return;

    ProbeIDSelected->hide();
    traitInfoHeader = tables.traitInfoHeader;
    traitInfoMap = tables.traitInfoMap;

    groupNameList = tables.groupTraitMap.keys();
    {
        const QSignalBlocker blockGroups(geneName);
        const QSignalBlocker blockTraits(ProbeID);
        geneName->addItem(AllEntry);
        geneName->addItems(groupNameList);
        ProbeID->addItem(AllEntry);
        ProbeID->addItems(tables.traitNames);
        ProbeID->setCurrentIndex(0);
    }
    auto *groupCompleter = new QCompleter(groupNameList, this);
    groupCompleter->setCaseSensitivity(Qt::CaseInsensitive);
    geneName->setCompleter(groupCompleter);
    auto *traitCompleter = new QCompleter(tables.traitNames, this);
    traitCompleter->setCaseSensitivity(Qt::CaseInsensitive);
    ProbeID->setCompleter(traitCompleter);
    ctableView->setSelectionMode(QAbstractItemView::MultiSelection);

    makeConnections();
    connect(groupCompleter, qOverload<const QString &>(&QCompleter::activated), this,
            [this](const QString &) { show_SNP(); });
    connect(traitCompleter, qOverload<const QString &>(&QCompleter::activated), this,
            [this](const QString &) { display_result(); });
    setWindowIcon(QIcon(quillmap::picturePath(QStringLiteral("qtlogo.png"))));
    m_ready = true;
}

byID::~byID()
{
    // Closing the window moves the focus out of the editable boxes, which can still emit
    // currentIndexChanged after this part of the object is gone: cut every connection first.
    const QList<QObject *> children = findChildren<QObject *>();
    for (QObject *child : children)
        child->disconnect(this);
    ctableView->setModel(nullptr);
    releaseRows();
}

void byID::makeConnections()
{
    connect(findID, &QPushButton::clicked, this, &byID::show_SNP);
    connect(geneName, &QComboBox::currentIndexChanged, this, &byID::show_SNP);
    connect(displayButton, &QPushButton::clicked, this, &byID::display_result);
    connect(ProbeID, &QComboBox::currentIndexChanged, this, &byID::display_result);
    connect(transcomboBox, &QComboBox::currentIndexChanged, this, &byID::display_result);
    connect(plotbyBox, &QComboBox::currentIndexChanged, this, &byID::display_result);
    connect(highlightComboBox, &QComboBox::currentIndexChanged, this, &byID::display_result);
    connect(ProbeIDSelected, &QComboBox::currentIndexChanged, this, &byID::slot1);
    connect(clearButton, &QPushButton::clicked, this, &byID::clear_ready);
    connect(ctableView->horizontalHeader(), &QHeaderView::sectionClicked, this, &byID::sortByColumn);
    connect(ctableView->verticalHeader(), &QHeaderView::sectionClicked, this, [this](int) { highLight(); });
    connect(printButton, &QPushButton::clicked, this, &byID::printFile);
    connect(LinkButton, &QPushButton::clicked, this, &byID::link);
    connect(helpButton, &QPushButton::clicked, this, &byID::help);
    connect(m_significance, &quillmap::SignificanceEdit::pValueChanged, this, &byID::redrawPlot);
    connect(ctableView->verticalScrollBar(), &QScrollBar::valueChanged, ctableView,
            &QTableView::resizeColumnsToContents);
}

bool byID::repaintPending() const
{
    return repaintTimer->isActive();
}

void byID::releaseRows()
{
    rowStats = {};
    rowRecords = {};
    rowChromosomes = {};
    rowPositions = {};
    rowValues = {};
}

const float *byID::statsOf(int recordIndex) const
{
    const size_t e = size_t(std::max(0, m_dataset->tables().extraStats));
    if (e == 0 || recordIndex < 0 || (size_t(recordIndex) + 1) * e > rowStats.size())
        return nullptr;
    return rowStats.data() + size_t(recordIndex) * e;
}

int byID::pointAt(QPoint framePos)
{
    if (!plotReady || plotImage.isNull() || frame->width() <= 0 || frame->height() <= 0)
        return -1;
    const TraitPlotData shown = plotData();
    if (m_indexedValues != shown.values || m_indexedRows != shown.rowCount
        || m_indexedMode != shown.highlightMode || m_indexedSize != plotImage.size()) {
        std::vector<float> x, y;
        traitplot::pointCentres(plotImage.size(), shown, &x, &y);
        m_points.build(x.data(), y.data(), int(x.size()), 6.0);
        m_indexedValues = shown.values;
        m_indexedRows = shown.rowCount;
        m_indexedMode = shown.highlightMode;
        m_indexedSize = plotImage.size();
    }
    // The picture is stretched to the frame when their sizes differ.
    const double px = framePos.x() * double(plotImage.width()) / frame->width();
    const double py = framePos.y() * double(plotImage.height()) / frame->height();
    return m_points.nearest(px, py);
}

QString byID::pointToolTip(int row) const
{
    if (row < 0 || row >= int(rowRecords.size()) || row >= int(rowValues.size()))
        return {};
    const DatasetTables &tables = m_dataset->tables();
    const int snp = rowRecords[size_t(row)].snpIndex;
    const int line = tables.snpLineOfIndex(snp);
    const auto stored = [&](int stat) {
        const float *extra = statsOf(row);
        return stat <= 0 || !extra ? rowRecords[size_t(row)].firstStat : extra[stat - 1];
    };
    QStringList lines{tables.snpNames.value(snp),
                      tables.snpFields(line).value(0) + QLatin1Char(':')
                          + QString::number(quillmap::positionBp(tables.snpPosition(line))),
                      ProbeIDSelected->currentText(),
                      QString::number(double(rowValues[size_t(row)]), 'g', 6)};
    lines << quillmap::pointStatisticLines(tables.statisticNames, stored);
    return quillmap::literalToolTip(lines.join(QLatin1Char('\n')));
}

bool byID::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == frame && event->type() == QEvent::MouseMove) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const int row = pointAt(mouse->position().toPoint());
        if (row >= 0)
            QToolTip::showText(mouse->globalPosition().toPoint(), pointToolTip(row), frame);
        else
            QToolTip::hideText();
    } else if (watched == frame && event->type() == QEvent::MouseButtonPress) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const int row = mouse->button() == Qt::LeftButton ? pointAt(mouse->position().toPoint()) : -1;
        if (row >= 0)
            emit snpClicked(m_dataset->tables().snpNames.value(rowRecords[size_t(row)].snpIndex));
    }
    return QWidget::eventFilter(watched, event);
}

TraitPlotData byID::plotData() const
{
    TraitPlotData plot;
    plot.rowCount = std::min<int>(rowCount, int(rowValues.size()));
    plot.chromosomes = rowChromosomes.data();
    plot.positions = rowPositions.data();
    plot.values = rowValues.data();
    plot.valueMin = valueMin;
    plot.valueMax = valueMax;
    plot.topThreshold = topThreshold;
    plot.bottomThreshold = bottomThreshold;
    plot.plotReady = plotReady;
    plot.highlightMode = highlightComboBox->currentIndex();
    plot.highlightOn = highlightOn;
    plot.highlightCount = highlightCount;
    plot.highlightChromosomes = highlightChromosomes.data();
    plot.highlightPositions = highlightPositions.data();
    plot.highlightValues = highlightValues.data();
    const quillmap::PlotAxis axis = quillmap::plotAxis(
        m_dataset->tables().statisticNames.value(plotbyBox->currentIndex()), transcomboBox->currentIndex());
    plot.axisTitle = axis.title;
    plot.significanceValue = quillmap::significanceLineValue(axis, m_significance->pValue());
    return plot;
}

void byID::redrawPlot()
{
    // A repaint under way reads the line when it finishes.
    if (!plotReady || !plotShown || repaintTimer->isActive())
        return;
    paintFun();
    if (highlightOn)
        highLight();
}

void byID::showInFrame(const QImage &image)
{
    frame->clear();
    if (image.isNull())
        return;
    if (image.size() == frame->size())
        frame->setPixmap(QPixmap::fromImage(image));
    else
        frame->setPixmap(
            QPixmap::fromImage(image.scaled(frame->size(), Qt::IgnoreAspectRatio, Qt::FastTransformation)));
}

float byID::plottedValue(int recordIndex) const
{
    const int stat = plotbyBox->currentIndex();
    const auto statOf = [&](int s) {
        const float *extra = statsOf(recordIndex);
        return s <= 0 || !extra ? rowRecords[size_t(recordIndex)].firstStat : extra[s - 1];
    };
    const int transform = transcomboBox->currentIndex();
    const int substitute = negLog10Substitute(m_dataset->tables().statisticNames, stat, transform);
    const float stood = substitute >= 0 ? statOf(substitute) : 0.0f;
    return transformWithSubstitute(statOf(stat), transform, substitute >= 0 ? &stood : nullptr, nullptr);
}

void byID::show_SNP()
{
    groupTraitsArmed = false;
    ProbeIDSelected->clear();
    groupTraitList.clear();
    const QString group = geneName->currentText();
    if (group == AllEntry) {
        ProbeID->show();
        ProbeIDSelected->hide();
        return;
    }
    const DatasetTables &tables = m_dataset->tables();
    const auto it = tables.groupTraitMap.constFind(group);
    if (it == tables.groupTraitMap.cend()) {
        dialogs::information(this, QStringLiteral("The gene is not in the list!"));
        return;
    }
    for (const QString &trait : it.value()) {
        ProbeIDSelected->addItem(trait);
        groupTraitList.append(trait);
    }
    ProbeID->hide();
    ProbeIDSelected->show();
    ProbeIDSelected->setCurrentIndex(0);
    display_result();
}

void byID::slot1()
{
    if (groupTraitsArmed)
        display_result();
}

void byID::display_result()
{
    const DatasetTables &tables = m_dataset->tables();
    // A group file often lists traits that have no results (every probe of a platform): say so
    // and leave the trait shown before on display.
    const QString group = geneName->currentText();
    if (group != AllEntry && ProbeID->isHidden() && tables.groupTraitMap.contains(group)) {
        const QString name = groupTraitList.value(ProbeIDSelected->currentIndex());
        if (!name.isEmpty() && !tables.traitRecordCounts.contains(name)) {
            groupTraitsArmed = true;
            dialogs::information(this,
                                 QStringLiteral("There are no results for ") + name + QStringLiteral("!"));
            return;
        }
    }
    plotReady = true;
    repaintTimer->stop();
    frame->clear();
    ctableView->setModel(nullptr);
    // The model must not keep pointing at rows that are about to be replaced.
    traitTableModel.setRows(0, 0, nullptr, nullptr);
    groupTraitsArmed = true;
    probeInfo->clear();

    const bool groupAll = geneName->currentText() == AllEntry;
    if (groupAll && ProbeID->currentText() == AllEntry) {
        dialogs::information(this, QStringLiteral("Please select group name and trait name!"));
        plotReady = false;
        return;
    }
    if (!groupAll && !ProbeID->isHidden())
        return;

    QString name;
    if (!groupAll) {
        if (!tables.groupTraitMap.contains(geneName->currentText()))
            return;
        name = groupTraitList.value(ProbeIDSelected->currentIndex());
    } else {
        const QString text = ProbeID->currentText();
        if (tables.traitNames.contains(text)) {
            groupTraitsArmed = false;
            ProbeIDSelected->clear();
            ProbeIDSelected->addItem(text);
            const int index = ProbeID->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive);
            name = tables.traitNames.value(index - 1, text);
        }
    }

    highlightOn = false;
    quillmap::WaitCursor wait;
    // The new rows are read into the vectors of the trait shown before: a trait of millions of
    // rows then needs neither room for two traits nor fresh pages.
    quillmap::ResultRows read;
    read.rows.swap(rowRecords);
    read.extraStats.swap(rowStats);
    read.chromosomes.swap(rowChromosomes);
    read.positions.swap(rowPositions);
    const std::optional<quillmap::Error> failed = quillmap::readTraitInto(*m_dataset, name, read);
    if (failed) {
        plotReady = false;
        wait.restore();
        if (failed->kind == quillmap::ErrorKind::NoRecords) {
            // Nothing was read: the rows stay as they were.
            read.rows.swap(rowRecords);
            read.extraStats.swap(rowStats);
            read.chromosomes.swap(rowChromosomes);
            read.positions.swap(rowPositions);
            update();
            return;
        }
        releaseRows();
        rowCount = 0;
        dialogs::information(this, failed->message);
        return;
    }

    traitplot::TraitSeries series = traitplot::traitSeries(
        read, tables, plotbyBox->currentIndex(), transcomboBox->currentIndex(), std::move(rowValues));
    rowCount = read.count();
    rowRecords = std::move(read.rows);
    rowStats = std::move(read.extraStats);
    rowChromosomes = std::move(read.chromosomes);
    rowPositions = std::move(read.positions);
    rowValues = std::move(series.values);
    if (series.missingValue) {
        plotReady = false;
        probeInfo->clear();
        probeInfo->setTextBackgroundColor(Qt::red);
        probeInfo->setTextColor(Qt::yellow);
        probeInfo->setPlainText(logFailureText(series.missingFrom) + TransformAdvice);
        frame->clear();
        return;
    }
    valueMax = series.valueMax;
    valueMin = series.valueMin;
    topThreshold = series.thresholds.top;
    bottomThreshold = series.thresholds.bottom;

    displayView();

    const auto info = traitInfoMap.constFind(name);
    probeInfo->setTextBackgroundColor(Qt::white);
    probeInfo->setTextColor(Qt::blue);
    if (info == traitInfoMap.cend()) {
        probeInfo->setHtml(QStringLiteral("<h2>No information available!</h2>"));
    } else {
        // Header and fields come from the user's trait file: never let them become markup.
        QString html = QStringLiteral("<FONT COLOR=blue><h2><r>Trait Information</r><r></r></h2></FONT>"
                                      "<FONT COLOR=blue><table border=\"1\" cellpadding=\"3\" "
                                      "cellspacing=\"0\">");
        html += QStringLiteral("<tr><td>") + traitInfoHeader.value(0).toHtmlEscaped()
            + QStringLiteral("</td><td>") + ProbeIDSelected->currentText().toHtmlEscaped()
            + QStringLiteral("</td></tr>");
        for (int k = 1; k < traitInfoHeader.size(); ++k) {
            html += QStringLiteral("<tr><td>") + traitInfoHeader.at(k).toHtmlEscaped()
                + QStringLiteral("</td><td>") + info.value().value(k - 1).toHtmlEscaped()
                + QStringLiteral("</td></tr>");
        }
        html += QStringLiteral("</table>");
        probeInfo->setHtml(html);
    }
    if (series.substituted > 0)
        probeInfo->append(substituteNote(tables.statisticNames, series.substitute, series.substituted));

    plotReady = true;
    update();
    wait.restore();
    paintFun();
    plotShown = true;
}

void byID::displayView()
{
    fillResultTable(ctableView, &traitTableModel, rowCount, m_dataset->tables().tableColumnCount,
                    rowRecords.data(), RowStats(rowStats.data(), m_dataset->tables().extraStats), this,
                    [this] { highLight(); });
}

void byID::sortByColumn(int column)
{
    const int n = traitTableModel.rowCount();
    if (n <= 0 || !traitTableModel.records())
        return;
    ctableView->setModel(nullptr);
    ctableView->clearSelection();
    frame->clear();
    showInFrame(plotImage);

    traitTableModel.sort(column, ctableView->horizontalHeader()->sortIndicatorOrder());
    reattachResultTable(ctableView, &traitTableModel, this, [this] { highLight(); });
}

bool byID::selectSnp(const QString &snp)
{
    const int snpIndex = m_dataset->tables().snpIndexOf(snp);
    const int *order = traitTableModel.rowOrder();
    QItemSelectionModel *selection = ctableView->selectionModel();
    if (snpIndex < 0 || ctableView->model() != &traitTableModel || !order || !selection)
        return false;
    for (int r = 0; r < traitTableModel.rowCount(); ++r) {
        if (rowRecords[size_t(order[r])].snpIndex != snpIndex)
            continue;
        const QModelIndex at = traitTableModel.index(r, 0);
        highlightOn = true; // a repaint under way circles it when it ends
        selection->select(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        selection->setCurrentIndex(at, QItemSelectionModel::NoUpdate);
        ctableView->scrollTo(at, QAbstractItemView::PositionAtCenter);
        return true;
    }
    return false;
}

void byID::highLight(const QItemSelection &, const QItemSelection &)
{
    highLight();
}

void byID::highLight()
{
    if (repaintTimer->isActive()) {
        ctableView->setSelectionMode(QAbstractItemView::NoSelection);
        return;
    }
    const DatasetTables &tables = m_dataset->tables();
    QModelIndexList selected;
    if (ctableView->model() && ctableView->selectionModel())
        selected = ctableView->selectionModel()->selectedRows(0);
    highlightOn = true;
    highlightImage = plotImage.copy();
    highlightChromosomes.clear();
    highlightPositions.clear();
    highlightValues.clear();
    highlightCount = 0;
    if (selected.isEmpty()) {
        highlightOn = false;
        showInFrame(plotImage);
        return;
    }
    const int *order = traitTableModel.rowOrder();
    for (const QModelIndex &index : std::as_const(selected)) {
        const int recordIndex = order[index.row()];
        const RowRecord &rec = rowRecords[size_t(recordIndex)];
        const int line = lineOfSnp(tables, rec.snpIndex);
        const int chromosome = tables.snpChromosome(line);
        highlightChromosomes.push_back(quint8(chromosome >= 0 && chromosome <= 255 ? chromosome : 0));
        highlightPositions.push_back(float(tables.snpFields(line).value(1).toDouble()));
        highlightValues.push_back(plottedValue(recordIndex));
    }
    highlightCount = int(highlightValues.size());
    if (!highlightImage.isNull()) {
        QPainter painter(&highlightImage);
        traitplot::drawSelectionCircles(painter, highlightImage.rect(), plotData());
    }
    showInFrame(highlightImage);
}

void byID::paintFun()
{
    QProgressDialog progress(QStringLiteral("Making plots!"), QStringLiteral("Cancel"), 0, rowCount, this);
    progress.setWindowModality(Qt::WindowModal);
    QImage image(frame->size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    const bool completed = traitplot::renderTraitPlot(&image, plotData(), [&progress](int row) {
        progress.setValue(row);
        return !progress.wasCanceled();
    });
    progress.setValue(rowCount);
    if (!completed)
        return;
    plotImage = image;
    showInFrame(plotImage);
}

void byID::paintFunSub()
{
    const QRect area = workImage.rect();
    if (!workImage.isNull()) {
        // Text is antialiased: drawn on every slice it would thicken and blur. The frame goes
        // under the points and the labels over them, each once, as in the whole plot.
        QPainter painter(&workImage);
        if (repaintIndex == 0)
            traitplot::drawFrame(painter, area);
        const TraitPlotData plot = plotData();
        if (plotReady) {
            const int end = std::min(repaintIndex + 1000, plot.rowCount);
            traitplot::drawPoints(painter, area, plot, repaintIndex, end);
            repaintIndex = end;
        }
        // Without plottable rows there is nothing left to draw: finish now rather than tick.
        if (!plotReady || repaintIndex >= plot.rowCount)
            repaintIndex = rowCount;
        if (repaintIndex >= rowCount) {
            traitplot::drawSignificance(painter, area, plot);
            traitplot::drawValueLabels(painter, area, plot);
            traitplot::drawChromosomeStrip(painter, area);
        }
    } else {
        repaintIndex = rowCount;
    }
    if (repaintIndex < rowCount)
        return;
    repaintTimer->stop();
    plotImage = workImage;
    if (!highlightOn)
        showInFrame(workImage);
    else
        highLight();
    ctableView->setSelectionMode(QAbstractItemView::MultiSelection);
}

void byID::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (!plotShown)
        return;
    showInFrame(highlightOn ? highlightImage : plotImage);
    repaintIndex = 0;
    workImage = QImage(frame->size(), QImage::Format_RGB32);
    workImage.fill(Qt::white);
    repaintTimer->start(0);
}

void byID::paintEvent(QPaintEvent *)
{
    // The plot is the frame's pixmap; the panel itself draws nothing.
}

void byID::clear_ready()
{
    plotShown = false;
    groupTraitsArmed = false;
    frame->clear();
    ctableView->setModel(nullptr);
    probeInfo->clear();
    plotReady = false;
    update();
    ProbeIDSelected->setGeometry(ProbeID->geometry());
    ProbeIDSelected->clear();
    ProbeIDSelected->hide();
    ProbeID->show();
    ProbeID->setCurrentIndex(0);
    geneName->setCurrentIndex(0);
    valueMax = 0;
}

void byID::link()
{
    linkout::openLink(ProbeIDSelected->currentText());
}

void byID::changeLinkText()
{
    const QStringList &names = quillmap::databaseNames();
    const int chosen = quillmap::chosenDatabase();
    if (chosen >= 0 && chosen < names.size())
        LinkButton->setText(names.at(chosen));
}

void byID::help()
{
    auto *browser = new QTextBrowser;
    browser->setAttribute(Qt::WA_DeleteOnClose);
    browser->setWindowIcon(QIcon(quillmap::picturePath(QStringLiteral("qtlogo.png"))));
    browser->setGeometry(400, 300, 600, 400);
    browser->setWindowTitle(QStringLiteral("Help"));
    browser->setHtml(
        QStringLiteral("<font color=blue><h1> About Quillmap 0.0.2 Help Document</h1>")
        + QStringLiteral(
            "<p>1. To select the group of interest, type in or choose the group name from group combo box.</p>")
        + QStringLiteral(
            "<p>2. To find the corresponding traits, click 'Find ID' button, then the traits will appear in next combo box.</p>")
        + QStringLiteral(
            "<p>3. To display the SNPs associated with the current trait in the box, click 'display' button. </p>")
        + QStringLiteral("<p>4. To sort a specific column in the table, click the horizontal header.</p>")
        + QStringLiteral(
            "<p>5. To highlight the SNPs of interest in the graph, click the row or the corresponding vertical header. Use 'Ctrl' or 'Shift' key to select multiple SNPs.</p>")
        + QStringLiteral("<p>6. To plot different statistics, choose from 'plot' box </p>")
        + QStringLiteral("<p>7. To save the current graph, click 'SaveImage' button.</p>")
        + QStringLiteral("<p>8. To reset the combo box, click 'Clear' button.</p>")
        + QStringLiteral("<p></p><h3>More questions?<br>Email: ") + MaintainerEmail.toHtmlEscaped()
        + QStringLiteral("</h3>"));
    browser->show();
}

void byID::printFile()
{
    QString title;
    {
        ImageTitleDialog dialog(this);
        title = dialogs::acceptedText(&dialog, dialog.lineEdit);
    }
    if (title.isEmpty())
        return;
    const QString fileName = quillmap::files::pdfExportPath(DialogProvider::instance().saveFileName(
        this, QStringLiteral("Save As"), quillmap::programFolder() + QStringLiteral("/untitled.pdf"),
        quillmap::figureSaveFilter()));
    if (fileName.isEmpty())
        return;
    if (quillmap::isFigurePath(fileName)) {
        const TraitPlotData shown = plotData();
        quillmap::saveFigure(this, fileName, frame->size(), [&](QPainter &painter, QSize size) {
            traitplot::paintTraitFigure(painter, size, shown, title);
        });
        return;
    }
    const QString caption = QStringLiteral("Group: ") + geneName->currentText()
        + QStringLiteral("                  Trait: ") + ProbeIDSelected->currentText();
    if (!traitplot::writeTraitExportPdf(plotData(), title, caption, fileName))
        dialogs::information(this, QStringLiteral("The file %1 could not be written!").arg(fileName));
}

} // namespace quillmap
