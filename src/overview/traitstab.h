#pragma once

#include "browse/significance.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QStandardItemModel;
class QTableView;

namespace quillmap {

class QqPlotView;

// The "Traits" tab: every trait with its row count, best p-value, that p's SNP and lambda_GC,
// sortable; the selected trait's QQ plot beside the list. The listing is computed the first time
// the tab is shown (one pass over table1.dat) and again when the p-value statistic changes.
class TraitsTab final : public QWidget
{
    Q_OBJECT

public:
    explicit TraitsTab(QWidget *parent = nullptr);

    enum Column { TraitColumn, RowsColumn, BestPColumn, SnpColumn, LambdaColumn, ColumnCount };

    // Fills the list (under a wait cursor); a damaged table is reported in the status line.
    void refresh();
    // Shows the QQ plot of the trait in list row `row` (as sorted).
    void showQqPlot(int row);
    // Asks for a file and writes the QQ plot in the format its extension names.
    void saveQqPlot();

    QComboBox *statisticBox = nullptr;
    QTableView *table = nullptr;
    QStandardItemModel *model = nullptr;
    QqPlotView *qqView = nullptr;
    QPushButton *saveButton = nullptr;
    QSpinBox *widthBox = nullptr;
    QSpinBox *heightBox = nullptr;
    QSpinBox *dpiBox = nullptr;
    QLabel *status = nullptr;

signals:
    // A double-click asks to show the trait in By Trait.
    void traitChosen(const QString &trait);

protected:
    void showEvent(QShowEvent *event) override;

private:
    quillmap::PValueColumn currentColumn() const;

    bool m_filled = false;
};

} // namespace quillmap
