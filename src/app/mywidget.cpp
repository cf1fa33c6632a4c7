#include "app/mywidget.h"

#include "bypos/bypos.h"
#include "bytrait/byid.h"
#include "common/dialogprovider.h"
#include "dataset/dataset.h"
#include "linkout/linkout.h"
#include "session/linktemplates.h"
#include "linkout/setuplink.h"
#include "overview/bysnptab.h"
#include "overview/locustab.h"
#include "overview/toplocitab.h"
#include "overview/traitstab.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QUrl>

namespace quillmap {

MyWidget::MyWidget(std::shared_ptr<const Dataset> dataset, QWidget *parent)
    : QWidget(parent),
      m_dataset(dataset ? std::move(dataset) : Dataset::unloaded(QString()))
{
    setWindowTitle(tr("Quillmap 0.0.2 (2008.10)"));

    traitPanel = new byID(m_dataset, this);
    positionPanel = new byPos(m_dataset, this);

    auto *grid = new QGridLayout;
    tabs = new QTabWidget;
    tabs->addTab(traitPanel, tr("By Trait"));
    tabs->insertTab(1, positionPanel, tr("By Position"));
    traitsTab = new TraitsTab(m_dataset);
    topLociTab = new TopLociTab(m_dataset);
    tabs->addTab(traitsTab, tr("Traits"));
    tabs->addTab(topLociTab, tr("Top loci"));
    bySnpTab = new BySnpTab(m_dataset);
    tabs->addTab(bySnpTab, tr("By SNP"));
    connect(bySnpTab, &BySnpTab::traitChosen, this, &MyWidget::showTraitAt);
    locusTab = new LocusTab(m_dataset);
    tabs->addTab(locusTab, tr("Locus"));
    connect(traitsTab, &TraitsTab::traitChosen, this, &MyWidget::showTrait);
    connect(topLociTab, &TopLociTab::locusChosen, this, &MyWidget::showLocus);
    connect(traitPanel, &byID::snpClicked, this, &MyWidget::showLocus);
    tabs->setCurrentWidget(traitPanel);

    linkout::fillLinkLists(m_dataset->build());

    m_setupLink = std::make_unique<SetupLink>();
    QGroupBox *chooser = m_setupLink->createDatabaseChooser();
    grid->addWidget(chooser, 0, 0);

    searchBox = new QLineEdit;
    searchButton = new QPushButton(tr("Search"));
    manualButton = new QPushButton(tr("Help"));
    aboutButton = new QPushButton(tr("ABOUT"));
    searchBox->setObjectName(QStringLiteral("searchBox"));
    searchButton->setObjectName(QStringLiteral("searchButton"));
    manualButton->setObjectName(QStringLiteral("manualButton"));
    aboutButton->setObjectName(QStringLiteral("aboutButton"));

    grid->addWidget(searchBox, 0, 1);
    grid->addWidget(searchButton, 0, 2);
    grid->addWidget(manualButton, 0, 3);
    grid->addWidget(aboutButton, 0, 4);
    grid->addWidget(tabs, 1, 0, 1, 5);
    setLayout(grid);

    connect(manualButton, &QPushButton::clicked, this, &MyWidget::help);
    connect(searchBox, &QLineEdit::returnPressed, this, &MyWidget::search);
    connect(aboutButton, &QPushButton::clicked, this, &MyWidget::aboutBrowser);
    connect(searchButton, &QPushButton::clicked, this, &MyWidget::search);
    // The choice is recorded (and a custom link asked for) before the trait panel relabels its
    // link button, so every radio button is connected to the chooser first.
    const QList<QRadioButton *> radios = m_setupLink->radioButtons();
    for (QRadioButton *radio : radios)
        connect(radio, &QRadioButton::clicked, m_setupLink.get(), &SetupLink::link);
    for (QRadioButton *radio : radios)
        connect(radio, &QRadioButton::clicked, traitPanel, &byID::changeLinkText);
}

MyWidget::~MyWidget() = default;

QString MyWidget::manualAddress()
{
    return QStringLiteral("https://quillmap.org/manual.html");
}

void MyWidget::aboutBrowser()
{
    DialogProvider::instance().about(
        this, tr("About Quillmap"),
        tr("<h2>Quillmap 0.0.2</h2>"
           "<p>Browse the results of genome-wide association studies of many traits: by trait, "
           "with a genome-wide plot, and by position, with the best traits of each megabase "
           "and a gene track.</p>"
           "<p>Written by the Quillmap developers.</p>"
           "<p><a href=\"https://quillmap.org/\">https://quillmap.org/</a></p>"));
}

void MyWidget::search()
{
    const QString text = searchBox->text();
    if (text.isNull())
        return;
    linkout::openLink(text);
}

void MyWidget::help()
{
    QDesktopServices::openUrl(QUrl(manualAddress()));
}

void MyWidget::showTrait(const QString &trait)
{
    // "All" mode with the trait chosen in the all-traits box, as a user would pick it.
    const int entry = traitPanel->ProbeID->findText(trait, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (entry <= 0)
        return;
    tabs->setCurrentWidget(traitPanel);
    traitPanel->geneName->setCurrentIndex(0);
    if (traitPanel->ProbeID->currentIndex() == entry)
        QMetaObject::invokeMethod(traitPanel, "display_result");
    else
        traitPanel->ProbeID->setCurrentIndex(entry);
}

void MyWidget::showTraitAt(const QString &trait, const QString &snp)
{
    showTrait(trait);
    if (!snp.isEmpty() && traitPanel->ProbeIDSelected->currentText() == trait)
        traitPanel->selectSnp(snp);
}

void MyWidget::showLocus(const QString &snp)
{
    tabs->setCurrentWidget(positionPanel);
    positionPanel->showSnp(snp, true);
}

} // namespace quillmap
