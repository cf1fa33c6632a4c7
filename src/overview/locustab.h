#pragma once

#include "browse/locuswindow.h"

#include <QWidget>

#include <memory>
#include <vector>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace quillmap {

class Dataset;
class LdReference;
class LocusGeneView;
class LocusView;

// The "Locus" tab: one trait's results in a window of 20 kb to 10 Mb centred on a SNP, a gene
// or a position, read across megabase bins; wheel zoom, drag pan, Back/Forward through the
// places visited, up to four more traits overlaid, points coloured by r2 with the index variant
// from a PLINK 1 fileset, and the window's genes under a splitter.
class LocusTab final : public QWidget
{
    Q_OBJECT

public:
    explicit LocusTab(std::shared_ptr<const Dataset> dataset, QWidget *parent = nullptr);
    ~LocusTab() override;

    // Centres the window on what `text` names (as By SNP resolves it), on the trait of the trait
    // box or, when that is empty, the trait with the smallest p there.
    void showPlace(const QString &text);
    // Opens PREFIX.bed/.bim/.fam for r2; an empty prefix drops it. False (and says why) when
    // the fileset cannot be read.
    bool setLdReference(const QString &prefix);
    void back();
    void forward();
    void zoom(double factor, double anchorBp);
    void pan(qint64 deltaBp);
    // Makes row `row` of the shown trait the index variant (a new place).
    void chooseIndex(int row);
    void savePlot();

    // What the user types and chooses.
    QLineEdit *centreBox = nullptr;
    QComboBox *traitBox = nullptr;
    QSpinBox *widthBox = nullptr; // kb
    QLineEdit *overlayBox = nullptr;

    const LocusWindow &window() const { return m_place.window; }

    // What it shows.
    QLabel *status = nullptr;
    QLabel *ldLabel = nullptr;
    LocusView *plot = nullptr;
    LocusGeneView *genes = nullptr;

private:
    struct Place {
        LocusWindow window;
        QString trait;
        int indexSnp = -1;
    };
    void visit(const Place &place);
    void reload();
    void chooseLdFile();

    std::shared_ptr<const Dataset> m_dataset;
    std::shared_ptr<const LdReference> m_ld;
    Place m_place;
    std::vector<Place> m_history;
    int m_at = -1;
    QPushButton *m_backButton = nullptr;
    QPushButton *m_forwardButton = nullptr;
};

} // namespace quillmap
