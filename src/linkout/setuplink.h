#pragma once

#include <QList>
#include <QWidget>

class QGroupBox;
class QRadioButton;

// Owns the database chooser's radio buttons and records the chosen database. Never shown
// itself: the main window places the group box that createDatabaseChooser() returns and
// connects each radio button's clicked() to link(), e.g.
//     connect(button, SIGNAL(clicked()), setupLink, SLOT(link()));
class SetupLink final : public QWidget
{
    Q_OBJECT

public:
    explicit SetupLink(QWidget *parent = nullptr);

    // Builds the group box "Choose a Database to Link" (no parent; the caller places and owns
    // it) with the six radio buttons, UCSC selected. Call once.
    QGroupBox *createDatabaseChooser();

    // UCSC, NCBI, OMIM, Ensembl, Google, Other; empty before createDatabaseChooser().
    QList<QRadioButton *> radioButtons() const;

private slots:
    void link();
    void otherLink();

private:
    QRadioButton *m_ucsc = nullptr;
    QRadioButton *m_ncbi = nullptr;
    QRadioButton *m_omim = nullptr;
    QRadioButton *m_ensembl = nullptr;
    QRadioButton *m_google = nullptr;
    QRadioButton *m_other = nullptr;
};
