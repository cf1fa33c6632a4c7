#include "overview/toplocitab.h"

#include "browse/significance.h"
#include "browse/studysummaries.h"
#include "common/dialogprovider.h"
#include "common/waitcursor.h"
#include "dataset/dataset.h"
#include "io/atomicfile.h"
#include "session/sharedstate.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>

#include <cmath>

namespace quillmap {

TopLociTab::TopLociTab(std::shared_ptr<const Dataset> dataset, QWidget *parent)
    : StudyTab(std::move(dataset), QStringLiteral("lociStatisticBox"),
               {tr("Trait"), tr("Lead SNP"), tr("Chr"), tr("Position"), tr("p"), tr("SNPs in locus")},
               QStringLiteral("lociTable"), parent)
{
    thresholdEdit = new QLineEdit(QStringLiteral("5e-8"));
    thresholdEdit->setObjectName(QStringLiteral("thresholdEdit"));
    windowEdit = new QLineEdit(QStringLiteral("500000"));
    windowEdit->setObjectName(QStringLiteral("windowEdit"));
    findButton = new QPushButton(tr("Find"));
    findButton->setObjectName(QStringLiteral("findLociButton"));
    exportButton = new QPushButton(tr("Export TSV"));
    exportButton->setObjectName(QStringLiteral("exportLociButton"));

    controls->addWidget(new QLabel(tr("at most")));
    controls->addWidget(thresholdEdit);
    controls->addWidget(new QLabel(tr("window (bp)")));
    controls->addWidget(windowEdit);
    controls->addWidget(findButton);
    controls->addWidget(status, 1);
    controls->addWidget(exportButton);
    addBody(table);

    connect(findButton, &QPushButton::clicked, this, &TopLociTab::refresh);
    connect(thresholdEdit, &QLineEdit::returnPressed, this, &TopLociTab::refresh);
    connect(windowEdit, &QLineEdit::returnPressed, this, &TopLociTab::refresh);
    connect(exportButton, &QPushButton::clicked, this, &TopLociTab::exportTsv);
    connect(table, &QTableView::doubleClicked, this, [this](const QModelIndex &index) {
        emit locusChosen(model->item(index.row(), SnpColumn)->text());
    });
}

void TopLociTab::makeListing()
{
    const std::optional<double> threshold = parsePValue(thresholdEdit->text());
    if (!threshold) {
        status->setText(tr("The threshold is a p-value above 0 and at most 1."));
        return;
    }
    const std::optional<double> window = parsePlainNumber(windowEdit->text());
    if (!window || *window != std::floor(*window) || *window > 1e12) {
        status->setText(tr("The window is a whole number of bp."));
        return;
    }
    const DatasetTables &tables = dataset().tables();
    const PValueColumn column = chosenColumn();
    if (!column.valid()) {
        status->setText(tr("No statistic holds p-values."));
        return;
    }
    const WaitCursor waitCursor;
    TopLociResult result = StudySummaries::listLoci(dataset(), column, *threshold, qint64(*window));
    if (!result.outcome) {
        status->setText(result.outcome.message());
        return;
    }
    m_loci = std::move(result.loci);
    std::vector<QList<QStandardItem *>> rows;
    rows.reserve(m_loci.size());
    const std::vector<QStringList> fields = topLocusFields(tables, m_loci);
    for (size_t k = 0; k < m_loci.size(); ++k) {
        const TopLocus &locus = m_loci[k];
        const QStringList &f = fields[k];
        const ClumpCandidate &lead = locus.locus.lead;
        const double place = lead.chromosome * 1e13 + double(lead.positionBp);
        rows.push_back({cell(f[0], f[0]), cell(f[1], f[1]), cell(f[2], place), cell(f[3], place),
                        cell(f[4], -lead.score), cell(f[5], locus.locus.count)});
    }
    showRows(rows, tr("Loci: %1").arg(m_loci.size()));
}

void TopLociTab::exportTsv()
{
    const QString path = DialogProvider::instance().saveFileName(
        this, tr("Export top loci"), programFolder() + QStringLiteral("/top-loci.tsv"),
        tr("Tab-separated text (*.tsv *.txt)"));
    if (path.isEmpty())
        return;
    // The rows as sorted on screen.
    std::vector<QStringList> rows;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList fields;
        for (int c = 0; c < ColumnCount; ++c)
            fields << model->item(r, c)->text();
        rows.push_back(fields);
    }
    QString error;
    if (!AtomicFile::writeWhole(path, tsvText(topLociHeader(), rows), &error))
        dialogs::information(this, tr("%1 cannot be written: %2").arg(path, error));
}

} // namespace quillmap
