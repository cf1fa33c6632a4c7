#pragma once

#include "browse/locusgeometry.h"

#include <QWidget>

#include <vector>

namespace quillmap {

// The genes of the locus window under its plot, packed into rows; it asks for the height its
// rows need and no more.
class LocusGeneView final : public QWidget
{
    Q_OBJECT

public:
    explicit LocusGeneView(QWidget *parent = nullptr);

    // Packs the genes of `folder` for `window` at the widget's width.
    void setWindow(const QString &folder, const LocusWindow &window);
    const std::vector<PackedGene> &genes() const { return m_genes; }
    int rows() const { return m_rows; }
    LocusGeometry geometryAt(double width) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void pack();

    QString m_folder;
    LocusWindow m_window;
    std::vector<PackedGene> m_genes;
    int m_rows = 0;
};

} // namespace quillmap
