#include "overview/traitstab.h"

#include "browse/studysummaries.h"
#include "common/dialogprovider.h"
#include "common/figuresizedialog.h"
#include "common/waitcursor.h"
#include "dataset/dataset.h"
#include "figures/qqplotpainter.h"
#include "overview/qqplotview.h"
#include "session/sharedstate.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableView>

#include <cmath>

namespace quillmap {

namespace {

QSpinBox *sizeBox(int low, int high, int value, const QString &suffix)
{
    auto *box = new QSpinBox;
    box->setRange(low, high);
    box->setValue(value);
    box->setSuffix(suffix);
    return box;
}

} // namespace

TraitsTab::TraitsTab(std::shared_ptr<const Dataset> dataset, QWidget *parent)
    : StudyTab(std::move(dataset), QStringLiteral("traitsStatisticBox"),
               {tr("Trait"), tr("Rows"), tr("Best p"), tr("SNP"), tr("lambda_GC")},
               QStringLiteral("traitsTable"), parent)
{
    saveButton = new QPushButton(tr("Save QQ plot"));
    saveButton->setObjectName(QStringLiteral("saveQqButton"));
    widthBox = sizeBox(100, 20000, 800, tr(" wide"));
    heightBox = sizeBox(100, 20000, 800, tr(" high"));
    dpiBox = sizeBox(10, 2400, 96, tr(" dpi"));

    controls->addWidget(status, 1);
    controls->addWidget(saveButton);
    controls->addWidget(widthBox);
    controls->addWidget(heightBox);
    controls->addWidget(dpiBox);

    table->setSelectionMode(QAbstractItemView::SingleSelection);
    qqView = new QqPlotView;
    auto *split = new QSplitter;
    split->addWidget(table);
    split->addWidget(qqView);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 1);
    addBody(split);

    connect(statisticBox, &QComboBox::currentIndexChanged, this, [this] {
        if (listed())
            refresh();
    });
    connect(table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { showQqPlot(current.row()); });
    connect(table, &QTableView::doubleClicked, this, [this](const QModelIndex &index) {
        emit traitChosen(model->item(index.row(), TraitColumn)->text());
    });
    connect(saveButton, &QPushButton::clicked, this, &TraitsTab::saveQqPlot);
}

void TraitsTab::makeListing()
{
    qqView->clear();
    model->removeRows(0, model->rowCount());
    const DatasetTables &tables = dataset().tables();
    const PValueColumn column = chosenColumn();
    const WaitCursor waitCursor;
    const TraitSummaries summaries = StudySummaries::listTraits(dataset(), column, 0,
                                                                int(tables.traitNames.size()));
    if (!summaries.outcome) {
        status->setText(summaries.outcome.message());
        return;
    }
    std::vector<QList<QStandardItem *>> rows;
    rows.reserve(summaries.traits.size());
    for (const TraitSummary &s : summaries.traits) {
        const bool any = s.bestSnp >= 0;
        rows.push_back(
            {cell(tables.traitNames.value(s.traitIndex), s.traitIndex), cell(QString::number(s.rows), s.rows),
             cell(any ? formatPValue(s.bestScore) : QStringLiteral("NA"), any ? -s.bestScore : INFINITY),
             cell(tables.snpNames.value(s.bestSnp), tables.snpNames.value(s.bestSnp)),
             cell(formatLambda(s.lambda), std::isnan(s.lambda) ? -1.0 : s.lambda)});
    }
    showRows(rows, tr("Traits: %1").arg(summaries.traits.size()));
}

void TraitsTab::showQqPlot(int row)
{
    if (row < 0 || row >= model->rowCount()) {
        qqView->clear();
        return;
    }
    const int traitIndex = model->item(row, TraitColumn)->data(SortRole).toInt();
    const DatasetTables &tables = dataset().tables();
    const PValueColumn column = chosenColumn();
    Result<QqPlotData> qq = StudySummaries::traitQqPlot(dataset(), column, traitIndex);
    if (!qq) {
        status->setText(qq.message());
        qqView->clear();
        return;
    }
    qqView->setPlot(std::move(*qq), tables.traitNames.value(traitIndex));
}

void TraitsTab::saveQqPlot()
{
    if (!qqView->hasPlot()) {
        dialogs::information(this, tr("Choose a trait in the list first."));
        return;
    }
    const QqPlotData &qq = qqView->data();
    const QString trait = qqView->trait();
    saveFigureAs(this, tr("Save QQ plot"), programFolder() + QStringLiteral("/qq-%1.svg").arg(trait),
                 QSize(widthBox->value(), heightBox->value()), dpiBox->value(),
                 [&](QPainter &painter, QSize size) { figures::paintQqPlot(painter, size, qq, trait); });
}

} // namespace quillmap
