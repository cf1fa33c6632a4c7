#pragma once

#include "overview/studytab.h"

class QPushButton;
class QSpinBox;

namespace quillmap {

class QqPlotView;

// The "Traits" tab: every trait with its row count, best p-value, that p's SNP and lambda_GC,
// sortable; the selected trait's QQ plot beside the list. The listing is computed the first time
// the tab is shown (one pass over table1.dat) and again when the p-value statistic changes.
class TraitsTab final : public StudyTab
{
    Q_OBJECT

public:
    explicit TraitsTab(std::shared_ptr<const Dataset> dataset, QWidget *parent = nullptr);

    enum Column { TraitColumn, RowsColumn, BestPColumn, SnpColumn, LambdaColumn, ColumnCount };

    // Shows the QQ plot of the trait in list row `row` (as sorted).
    void showQqPlot(int row);
    // Asks for a file and writes the QQ plot in the format its extension names.
    void saveQqPlot();

    QqPlotView *qqView = nullptr;
    QPushButton *saveButton = nullptr;
    QSpinBox *widthBox = nullptr;
    QSpinBox *heightBox = nullptr;
    QSpinBox *dpiBox = nullptr;

signals:
    // A double-click asks to show the trait in By Trait.
    void traitChosen(const QString &trait);

private:
    // Fills the list (under a wait cursor); a damaged table is reported in the status line.
    void makeListing() override;
};

} // namespace quillmap
