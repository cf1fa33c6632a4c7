#pragma once

#include "browse/phewasgeometry.h"

#include <QWidget>

namespace quillmap {

// Shows the plot of every trait at one variant at the widget's size: the hover names a point's
// trait, group, p and effect; a click chooses its trait.
class PhewasView final : public QWidget
{
    Q_OBJECT

public:
    explicit PhewasView(QWidget *parent = nullptr);

    void setPlot(VariantQuery::Table table, QStringList statisticNames, QString title);
    const VariantQuery::Table &table() const { return m_table; }
    const QStringList &statisticNames() const { return m_names; }
    const QString &title() const { return m_title; }
    // The layout at the widget's current size.
    PhewasGeometry geometryNow() const;
    // The hover text of the point under `pos`; empty when none.
    QString toolTipAt(QPointF pos) const;

    QSize sizeHint() const override { return {600, 320}; }

signals:
    void traitChosen(const QString &trait);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    bool event(QEvent *event) override;

private:
    VariantQuery::Table m_table;
    QStringList m_names;
    QString m_title;
};

} // namespace quillmap
