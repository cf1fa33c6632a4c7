#pragma once

#include <QList>
#include <QPointer>
#include <QRadioButton>
#include <QWidget>

class QGroupBox;

namespace quillmap {

// Owns the database chooser's radio buttons and records the chosen database. Never shown
// itself: the main window places the group box that createDatabaseChooser() returns and
// connects each radio button's clicked() to link().
class SetupLink final : public QWidget
{
    Q_OBJECT

public:
    explicit SetupLink(QWidget *parent = nullptr);

    // Builds the group box "Choose a Database to Link" (no parent; the caller places and owns
    // it) with the six radio buttons, UCSC selected. Call once.
    QGroupBox *createDatabaseChooser();

    // UCSC, NCBI, OMIM, Ensembl, Google, Other; empty before createDatabaseChooser() and after
    // the group box is gone.
    QList<QRadioButton *> radioButtons() const;

public slots:
    // Records the database whose radio button is checked (asking for the link when Other).
    void link();

private slots:
    void otherLink();

private:
    // Owned by the group box, which the main window may destroy first.
    QPointer<QRadioButton> m_ucsc;
    QPointer<QRadioButton> m_ncbi;
    QPointer<QRadioButton> m_omim;
    QPointer<QRadioButton> m_ensembl;
    QPointer<QRadioButton> m_google;
    QPointer<QRadioButton> m_other;
};

} // namespace quillmap
