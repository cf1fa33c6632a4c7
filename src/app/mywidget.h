#pragma once

#include <QWidget>

#include <memory>

class QLineEdit;
class QPushButton;
class QTabWidget;

namespace quillmap {

class BySnpTab;
class LocusTab;
class Dataset;
class SetupLink;
class TopLociTab;
class TraitsTab;
class byID;
class byPos;

// The main window of the browsing phase: the database chooser, the web search and the manual
// and About buttons above the "By Trait", "By Position", "Traits" and "Top loci" tabs, all
// showing the one dataset the window is given.
class MyWidget final : public QWidget
{
    Q_OBJECT

public:
    explicit MyWidget(std::shared_ptr<const Dataset> dataset, QWidget *parent = nullptr);
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
    BySnpTab *bySnpTab = nullptr;
    LocusTab *locusTab = nullptr;
    QTabWidget *tabs = nullptr;
    SetupLink *setupLink() const { return m_setupLink.get(); }
    const std::shared_ptr<const Dataset> &dataset() const { return m_dataset; }

private slots:
    void aboutBrowser();
    void search();
    void help();
    // The study-wide tabs lead into the panels: a trait into By Trait, a SNP into By Position.
    void showTrait(const QString &trait);
    // By Trait on `trait` with SNP `snp`'s row selected and its point circled.
    void showTraitAt(const QString &trait, const QString &snp);
    void showLocus(const QString &snp);

private:
    std::shared_ptr<const Dataset> m_dataset;
    std::unique_ptr<SetupLink> m_setupLink;
};

} // namespace quillmap
