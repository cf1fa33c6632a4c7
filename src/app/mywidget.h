#pragma once

#include <QWidget>

// The main window of the browsing phase. For now an empty window; the panels, the database
// chooser and the search row are added by the main window's own change.
class MyWidget final : public QWidget
{
    Q_OBJECT

public:
    explicit MyWidget(QWidget *parent = nullptr);
};
