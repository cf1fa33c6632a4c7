#pragma once

#include "browse/studyscan.h"
#include "overview/studytab.h"

#include <vector>

class QLineEdit;
class QPushButton;

namespace quillmap {

// The "Top loci" tab: the independent loci of every trait by distance clumping at a settable
// threshold and window; sortable; a double-click opens By Position at the lead SNP; the list
// exports as TSV (the columns of quillmap-query top-loci).
class TopLociTab final : public StudyTab
{
    Q_OBJECT

public:
    explicit TopLociTab(std::shared_ptr<const Dataset> dataset, QWidget *parent = nullptr);

    enum Column { TraitColumn, SnpColumn, ChrColumn, PosColumn, PColumn, CountColumn, ColumnCount };

    // Asks for a file and writes the list as TSV.
    void exportTsv();

    QLineEdit *thresholdEdit = nullptr;
    QLineEdit *windowEdit = nullptr;
    QPushButton *findButton = nullptr;
    QPushButton *exportButton = nullptr;

signals:
    // A double-click asks to open By Position at this SNP.
    void locusChosen(const QString &snp);

private:
    // Clumps with the threshold and window typed; a value that is not one says so and keeps
    // the list.
    void makeListing() override;

    std::vector<quillmap::TopLocus> m_loci;
};

} // namespace quillmap
