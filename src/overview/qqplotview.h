#pragma once

#include "browse/significance.h"

#include <QString>
#include <QWidget>

namespace quillmap {

// Shows one trait's QQ plot, drawn by the export's routine at the widget's size.
class QqPlotView final : public QWidget
{
    Q_OBJECT

public:
    explicit QqPlotView(QWidget *parent = nullptr);

    void setPlot(quillmap::QqPlotData data, const QString &trait);
    void clear();
    bool hasPlot() const { return !m_trait.isEmpty(); }
    const quillmap::QqPlotData &data() const { return m_data; }
    const QString &trait() const { return m_trait; }

    QSize sizeHint() const override { return {420, 420}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    quillmap::QqPlotData m_data;
    QString m_trait;
};

} // namespace quillmap
