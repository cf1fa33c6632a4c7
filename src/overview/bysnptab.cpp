#include "overview/bysnptab.h"

#include "common/dialogprovider.h"
#include "common/figuresizedialog.h"
#include "dataset/dataset.h"
#include "overview/phewaspainter.h"
#include "overview/phewasview.h"
#include "session/sharedstate.h"

#include <QComboBox>
#include <QCompleter>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStandardItemModel>
#include <QStringListModel>
#include <QTableView>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

namespace quillmap {

namespace {

QStandardItem *cell(const QString &text, const QVariant &sortKey)
{
    auto *item = new QStandardItem(text);
    item->setData(sortKey, BySnpTab::SortRole);
    item->setEditable(false);
    return item;
}

} // namespace

BySnpTab::BySnpTab(std::shared_ptr<const Dataset> dataset, QWidget *parent)
    : QWidget(parent),
      m_dataset(dataset ? std::move(dataset) : Dataset::unloaded(QString())),
      m_locations(TraitLocations::fromTables(m_dataset->tables()))
{
    snpBox = new QLineEdit;
    snpBox->setObjectName(QStringLiteral("snpBox"));
    snpBox->setPlaceholderText(tr("rs1267250, 19:45417984, chr19:45417984:T:C or a gene"));
    windowBox = new QSpinBox;
    windowBox->setObjectName(QStringLiteral("windowBox"));
    windowBox->setRange(0, 10000);
    windowBox->setSuffix(tr(" kb"));
    windowBox->setToolTip(tr("Around a gene: kb added on each side"));
    showButton = new QPushButton(tr("Show"));
    cisWindowBox = new QSpinBox;
    cisWindowBox->setObjectName(QStringLiteral("cisWindowBox"));
    cisWindowBox->setRange(0, 100000);
    cisWindowBox->setValue(int(TraitLocations::DefaultCisWindowBp / 1000));
    cisWindowBox->setSuffix(tr(" kb"));
    cisWindowBox->setToolTip(tr("A variant this close to a trait's own position is cis to it"));
    cisTransBox = new QComboBox;
    cisTransBox->setObjectName(QStringLiteral("cisTransBox"));
    cisTransBox->addItems({tr("cis and trans"), tr("cis only"), tr("trans only")});
    status = new QLabel;
    status->setTextFormat(Qt::PlainText);
    without = new QLabel;
    without->setTextFormat(Qt::PlainText);

    const QStringList &names = m_dataset->tables().statisticNames;
    QStringList headers{tr("Trait"), tr("Groups"), tr("SNP"), tr("Position"), tr("-log10(p)")};
    headers << names;
    if (m_locations.available())
        headers << tr("Distance (bp)") << tr("cis/trans");
    model = new QStandardItemModel(0, int(headers.size()), this);
    model->setHorizontalHeaderLabels(headers);
    model->setSortRole(SortRole);
    table = new QTableView;
    table->setObjectName(QStringLiteral("bySnpTable"));
    table->setModel(model);
    table->setSortingEnabled(true);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();

    plot = new PhewasView;
    plot->setObjectName(QStringLiteral("phewasPlot"));
    saveButton = new QPushButton(tr("SaveImage"));
    auto *controls = new QHBoxLayout;
    controls->addWidget(new QLabel(tr("SNP, position or gene")));
    controls->addWidget(snpBox, 1);
    controls->addWidget(new QLabel(tr("Gene window")));
    controls->addWidget(windowBox);
    auto *cisLabel = new QLabel(tr("cis within"));
    controls->addWidget(cisLabel);
    controls->addWidget(cisWindowBox);
    controls->addWidget(cisTransBox);
    cisLabel->setVisible(m_locations.available());
    cisWindowBox->setVisible(m_locations.available());
    cisTransBox->setVisible(m_locations.available());
    controls->addWidget(showButton);
    controls->addWidget(saveButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(status);
    auto *splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(table);
    splitter->addWidget(plot);
    layout->addWidget(splitter, 1);
    layout->addWidget(without);

    connect(snpBox, &QLineEdit::returnPressed, this, [this] { showVariant(snpBox->text()); });
    connect(showButton, &QPushButton::clicked, this, [this] { showVariant(snpBox->text()); });
    connect(table, &QTableView::doubleClicked, this, [this](const QModelIndex &index) {
        emit traitChosen(model->item(index.row(), TraitColumn)->text(),
                         model->item(index.row(), SnpColumn)->text());
    });
    connect(plot, &PhewasView::traitChosen, this, [this](const QString &trait) {
        for (const VariantQuery::TraitRow &row : m_table.rows) {
            if (row.trait == trait) {
                emit traitChosen(trait, row.snp);
                return;
            }
        }
        emit traitChosen(trait);
    });
    connect(saveButton, &QPushButton::clicked, this, &BySnpTab::savePlot);
    connect(cisWindowBox, &QSpinBox::valueChanged, this, &BySnpTab::fillTable);
    connect(cisTransBox, &QComboBox::currentIndexChanged, this, &BySnpTab::fillTable);
}

BySnpTab::~BySnpTab() = default;

void BySnpTab::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Gene names are few, and read once, when first needed; SNP names may run to millions and
    // are offered a few at a time as they are typed.
    if (m_completing)
        return;
    m_completing = true;
    m_genes = VariantQuery::geneNames(m_dataset->folder());
    m_completions = new QStringListModel(this);
    auto *completer = new QCompleter(m_completions, this);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setMaxVisibleItems(12);
    snpBox->setCompleter(completer);
    connect(snpBox, &QLineEdit::textEdited, this, &BySnpTab::offerCompletions);
}

void BySnpTab::offerCompletions(const QString &typed)
{
    const QString prefix = typed.trimmed();
    QStringList names = VariantQuery::snpNamesStartingWith(m_dataset->tables(), prefix, CompletionLimit);
    for (const QString &gene : std::as_const(m_genes)) {
        if (names.size() >= CompletionLimit)
            break;
        if (!prefix.isEmpty() && gene.startsWith(prefix, Qt::CaseInsensitive))
            names << gene;
    }
    if (names == m_completions->stringList())
        return;
    m_completions->setStringList(names);
    if (!names.isEmpty() && snpBox->completer()) {
        snpBox->completer()->setCompletionPrefix(prefix);
        snpBox->completer()->complete();
    }
}

void BySnpTab::showVariant(const QString &text)
{
    if (snpBox->text() != text)
        snpBox->setText(text);
    const VariantQuery::Target target = VariantQuery::resolve(*m_dataset, text,
                                                              qint64(windowBox->value()) * 1000);
    Result<VariantQuery::Table> read = VariantQuery::traitRows(*m_dataset, target);
    model->removeRows(0, model->rowCount());
    m_table = {};
    plot->setPlot({}, {}, {});
    if (!read) {
        status->setText(read.message());
        without->clear();
        return;
    }
    m_table = std::move(read.value());
    m_title = target.kind == VariantQuery::Kind::Gene ? target.geneName : target.snpName;
    status->setText(target.message);
    fillTable();
    if (target.kind == VariantQuery::Kind::None)
        without->clear();
    else
        without->setText(tr("%n trait(s) without a row there", nullptr, m_table.traitsWithout));
}

void BySnpTab::fillTable()
{
    model->removeRows(0, model->rowCount());
    const qint64 cisWindow = qint64(cisWindowBox->value()) * 1000;
    const int shown = m_locations.available() ? cisTransBox->currentIndex() : 0;
    VariantQuery::Table plotted;
    plotted.traitsWithout = m_table.traitsWithout;
    plotted.pColumn = m_table.pColumn;
    table->setSortingEnabled(false);
    for (const VariantQuery::TraitRow &row : m_table.rows) {
        QList<QStandardItem *> cells;
        cells << cell(row.trait, row.trait) << cell(row.groups, row.groups) << cell(row.snp, row.snp)
              << cell(QString::number(row.positionBp), row.positionBp);
        // Rows without a p-value sort below every p.
        const bool scored = !std::isnan(row.score);
        cells << cell(scored ? QString::number(row.score, 'g', 6) : QString(), scored ? row.score : -1.0);
        for (const float value : row.statistics)
            cells << cell(QString::number(value, 'g', 7), double(value));
        TraitLocations::Relation relation = TraitLocations::Relation::Unknown;
        if (m_locations.available()) {
            const TraitLocations::Placement placed = m_locations.place(row.trait, row.chromosome,
                                                                       row.positionBp, cisWindow);
            relation = placed.relation;
            // Another chromosome sorts after every distance.
            cells << cell(placed.distanceBp >= 0 ? QString::number(placed.distanceBp) : QString(),
                          placed.distanceBp >= 0 ? placed.distanceBp : std::numeric_limits<qint64>::max())
                  << cell(TraitLocations::relationText(relation), TraitLocations::relationText(relation));
        }
        model->appendRow(cells);
        if (shown == 0 || (shown == 1 && relation == TraitLocations::Relation::Cis)
            || (shown == 2 && relation == TraitLocations::Relation::Trans))
            plotted.rows.push_back(row);
    }
    table->setSortingEnabled(true);
    table->sortByColumn(ScoreColumn, Qt::DescendingOrder);
    plot->setPlot(plotted, m_dataset->tables().statisticNames, m_title);
    table->resizeColumnsToContents();
}

void BySnpTab::savePlot()
{
    if (plot->table().rows.empty()) {
        dialogs::information(this, tr("Show a SNP with results first."));
        return;
    }
    saveFigureAs(this, tr("Save plot"), programFolder() + QStringLiteral("/phewas-%1.svg").arg(plot->title()),
                 plot->size(), 96, [&](QPainter &painter, QSize size) {
                     PhewasPainter::paint(
                         painter,
                         PhewasGeometry(plot->table(), plot->statisticNames(), size.width(), size.height()),
                         plot->title());
                 });
}

} // namespace quillmap
