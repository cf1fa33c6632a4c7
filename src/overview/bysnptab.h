#pragma once

#include "browse/traitlocations.h"
#include "browse/variantquery.h"

#include <QWidget>

#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QStandardItemModel;
class QStringListModel;
class QTableView;

namespace quillmap {

class Dataset;
class PhewasView;

// The "By SNP" tab: every trait's result at one SNP, position or gene, best p first, and how
// many traits have no row there. Reads only the bins of what was asked for.
class BySnpTab final : public QWidget
{
    Q_OBJECT

public:
    explicit BySnpTab(std::shared_ptr<const Dataset> dataset, QWidget *parent = nullptr);
    ~BySnpTab() override;

    enum Column { TraitColumn, GroupsColumn, SnpColumn, PositionColumn, ScoreColumn, FirstStatisticColumn };
    static constexpr int SortRole = Qt::UserRole + 1;

    // Resolves `text` as the box does and lists the traits there.
    void showVariant(const QString &text);
    const VariantQuery::Table &shownTable() const { return m_table; }

    QLineEdit *snpBox = nullptr;
    QSpinBox *windowBox = nullptr; // kb on each side of a gene
    // Shown when the trait information file places the traits: the cis window (kb) and which
    // traits the plot shows (0 cis and trans, 1 cis only, 2 trans only). The table then ends
    // with each trait's distance to the variant and its cis or trans mark.
    QSpinBox *cisWindowBox = nullptr;
    QComboBox *cisTransBox = nullptr;
    QPushButton *showButton = nullptr;
    QLabel *status = nullptr;  // what the text resolved to, or why nothing
    QLabel *without = nullptr; // how many traits have no row there
    QTableView *table = nullptr;
    QStandardItemModel *model = nullptr;
    PhewasView *plot = nullptr;
    QPushButton *saveButton = nullptr;

    // Asks for a file and writes the plot, at its size on screen, in the format its extension
    // names.
    void savePlot();

signals:
    // A double-click on a row or a click on a point asks to show the trait in By Trait with
    // the row's SNP selected.
    void traitChosen(const QString &trait, const QString &snp = QString());

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Fills the table and the plot from m_table, with the cis/trans choices.
    void fillTable();
    // Offers the SNP and gene names that start with `typed`, at most CompletionLimit.
    void offerCompletions(const QString &typed);

    static constexpr int CompletionLimit = 50;

    std::shared_ptr<const Dataset> m_dataset;
    TraitLocations m_locations;
    VariantQuery::Table m_table;
    QString m_title;
    bool m_completing = false;
    QStringList m_genes;
    QStringListModel *m_completions = nullptr;
};

} // namespace quillmap
