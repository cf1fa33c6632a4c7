#pragma once

#include "browse/studyscan.h"

#include <QWidget>

#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTableView;

namespace quillmap {

// The "Top loci" tab: the independent loci of every trait by distance clumping at a settable
// threshold and window; sortable; a double-click opens By Position at the lead SNP; the list
// exports as TSV (the columns of quillmap-query top-loci).
class TopLociTab final : public QWidget
{
    Q_OBJECT

public:
    explicit TopLociTab(QWidget *parent = nullptr);

    enum Column { TraitColumn, SnpColumn, ChrColumn, PosColumn, PColumn, CountColumn, ColumnCount };

    // Clumps with the threshold and window typed; a value that is not one says so and keeps
    // the list.
    void refresh();
    // Asks for a file and writes the list as TSV.
    void exportTsv();

    QComboBox *statisticBox = nullptr;
    QLineEdit *thresholdEdit = nullptr;
    QLineEdit *windowEdit = nullptr;
    QPushButton *findButton = nullptr;
    QPushButton *exportButton = nullptr;
    QTableView *table = nullptr;
    QStandardItemModel *model = nullptr;
    QLabel *status = nullptr;

signals:
    // A double-click asks to open By Position at this SNP.
    void locusChosen(const QString &snp);

protected:
    void showEvent(QShowEvent *event) override;

private:
    std::vector<quillmap::TopLocus> m_loci;
    bool m_filled = false;
};

} // namespace quillmap
