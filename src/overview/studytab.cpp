#include "overview/studytab.h"

#include "dataset/dataset.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace quillmap {

StudyTab::StudyTab(std::shared_ptr<const Dataset> dataset, const QString &statisticName,
                   const QStringList &headers, const QString &tableName, QWidget *parent)
    : QWidget(parent),
      m_dataset(dataset ? std::move(dataset) : Dataset::unloaded(QString()))
{
    statisticBox = new QComboBox;
    statisticBox->setObjectName(statisticName);
    const QStringList &names = m_dataset->tables().statisticNames;
    statisticBox->addItems(names);
    const PValueColumn found = findPValueColumn(names);
    statisticBox->setCurrentIndex(found.valid() ? found.statistic : 0);
    status = new QLabel;
    // Messages name files and traits: shown as written.
    status->setTextFormat(Qt::PlainText);

    model = new QStandardItemModel(0, int(headers.size()), this);
    model->setHorizontalHeaderLabels(headers);
    model->setSortRole(SortRole);
    table = new QTableView;
    table->setObjectName(tableName);
    table->setModel(model);
    table->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
    table->setSortingEnabled(true);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();

    m_layout = new QVBoxLayout(this);
    controls = new QHBoxLayout;
    m_layout->addLayout(controls);
    controls->addWidget(new QLabel(tr("p-values")));
    controls->addWidget(statisticBox);
}

StudyTab::~StudyTab() = default;

void StudyTab::refresh()
{
    m_listed = true;
    makeListing();
}

void StudyTab::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_listed)
        refresh();
}

PValueColumn StudyTab::chosenColumn() const
{
    return pValueColumnNamed(m_dataset->tables().statisticNames, statisticBox->currentText());
}

QStandardItem *StudyTab::cell(const QString &text, const QVariant &sortKey)
{
    auto *item = new QStandardItem(text);
    item->setData(sortKey, SortRole);
    item->setEditable(false);
    return item;
}

void StudyTab::showRows(const std::vector<QList<QStandardItem *>> &rows, const QString &summary)
{
    model->removeRows(0, model->rowCount());
    table->setSortingEnabled(false);
    for (const QList<QStandardItem *> &row : rows)
        model->appendRow(row);
    table->setSortingEnabled(true);
    table->resizeColumnsToContents();
    status->setText(summary);
}

void StudyTab::addBody(QWidget *body)
{
    m_layout->addWidget(body, 1);
}

} // namespace quillmap
