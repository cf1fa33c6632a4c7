#pragma once

#include <QWidget>

#include <memory>

class QLineEdit;
class QPushButton;
class QTabWidget;

namespace quillmap {

class SetupLink;
class TopLociTab;
class TraitsTab;
class byID;
class byPos;

// The main window of the browsing phase: the database chooser, the web search and the manual
// and About buttons above the "By Trait" and "By Position" tabs. Both panels read the current
// dataset folder themselves; the trait panel is built first because it loads the dataset tables
// that the position panel reads.
class MyWidget final : public QWidget
{
    Q_OBJECT

public:
    explicit MyWidget(QWidget *parent = nullptr);
    ~MyWidget() override;

    // The address help() opens.
    static QString manualAddress();

    QPushButton *manualButton = nullptr;
    QPushButton *searchButton = nullptr;
    QPushButton *aboutButton = nullptr;
    QLineEdit *searchBox = nullptr;
    byID *traitPanel = nullptr;
    byPos *positionPanel = nullptr;
    TraitsTab *traitsTab = nullptr;
    TopLociTab *topLociTab = nullptr;
    QTabWidget *tabs = nullptr;
    SetupLink *setupLink() const { return m_setupLink.get(); }

private slots:
    void aboutBrowser();
    void search();
    void help();
    // The study-wide tabs lead into the panels: a trait into By Trait, a SNP into By Position.
    void showTrait(const QString &trait);
    void showLocus(const QString &snp);

private:
    std::unique_ptr<SetupLink> m_setupLink;
};

} // namespace quillmap
