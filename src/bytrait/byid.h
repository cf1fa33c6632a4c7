#pragma once

#include "browse/ctablemodel.h"
#include "browse/pointindex.h"
#include "dataset/rowrecord.h"
#include "ui_byidwidget.h"

#include <QImage>
#include <QItemSelection>
#include <QPixmap>
#include <QMap>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <vector>

class QTimer;

namespace quillmap {

class Dataset;
class PanelTestAccess;
class SignificanceEdit;
struct TraitPlotData;

// The "By Trait" tab: every result of one trait as a sortable table, the trait's own
// information and a genome-wide plot of one statistic, of the dataset it is given (opened by
// the main window and shared with the other panels). A dataset that could not be loaded leaves
// the panel inert; the one who loaded it reported why.
class byID final : public QWidget, public Ui::byIDWidget
{
    Q_OBJECT

public:
    explicit byID(std::shared_ptr<const Dataset> dataset, QWidget *parent = nullptr);
    ~byID() override;

    // True when the panel was given a loaded dataset and connected.
    bool isReady() const { return m_ready; }
    // Records of the trait shown.
    int traitRowCount() const { return rowCount; }
    // True while the plot is being redrawn in slices after a resize.
    bool repaintPending() const;

    // The row whose point lies nearest to `framePos` (in the plot frame) within 6 px; -1 when
    // none. The look-up index is built with the plot shown, on first use.
    int pointAt(QPoint framePos);
    // What the plot draws right now.
    TraitPlotData plotData() const;
    // The hover text of row `row`: SNP, chromosome:position (bp), trait and the plotted value.
    QString pointToolTip(int row) const;
    // Selects the table's first row of SNP `snp` (circling its point) and scrolls to it; false
    // when the trait shown has none.
    bool selectSnp(const QString &snp);

signals:
    // A click on a point of the plot: open By Position at this SNP.
    void snpClicked(const QString &snp);

public slots:
    // Relabels LinkButton after the chosen database changed.
    void changeLinkText();

private slots:
    void show_SNP();
    void display_result();
    void slot1();
    void clear_ready();
    void sortByColumn(int column);
    void highLight();
    void highLight(const QItemSelection &selected, const QItemSelection &deselected);
    void displayView();
    void paintFun();
    void paintFunSub();
    void printFile();
    void link();
    void help();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void releaseRows();
    // Row `recordIndex`'s extra statistics; null when there are none.
    const float *statsOf(int recordIndex) const;
    void redrawPlot();
    void showInFrame(const QImage &image);
    void makeConnections();
    float plottedValue(int recordIndex) const;

    // Tests reach the state below and the private slots through this one class.
    friend class PanelTestAccess;

    // ---- state named as the program's own words
    int rowCount = 0;
    // The rows of the trait shown, reused by the next one: a trait can have ten million.
    std::vector<RowRecord> rowRecords;
    std::vector<float> rowStats; // row i: its E extra statistics at i * E
    std::vector<quint8> rowChromosomes;
    std::vector<float> rowPositions;
    std::vector<float> rowValues;
    float valueMax = -100000.0f;
    float valueMin = 1000000.0f;
    double topThreshold = 0.0;
    double bottomThreshold = 0.0;
    bool plotReady = false;
    bool plotShown = false;
    bool highlightOn = false;
    int highlightCount = 0;
    std::vector<quint8> highlightChromosomes;
    std::vector<float> highlightPositions;
    std::vector<float> highlightValues;
    bool groupTraitsArmed = false;
    QStringList groupNameList;
    QStringList groupTraitList;
    QStringList traitInfoHeader;
    QMap<QString, QStringList> traitInfoMap;
    QImage workImage, plotImage, highlightImage;
    QTimer *repaintTimer = nullptr;
    int repaintIndex = 0;
    CTableModel traitTableModel;

    std::shared_ptr<const Dataset> m_dataset; // never null
    bool m_ready = false;

    quillmap::SignificanceEdit *m_significance = nullptr;
    quillmap::PointIndex m_points;
    // What m_points was built for: the rows' values, their count and the image size.
    const float *m_indexedValues = nullptr;
    int m_indexedRows = -1;
    int m_indexedMode = -1;
    QSize m_indexedSize;
};

} // namespace quillmap
