#pragma once

#include "browse/significance.h"

#include <QList>
#include <QWidget>

#include <memory>
#include <vector>

class QComboBox;
class QHBoxLayout;
class QLabel;
class QStandardItem;
class QStandardItemModel;
class QTableView;
class QVBoxLayout;

namespace quillmap {

class Dataset;

// What both study tabs are made of: a row of controls led by the choice of the p-value
// statistic, a sortable list below it and a status line, and a listing made the first time the
// tab is shown (one pass over table1.dat) or when refresh() asks.
class StudyTab : public QWidget
{
    Q_OBJECT

public:
    // The role the list sorts by: the shown text is formatted, the key keeps numbers numeric.
    static constexpr int SortRole = Qt::UserRole + 1;

    // Makes the listing again.
    void refresh();

    QComboBox *statisticBox = nullptr;
    QTableView *table = nullptr; // whole rows selected, sorted by SortRole
    QStandardItemModel *model = nullptr;
    QLabel *status = nullptr; // placed among the controls by the subclass

protected:
    // The statistic choice lists the dataset's statistic names, the one that holds p-values
    // chosen first. The list starts sorted by its first column, ascending. A subclass adds its
    // controls to `controls` and then its body (the list, alone or beside more) by addBody.
    StudyTab(std::shared_ptr<const Dataset> dataset, const QString &statisticName, const QStringList &headers,
             const QString &tableName, QWidget *parent);
    ~StudyTab() override;

    void showEvent(QShowEvent *event) override;
    virtual void makeListing() = 0;
    bool listed() const { return m_listed; }
    const Dataset &dataset() const { return *m_dataset; }

    PValueColumn chosenColumn() const;
    // A read-only cell showing `text` and sorting by `sortKey`.
    static QStandardItem *cell(const QString &text, const QVariant &sortKey);
    // Replaces the list's rows (sorted once all are in), fits the columns and shows `summary`.
    void showRows(const std::vector<QList<QStandardItem *>> &rows, const QString &summary);
    void addBody(QWidget *body);

    QHBoxLayout *controls = nullptr;

private:
    std::shared_ptr<const Dataset> m_dataset; // never null
    QVBoxLayout *m_layout = nullptr;
    bool m_listed = false;
};

} // namespace quillmap
