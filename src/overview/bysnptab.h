#pragma once

#include "browse/variantquery.h"

#include <QWidget>

#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QStandardItemModel;
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
    std::shared_ptr<const Dataset> m_dataset;
    VariantQuery::Table m_table;
    bool m_completing = false;
};

} // namespace quillmap
