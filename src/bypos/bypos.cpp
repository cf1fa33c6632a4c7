#include "bypos/bypos.h"

#include "dataset/datasetfiles.h"
#include "dataset/regionsearch.h"
#include "dataset/dataset.h"
#include "common/ctableview.h"
#include "common/dialogprovider.h"
#include "common/literaltext.h"
#include "common/waitcursor.h"
#include "common/findsnpdialog.h"
#include "common/figuresizedialog.h"
#include "common/imagetitledialog.h"
#include "common/significanceedit.h"
#include "browse/significance.h"
#include "browse/variantquery.h"
#include "browse/studyscan.h"
#include "dataset/transform.h"
#include "session/sharedstate.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTextBrowser>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <optional>
#include <numeric>

namespace quillmap {

using namespace quillmap::bypos;

namespace {

const QStringList DefaultLabelColours = {
    QStringLiteral("red"),       QStringLiteral("red"),       QStringLiteral("red"),
    QStringLiteral("blue"),      QStringLiteral("blue"),      QStringLiteral("blue"),
    QStringLiteral("black"),     QStringLiteral("black"),     QStringLiteral("black"),
    QStringLiteral("darkGreen"), QStringLiteral("darkGreen"), QStringLiteral("darkGreen")};

// Regions are typed by the user; beyond this no chromosome has records and bins stay in range.
constexpr int RegionLimit = 1000000;
constexpr int LastRegionEntry = 300;

} // namespace

byPos::byPos(std::shared_ptr<const Dataset> dataset, QWidget *parent)
    : QWidget(parent),
      regionTableModel(dataset),
      m_dataset(dataset ? dataset : Dataset::unloaded(QString()))
{
    setupUi(this);
    ctableView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Column widths follow the rows on view: a dense region has thousands of rows, and every
    // cell the sizing looks at costs a SNP lookup in the model.
    ctableView->horizontalHeader()->setResizeContentsPrecision(0);

    const DatasetTables &tables = m_dataset->tables();
    transcomboBox->addItems({QStringLiteral("NoTransformation"), QStringLiteral("log(10)"),
                             QStringLiteral("-log(10)"), QStringLiteral("log(2)"), QStringLiteral("-log(2)"),
                             QStringLiteral("abs")});
    plotbyBox->addItems(tables.statisticNames);
    chrName->addItems(chromosomeNames());
    for (int region = 0; region <= LastRegionEntry; ++region)
        regionCombobox->addItem(QString::number(region));
    LabelComboBox->addItem(QStringLiteral("Label"));
    for (int rank = 1; rank <= 9; ++rank)
        LabelComboBox->addItem(QString::number(rank));
    colourChoices = QStringList{QStringLiteral("Color"),  QStringLiteral("black"), QStringLiteral("red"),
                                QStringLiteral("green"),  QStringLiteral("blue"),  QStringLiteral("cyan"),
                                QStringLiteral("magenta")};
    ColorComboBox->addItems(colourChoices);
    labelColours = DefaultLabelColours;
    m_significance = quillmap::SignificanceEdit::addTo(hboxLayout, this);
    // Plot and gene track share a splitter in the form's place, and the plot may grow past the
    // form's 400 pixels: a tall window gives a tall plot.
    auto *plotSplitter = new QSplitter(Qt::Vertical, this);
    plotSplitter->setObjectName(QStringLiteral("plotSplitter"));
    plotSplitter->setChildrenCollapsible(false);
    const int plotAt = verticalLayout->indexOf(frame);
    verticalLayout->removeWidget(frame);
    verticalLayout->removeWidget(scrollArea);
    plotSplitter->addWidget(frame);
    plotSplitter->addWidget(scrollArea);
    plotSplitter->setStretchFactor(0, 1);
    frame->setMaximumHeight(QWIDGETSIZE_MAX);
    verticalLayout->insertWidget(plotAt, plotSplitter, 1);
    verticalLayout->setStretch(verticalLayout->indexOf(horizontalLayout), 1);
    // Hovering a rank label names its point.
    frame->installEventFilter(this);

    connect(linkButton, &QPushButton::clicked, this, &byPos::link);
    connect(goleftButton, &QPushButton::clicked, this, &byPos::goLeft);
    connect(gorightButton, &QPushButton::clicked, this, &byPos::goRight);
    connect(ctableView->verticalHeader(), &QHeaderView::sectionClicked, this, qOverload<>(&byPos::highLight));
    connect(ctableView, &QAbstractItemView::doubleClicked, this,
            qOverload<const QModelIndex &>(&byPos::highLight));
    connect(printButton, &QPushButton::clicked, this, &byPos::print);
    connect(findSNPButton, &QPushButton::clicked, this, &byPos::findSNP);
    connect(helpButton, &QPushButton::clicked, this, &byPos::help);
    // The box's activated signal also fires when an edit ends with a changed text, focus loss
    // included, and never for the text already chosen: a choice from the list searches here,
    // Return in eventFilter.
    connect(regionCombobox, &QComboBox::activated, this, [this] {
        if (!m_regionEditEnding)
            search();
    });
    regionCombobox->installEventFilter(this);
    connect(chrName, &QComboBox::currentIndexChanged, this, &byPos::chrNameSlot);
    connect(ctableView->horizontalHeader(), &QHeaderView::sectionClicked, this, &byPos::sortByColumn);
    connect(plotbyBox, &QComboBox::currentIndexChanged, this, &byPos::search);
    connect(transcomboBox, &QComboBox::currentIndexChanged, this, &byPos::search);
    connect(ColorComboBox, &QComboBox::currentIndexChanged, this, &byPos::colorChange);
    connect(LabelComboBox, &QComboBox::currentIndexChanged, this, &byPos::colorChange);
    connect(resetButton, &QPushButton::clicked, this, &byPos::reset);
    connect(m_significance, &quillmap::SignificanceEdit::pValueChanged, this, &byPos::significanceChanged);
}

byPos::~byPos()
{
    regionCombobox->removeEventFilter(this);
    frame->removeEventFilter(this);
    // The line's box ends its edit when it loses the focus, which can happen while the children
    // are deleted, after this part of the object is gone.
    m_significance->disconnect(this);
    // The view must not outlive the rows it shows.
    ctableView->setModel(nullptr);
}

int byPos::currentRegion() const
{
    return std::clamp(regionCombobox->currentText().toInt(nullptr, 10), -RegionLimit, RegionLimit);
}

int byPos::currentStatistic() const
{
    return plotbyBox->currentIndex();
}

int byPos::currentTransform() const
{
    return transcomboBox->currentIndex();
}

float byPos::rowValue(int record, int statistic, int transform) const
{
    const int extra = m_dataset->tables().extraStats;
    const auto statOf = [&](int s) {
        if (s > 0 && s <= extra && rowStats[size_t(record)])
            return rowStats[size_t(record)][s - 1];
        return rowRecords[size_t(record)].firstStat;
    };
    const int substitute = negLog10Substitute(m_dataset->tables().statisticNames, statistic, transform);
    const float stood = substitute >= 0 ? statOf(substitute) : 0.0f;
    return transformWithSubstitute(statOf(statistic), transform, substitute >= 0 ? &stood : nullptr, nullptr);
}

void byPos::detachTable()
{
    ctableView->setModel(nullptr);
}

void byPos::clearHighlight()
{
    highlightOn = 0;
    highlightCount = 0;
}

void byPos::search()
{
    reset();
    m_pointsValid = false;
    const DatasetTables &tables = m_dataset->tables();
    const QString chromosome = chrName->currentText();
    const int region = currentRegion();

    const int end = chromosomeEnd(chromosome, tables.build);
    if (end >= 0 && region >= end && !endWarningShown) {
        legendBox->clear();
        dialogs::information(this, chromosomeEndMessage(chromosome, tables.build));
        endWarningShown = 1;
        detachTable();
        return;
    }

    quillmap::WaitCursor wait;
    quillmap::Result<RegionRows> read = readRegion(*m_dataset, regionBin(chromosome, region));
    m_genesValid = false;
    if (!read && read.kind() == quillmap::ErrorKind::NoRecords) {
        traitPositions.clear();
        traitValues.clear();
        traitMaxima.clear();
        traitOrder.clear();
        traitCount = 0;
        valueMax = -100.0;
        valueMin = 100.0;
        wait.restore();
        legendBox->clear();
        dialogs::information(this, read.message());
        update();
        detachTable();
        clearHighlight();
        return;
    }
    if (!read) {
        wait.restore();
        dialogs::information(this, read.message());
        return;
    }

    const int substitute = negLog10Substitute(tables.statisticNames, currentStatistic(), currentTransform());
    TraitRanking ranking = rankTraits(*read, tables, currentStatistic(), currentTransform(), substitute);
    const QString legend = ranking.missingValue ? QString() : legendHtml(ranking, tables);
    m_legend = ranking.missingValue ? std::vector<LegendEntry>{} : legendEntries(ranking, tables);

    // The view keeps pointers into the old rows until displayView attaches the new ones.
    detachTable();
    clearHighlight();
    rowRecords = std::move(read->rows);
    m_statStorage = std::move(read->extraStats);
    rowCount = int(rowRecords.size());
    const int extra = read->extraCount;
    rowStats.assign(size_t(rowCount), nullptr);
    if (extra > 0) {
        for (int k = 0; k < rowCount; ++k)
            rowStats[size_t(k)] = m_statStorage.data() + size_t(k) * size_t(extra);
    }
    highlightPositions.assign(size_t(rowCount), 0.0f);
    highlightValues.assign(size_t(rowCount), 0.0f);
    displayView();

    if (ranking.missingValue) {
        traitPositions.clear();
        traitValues.clear();
        traitMaxima.clear();
        traitOrder.clear();
        traitCount = 0;
        wait.restore();
        // Runs a complete search without a transform before this one ends.
        transcomboBox->setCurrentIndex(0);
        plotReady = 0;
        legendBox->setText(logFailureText(ranking.missingFrom));
        update();
        return;
    }

    traitPositions = std::move(ranking.positions);
    traitValues = std::move(ranking.values);
    m_traitRecords = std::move(ranking.records);
    traitMaxima = std::move(ranking.maxima);
    traitOrder = std::move(ranking.order);
    traitCount = int(traitOrder.size());
    valueMax = ranking.valueMax;
    valueMin = ranking.valueMin;
    plotReady = 1;
    update();

    legendBox->clear();
    legendBox->setHtml(legend);
    if (ranking.substituted > 0)
        legendBox->append(substituteNote(tables.statisticNames, substitute, ranking.substituted));
}

void byPos::displayView()
{
    fillResultTable(ctableView, &regionTableModel, rowCount, m_dataset->tables().tableColumnCount,
                    rowRecords.data(), rowStats.data(), this, [this] { highLight(); });
}

void byPos::sortByColumn(int column)
{
    ctableView->clearSelection();
    detachTable();
    if (rowCount > 0 && regionTableModel.rowCount() == rowCount)
        regionTableModel.sort(column, ctableView->horizontalHeader()->sortIndicatorOrder());
    reattachResultTable(ctableView, &regionTableModel, this, [this] { highLight(); });
}

void byPos::highLight()
{
    QItemSelectionModel *selection = ctableView->selectionModel();
    const QModelIndexList rows = ctableView->model() == &regionTableModel && selection
        ? selection->selectedRows(0)
        : QModelIndexList();
    const int *order = regionTableModel.rowOrder();
    if (rows.isEmpty() || !order) {
        highlightOn = 0;
    } else {
        const DatasetTables &tables = m_dataset->tables();
        const int statistic = currentStatistic();
        const int transform = currentTransform();
        highlightCount = 0;
        for (const QModelIndex &index : rows) {
            if (index.row() < 0 || index.row() >= rowCount
                || highlightCount >= int(highlightPositions.size()))
                continue;
            const int record = order[index.row()];
            const RowRecord &row = rowRecords[size_t(record)];
            const QStringList fields = tables.snpFields(tables.snpLineOfIndex(row.snpIndex));
            highlightPositions[size_t(highlightCount)] = fields.value(1).toFloat();
            highlightValues[size_t(highlightCount)] = rowValue(record, statistic, transform);
            ++highlightCount;
        }
        highlightOn = 1;
    }
    update();
}

void byPos::highLight(const QModelIndex &index)
{
    Q_UNUSED(index);
    highLight();
}

void byPos::stepRegion(int delta)
{
    const int target = currentRegion() + delta;
    // The region list holds 0 to 300; there is nothing to step to beyond it.
    if (target < 0 || target > LastRegionEntry)
        return;
    snpMarkOn = 0;
    regionCombobox->setCurrentIndex(target);
    search();
}

void byPos::goLeft()
{
    stepRegion(-1);
}

void byPos::goRight()
{
    stepRegion(1);
}

void byPos::chrNameSlot()
{
    snpMarkOn = 0;
    search();
}

void byPos::findSNP()
{
    snpMarkOn = 0;
    FindSNPDialog dialog(this);
    const QString typed = dialogs::acceptedText(&dialog, dialog.lineEdit);
    if (typed.isEmpty())
        return;
    // A name as the dataset spells it, else in lower case, so rs names are found in any case;
    // each with and without "chr", as tools differ in writing 19:45417984:T:C.
    QStringList names{typed, typed.toLower()};
    for (qsizetype k = 0, n = names.size(); k < n; ++k) {
        const QString &name = names[k];
        names.append(name.startsWith(QLatin1String("chr"), Qt::CaseInsensitive)
                         ? name.mid(3)
                         : QStringLiteral("chr") + name);
    }
    for (const QString &name : std::as_const(names)) {
        if (m_dataset->tables().snpIndexOf(name) >= 0) {
            showSnp(name);
            return;
        }
    }
    // A SNP name wins over a gene of the same name.
    if (showGene(typed))
        return;
    showSnp(typed);
}

bool byPos::showGene(const QString &name)
{
    const VariantQuery::Target gene = VariantQuery::geneTarget(*m_dataset, name);
    if (gene.kind != VariantQuery::Kind::Gene || gene.chromosome < 1 || gene.chromosome > 23)
        return false;
    snpMarkOn = 0;
    {
        const QSignalBlocker quietChromosome(chrName);
        const QSignalBlocker quietRegion(regionCombobox);
        chrName->setCurrentIndex(gene.chromosome - 1);
        const int megabase = int(std::min<qint64>(gene.startBp / 1000000, RegionLimit));
        if (megabase <= LastRegionEntry)
            regionCombobox->setCurrentIndex(megabase);
        else
            regionCombobox->setEditText(QString::number(megabase));
    }
    search();
    return true;
}

bool byPos::showSnp(const QString &name, bool direct)
{
    snpMarkOn = 0;
    const DatasetTables &tables = m_dataset->tables();
    quillmap::WaitCursor wait;
    snpMarkName = name;
    const int index = tables.snpIndexOf(name);
    const int line = index >= 0 ? tables.snpLineOfIndex(index) : -1;
    const QStringList fields = tables.snpFields(line);
    wait.restore();

    int chromosomeEntry = -1;
    if (fields.size() >= 2) {
        const int number = tables.snpChromosome(line);
        chromosomeEntry = number >= 1 && number <= 23 ? number - 1 : -1;
    }
    if (chromosomeEntry < 0) {
        dialogs::information(this, QStringLiteral("SNP ") + name + QStringLiteral(" is not found"));
        return false;
    }

    // A new chromosome searches the old region on it first (chrNameSlot), as Find SNP always
    // did; a jump from another tab goes straight to the SNP's region.
    std::optional<QSignalBlocker> quietChromosome;
    std::optional<QSignalBlocker> quietRegion;
    if (direct) {
        quietChromosome.emplace(chrName);
        quietRegion.emplace(regionCombobox);
    }
    chrName->setCurrentIndex(chromosomeEntry);
    const double position = fields[1].toDouble();
    const double megabase = std::floor(position);
    if (megabase >= 0 && megabase <= LastRegionEntry)
        regionCombobox->setCurrentIndex(int(megabase));
    else
        regionCombobox->setEditText(
            QString::number(std::clamp(megabase, -double(RegionLimit), double(RegionLimit)), 'f', 0));
    snpMarkOn = 1;
    snpMarkPosition = position;
    search();
    scrollToSnp(index);
    return true;
}

void byPos::scrollToSnp(int snpIndex)
{
    const int *order = regionTableModel.rowOrder();
    if (ctableView->model() != &regionTableModel || !order)
        return;
    for (int r = 0; r < rowCount; ++r) {
        if (rowRecords[size_t(order[r])].snpIndex != snpIndex)
            continue;
        const QModelIndex at = regionTableModel.index(r, 0);
        // Current without being selected: a selection would circle the row's point.
        ctableView->selectionModel()->setCurrentIndex(at, QItemSelectionModel::NoUpdate);
        ctableView->scrollTo(at, QAbstractItemView::PositionAtCenter);
        return;
    }
}

void byPos::link()
{
    QDesktopServices::openUrl(genomeBrowserUrl(chrName->currentText(), currentRegion(), m_dataset->build()));
}

void byPos::help()
{
    auto *browser = new QTextBrowser;
    browser->setAttribute(Qt::WA_DeleteOnClose);
    browser->setGeometry(400, 300, 600, 400);
    browser->setWindowTitle(QStringLiteral("Help"));
    browser->setWindowIcon(QIcon(quillmap::picturePath(QStringLiteral("qtlogo.png"))));
    browser->setHtml(helpHtml());
    browser->show();
}

void byPos::reset()
{
    update();
    for (int k = 0; k < 9; ++k)
        labelColours[k] = DefaultLabelColours[k];
    LabelComboBox->setCurrentIndex(0);
    ColorComboBox->setCurrentIndex(0);
    update();
}

void byPos::colorChange()
{
    const int rank = LabelComboBox->currentIndex();
    const int colour = ColorComboBox->currentIndex();
    if (rank <= 0 || colour <= 0)
        return;
    labelColours[rank - 1] = colourChoices.value(colour);
    update();
}

void byPos::print()
{
    ImageTitleDialog titleDialog(this);
    const QString title = dialogs::acceptedText(&titleDialog, titleDialog.lineEdit);
    if (title.isEmpty())
        return;
    QString path = DialogProvider::instance().saveFileName(
        this, QStringLiteral("Save As"), QDir::currentPath() + QStringLiteral("/untitled.pdf"),
        quillmap::figureSaveFilter());
    if (path.isEmpty())
        return;
    path = quillmap::files::pdfExportPath(path);

    const RegionGenes genes = readRegionGenes(m_dataset->folder(),
                                              regionBin(chrName->currentText(), currentRegion()));
    if (quillmap::isFigurePath(path)) {
        const RegionPlotInput input = plotInput();
        quillmap::saveFigure(
            this, path, QSize(frame->width(), frame->height() + 40),
            [&](QPainter &painter, QSize size) { paintRegionFigure(painter, size, input, title, &genes); });
        return;
    }
    if (!writeExportPdf(path, title, plotInput(), genes.found ? &genes : nullptr))
        dialogs::information(this,
                             QStringLiteral("The file ") + path + QStringLiteral(" could not be written!"));
}

RegionPlotInput byPos::plotInput() const
{
    RegionPlotInput in;
    in.plotReady = plotReady != 0;
    in.traitCount = traitCount;
    in.traitPositions = &traitPositions;
    in.traitValues = &traitValues;
    in.traitOrder = &traitOrder;
    in.valueMax = valueMax;
    in.valueMin = valueMin;
    for (int k = 0; k < 9; ++k)
        in.rankColours << QColor(labelColours.value(k));
    in.laterColour = QColor(QStringLiteral("green"));
    in.highlightOn = highlightOn != 0;
    in.highlightCount = std::min(highlightCount, int(highlightPositions.size()));
    in.highlightPositions = highlightPositions.data();
    in.highlightValues = highlightValues.data();
    in.snpMarkOn = snpMarkOn != 0;
    in.snpMarkPosition = snpMarkPosition;
    in.snpMarkName = snpMarkName;
    in.regionText = regionCombobox->currentText();
    in.region = currentRegion();
    const quillmap::PlotAxis axis = quillmap::plotAxis(
        m_dataset->tables().statisticNames.value(currentStatistic()), currentTransform());
    in.axisTitle = axis.title;
    in.significanceValue = quillmap::significanceLineValue(axis, m_significance->pValue());
    in.legend = m_legend;
    return in;
}

void byPos::significanceChanged()
{
    update();
}

std::pair<int, int> byPos::pointAt(QPoint panelPos)
{
    if (!plotReady)
        return {-1, -1};
    if (!m_pointsValid || m_pointsFrame != frame->size() || m_pointsRegion != currentRegion()) {
        m_labelPoints = labelPoints(plotInput(), screenGeometry(frame->width(), frame->height()));
        m_points.build(m_labelPoints.x.data(), m_labelPoints.y.data(), int(m_labelPoints.x.size()), 6.0);
        m_pointsValid = true;
        m_pointsFrame = frame->size();
        m_pointsRegion = currentRegion();
    }
    const int found = m_points.nearest(panelPos.x(), panelPos.y());
    if (found < 0)
        return {-1, -1};
    return {m_labelPoints.group[size_t(found)], m_labelPoints.point[size_t(found)]};
}

QString byPos::pointToolTip(int group, int point) const
{
    if (group < 0 || size_t(group) >= m_traitRecords.size() || size_t(group) >= traitValues.size()
        || point < 0 || size_t(point) >= m_traitRecords[size_t(group)].size())
        return {};
    const int record = m_traitRecords[size_t(group)][size_t(point)];
    if (record < 0 || record >= int(rowRecords.size()))
        return {};
    const DatasetTables &tables = m_dataset->tables();
    const RowRecord &row = rowRecords[size_t(record)];
    const int line = tables.snpLineOfIndex(row.snpIndex);
    const auto stored = [&](int stat) {
        const float *extra = size_t(record) < rowStats.size() ? rowStats[size_t(record)] : nullptr;
        return stat <= 0 || !extra ? row.firstStat : extra[stat - 1];
    };
    QStringList lines{tables.snpNames.value(row.snpIndex),
                      tables.snpFields(line).value(0) + QLatin1Char(':')
                          + QString::number(quillmap::positionBp(tables.snpPosition(line))),
                      tables.traitNames.value(row.traitIndex),
                      QString::number(traitValues[size_t(group)][size_t(point)], 'g', 6)};
    lines << quillmap::pointStatisticLines(tables.statisticNames, stored);
    return quillmap::literalToolTip(lines.join(QLatin1Char('\n')));
}

void byPos::paintPlot(QPainter &painter)
{
    paintRegionPlot(painter, plotInput(), screenGeometry(frame->width(), frame->height()));
}

bool byPos::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == frame) {
        if (event->type() == QEvent::MouseMove) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            const auto [group, point] = pointAt(frame->mapTo(this, mouse->position().toPoint()));
            if (group >= 0)
                QToolTip::showText(mouse->globalPosition().toPoint(), pointToolTip(group, point), frame);
            else
                QToolTip::hideText();
        }
        return QWidget::eventFilter(watched, event);
    }
    if (watched != regionCombobox || m_regionEditEnding)
        return QWidget::eventFilter(watched, event);
    bool returnKey = false;
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        returnKey = key == Qt::Key_Return || key == Qt::Key_Enter;
    }
    if (!returnKey && event->type() != QEvent::FocusOut)
        return QWidget::eventFilter(watched, event);
    // The box ends the edit as usual (matching its list entry), without searching.
    m_regionEditEnding = true;
    QCoreApplication::sendEvent(regionCombobox, event);
    m_regionEditEnding = false;
    if (returnKey)
        search();
    return true;
}

