#pragma once

#include "browse/genetrack.h"
#include "bypos/regionplotpainter.h"
#include "browse/ctablemodel.h"
#include "browse/pointindex.h"
#include "dataset/rowrecord.h"

#include "ui_bypos.h"

#include <QStringList>
#include <QWidget>

#include <memory>
#include <utility>
#include <vector>

class QModelIndex;
class QPainter;

namespace quillmap {

class Dataset;
class PanelTestAccess;
class SignificanceEdit;

// The "By Position" tab: every result of every trait inside one megabase of one chromosome, as
// a table, a plot of rank labels with a gene track, and a legend of the nine best traits, of
// the dataset it is given (shared with the other panels).
class byPos final : public QWidget, public Ui::byPos
{
    Q_OBJECT

public:
    explicit byPos(std::shared_ptr<const Dataset> dataset, QWidget *parent = nullptr);
    ~byPos() override;

    // Draws the region plot in panel coordinates, as paintEvent does, on any painter.
    void paintPlot(QPainter &painter);
    // Runs a region search for the chromosome and region shown, as the region choice does.
    void searchRegion() { search(); }
    // Opens the region of SNP `name` with the SNP marked, as Find SNP does after its dialog.
    // False (after the same message) when the dataset has no such SNP. `direct` skips Find
    // SNP's search of the old region on the new chromosome (for jumps from other tabs).
    bool showSnp(const QString &name, bool direct = false);
    // Opens the region where gene `name` of the gene file starts; false when there is none.
    bool showGene(const QString &name);
    // Records of the region shown.
    int regionRowCount() const { return rowCount; }
    // What the plot draws right now.
    quillmap::bypos::RegionPlotInput plotInput() const;
    // The gene track picture of the current region, as shown under the plot.
    const QImage &geneTrackImage() const { return m_geneImage; }
    // The point whose rank label lies nearest to `panelPos` (panel coordinates) within 6 px,
    // as (group, point within the group); (-1, -1) when none.
    std::pair<int, int> pointAt(QPoint panelPos);
    // The hover text of a point: SNP, chromosome:position (bp), trait and the plotted value.
    QString pointToolTip(int group, int point) const;

private slots:
    void sortByColumn(int column);
    void displayView();
    void chrNameSlot();
    void search();
    void highLight();
    void highLight(const QModelIndex &index);
    void goLeft();
    void goRight();
    void print();
    void help();
    void findSNP();
    void link();
    void reset();
    void colorChange();

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Tests reach the state below and the private slots through this one class.
    friend class PanelTestAccess;

    int currentRegion() const;
    int currentStatistic() const;
    int currentTransform() const;
    float rowValue(int record, int statistic, int transform) const;
    void detachTable();
    void clearHighlight();
    void stepRegion(int delta);
    // Makes the table's first row of SNP `snpIndex` current and scrolls it into view.
    void scrollToSnp(int snpIndex);
    void updateGeneTrack();
    void significanceChanged();

    // ---- the region's rows (file order) and what the ranking derived from them
    std::vector<RowRecord> rowRecords;
    std::vector<float *> rowStats; // row k: its E extra statistics
    int rowCount = 0;
    std::vector<std::vector<double>> traitPositions; // per trait group: positions in Mb
    std::vector<std::vector<double>> traitValues;    // per trait group: transformed values
    std::vector<std::vector<int>> m_traitRecords;    // per trait group: each point's row
    std::vector<double> traitMaxima;                 // per rank: largest transformed value
    std::vector<int> traitOrder;                     // rank -> trait group
    int traitCount = 0;
    double valueMax = -100.0;
    double valueMin = 100.0;
    int plotReady = 0;

    int highlightOn = 0;
    int highlightCount = 0;
    std::vector<float> highlightPositions; // Mb
    std::vector<float> highlightValues;

    int snpMarkOn = 0;
    double snpMarkPosition = 0.0;
    QString snpMarkName;

    int endWarningShown = 0;
    QStringList labelColours;
    QStringList colourChoices;
    CTableModel regionTableModel;

    std::shared_ptr<const Dataset> m_dataset; // never null
    std::vector<float> m_statStorage;         // the rows of rowStats
    // Set while the region box handles a Return or a focus loss itself: its activated signal
    // then comes from ending the edit, not from a choice.
    bool m_regionEditEnding = false;

    // The region's genes, read once per region; the picture is rebuilt when they or the
    // widths it depends on change.
    bool m_genesValid = false;
    QString m_genesFolder;
    int m_genesBin = 0;
    int m_genesRegion = 0;
    quillmap::bypos::RegionGenes m_genes;
    quillmap::bypos::GeneTrackLayout m_geneLayout;
    bool m_geneImageValid = false;
    int m_geneImageFrameWidth = -1;
    int m_geneImageWidth = -1;
    QImage m_geneImage;

    quillmap::SignificanceEdit *m_significance = nullptr;
    // The hover look-up over the rank labels, rebuilt when the picture changed.
    quillmap::PointIndex m_points;
    quillmap::bypos::LabelPoints m_labelPoints;
    std::vector<quillmap::bypos::LegendEntry> m_legend; // of the last search, for the figures
    bool m_pointsValid = false;
    QSize m_pointsFrame;
    int m_pointsRegion = 0;
};

} // namespace quillmap