void byPos::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    paintPlot(painter);
    painter.end();
    updateGeneTrack();
}

void byPos::updateGeneTrack()
{
    const QString &folder = m_dataset->folder();
    const int region = currentRegion();
    const int bin = regionBin(chrName->currentText(), region);
    if (!m_genesValid || folder != m_genesFolder || bin != m_genesBin || region != m_genesRegion) {
        m_genes = readRegionGenes(folder, bin);
        m_geneLayout = layoutGenes(m_genes.genes, region);
        m_genesFolder = folder;
        m_genesBin = bin;
        m_genesRegion = region;
        m_genesValid = true;
        m_geneImageValid = false;
    }
    const int frameWidth = frame->width();
    const int imageWidth = scrollArea->width();
    if (m_geneImageValid && frameWidth == m_geneImageFrameWidth && imageWidth == m_geneImageWidth)
        return;
    m_geneImageValid = true;
    m_geneImageFrameWidth = frameWidth;
    m_geneImageWidth = imageWidth;
    m_geneImage = QImage();

    scrollAreaWidgetContents->setFixedHeight(200);
    geneLabel->setFixedHeight(200);
    geneLabel->clear();
    if (!m_genes.fileOpened) {
        scrollArea->hide();
        return;
    }
    scrollArea->show();
    if (!m_genes.found)
        return;
    scrollAreaWidgetContents->setFixedWidth(frameWidth);
    m_geneImage = renderGeneTrack(m_genes.genes, m_geneLayout, frameWidth, imageWidth);
    if (m_geneImage.isNull())
        return;
    const int height = m_geneImage.height();
    scrollAreaWidgetContents->setFixedHeight(height);
    geneLabel->setFixedHeight(height);
    scrollAreaWidgetContents->setFixedWidth(imageWidth);
    geneLabel->setFixedWidth(imageWidth);
    geneLabel->setPixmap(QPixmap::fromImage(m_geneImage));
}

} // namespace quillmap
