#include "overview/locustab.h"

#include "browse/locusquery.h"
#include "browse/variantquery.h"
#include "common/dialogprovider.h"
#include "dataset/dataset.h"
#include "dataset/ldreference.h"
#include "figures/figureexport.h"
#include "overview/locusgeneview.h"
#include "overview/locuspainter.h"
#include "overview/locusview.h"
#include "session/sharedstate.h"

#include <QComboBox>
#include <QCompleter>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QSplitter>
#include <QVBoxLayout>

#include <cmath>

namespace quillmap {

LocusTab::LocusTab(std::shared_ptr<const Dataset> dataset, QWidget *parent)
    : QWidget(parent),
      m_dataset(dataset ? std::move(dataset) : Dataset::unloaded(QString()))
{
    const DatasetTables &tables = m_dataset->tables();
    centreBox = new QLineEdit;
    centreBox->setObjectName(QStringLiteral("locusCentreBox"));
    centreBox->setPlaceholderText(tr("rs1267250, 19:45417984 or a gene"));
    traitBox = new QComboBox;
    traitBox->setObjectName(QStringLiteral("locusTraitBox"));
    traitBox->setEditable(true);
    traitBox->setInsertPolicy(QComboBox::NoInsert);
    traitBox->addItem(QString());
    traitBox->addItems(tables.traitNames);
    traitBox->completer()->setCompletionMode(QCompleter::PopupCompletion);
    traitBox->completer()->setFilterMode(Qt::MatchContains);
    traitBox->setToolTip(tr("The trait to show; empty: the trait with the smallest p at the centre"));
    widthBox = new QSpinBox;
    widthBox->setObjectName(QStringLiteral("locusWidthBox"));
    widthBox->setRange(int(LocusWindow::MinWidth / 1000), int(LocusWindow::MaxWidth / 1000));
    widthBox->setValue(int(LocusWindow::DefaultWidth / 1000));
    widthBox->setSuffix(tr(" kb"));
    overlayBox = new QLineEdit;
    overlayBox->setObjectName(QStringLiteral("locusOverlayBox"));
    overlayBox->setPlaceholderText(tr("up to 4 more traits, separated by commas"));
    auto *showButton = new QPushButton(tr("Show"));
    m_backButton = new QPushButton(tr("Back"));
    m_forwardButton = new QPushButton(tr("Forward"));
    auto *ldButton = new QPushButton(tr("LD reference..."));
    auto *saveButton = new QPushButton(tr("SaveImage"));
    status = new QLabel;
    status->setTextFormat(Qt::PlainText);
    ldLabel = new QLabel;
    ldLabel->setTextFormat(Qt::PlainText);
    plot = new LocusView;
    plot->setObjectName(QStringLiteral("locusPlot"));
    plot->setStatisticNames(tables.statisticNames);
    plot->setSnpText([this](int snp) { return m_dataset->tables().snpNames.value(snp); });
    genes = new LocusGeneView;
    genes->setObjectName(QStringLiteral("locusGenes"));

    auto *row1 = new QHBoxLayout;
    row1->addWidget(new QLabel(tr("Centre")));
    row1->addWidget(centreBox, 2);
    row1->addWidget(new QLabel(tr("Trait")));
    row1->addWidget(traitBox, 2);
    row1->addWidget(new QLabel(tr("Width")));
    row1->addWidget(widthBox);
    row1->addWidget(showButton);
    row1->addWidget(m_backButton);
    row1->addWidget(m_forwardButton);
    auto *row2 = new QHBoxLayout;
    row2->addWidget(new QLabel(tr("Overlay")));
    row2->addWidget(overlayBox, 2);
    row2->addWidget(ldButton);
    row2->addWidget(ldLabel, 1);
    row2->addWidget(saveButton);
    auto *splitter = new QSplitter(Qt::Vertical);
    splitter->setObjectName(QStringLiteral("locusSplitter"));
    splitter->addWidget(plot);
    splitter->addWidget(genes);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(row1);
    layout->addLayout(row2);
    layout->addWidget(status);
    layout->addWidget(splitter, 1);

    const auto show = [this] { showPlace(centreBox->text()); };
    connect(centreBox, &QLineEdit::returnPressed, this, show);
    connect(showButton, &QPushButton::clicked, this, show);
    connect(m_backButton, &QPushButton::clicked, this, &LocusTab::back);
    connect(m_forwardButton, &QPushButton::clicked, this, &LocusTab::forward);
    connect(ldButton, &QPushButton::clicked, this, &LocusTab::chooseLdFile);
    connect(saveButton, &QPushButton::clicked, this, &LocusTab::savePlot);
    connect(overlayBox, &QLineEdit::returnPressed, this, &LocusTab::reload);
    connect(widthBox, &QSpinBox::editingFinished, this, [this] {
        if (m_place.window.chromosome == 0 || widthBox->value() * 1000ll == m_place.window.width())
            return;
        const qint64 centre = (m_place.window.startBp + m_place.window.endBp) / 2;
        m_place.window = LocusWindow::centred(m_place.window.chromosome, centre, widthBox->value() * 1000ll,
                                              m_dataset->build());
        reload();
    });
    connect(plot, &LocusView::zoomRequested, this, &LocusTab::zoom);
    connect(plot, &LocusView::panRequested, this, &LocusTab::pan);
    connect(plot, &LocusView::indexChosen, this, &LocusTab::chooseIndex);
    connect(plot, &LocusView::windowDragged, this,
            [this](const LocusWindow &window) { genes->setWindow(m_dataset->folder(), window); });

    // The import's fileset, said in the line rather than in a box: the tab works without it.
    const QString recorded = LdReference::recordedPrefix(m_dataset->folder());
    if (!recorded.isEmpty()) {
        const auto opened = LdReference::open(recorded);
        if (opened)
            setLdReference(recorded);
        else
            ldLabel->setText(opened.message());
    }
    m_backButton->setEnabled(false);
    m_forwardButton->setEnabled(false);
}

LocusTab::~LocusTab() = default;

void LocusTab::showPlace(const QString &text)
{
    if (centreBox->text() != text)
        centreBox->setText(text);
    const VariantQuery::Target target = VariantQuery::resolve(*m_dataset, text);
    if (target.kind == VariantQuery::Kind::None) {
        status->setText(target.message);
        return;
    }
    Place place;
    place.trait = traitBox->currentText().trimmed();
    if (place.trait.isEmpty()) {
        const Result<VariantQuery::Table> rows = VariantQuery::traitRows(*m_dataset, target);
        if (!rows) {
            status->setText(rows.message());
            return;
        }
        if (rows->rows.empty()) {
            status->setText(tr("No trait has a row at %1").arg(text));
            return;
        }
        place.trait = rows->rows.front().trait;
        traitBox->setCurrentText(place.trait);
    } else if (!m_dataset->tables().traitNames.contains(place.trait)) {
        status->setText(tr("The trait %1 is not in the dataset").arg(place.trait));
        return;
    }
    place.indexSnp = target.snpIndex;
    place.window = LocusWindow::centred(target.chromosome, (target.startBp + target.endBp) / 2,
                                        widthBox->value() * 1000ll, m_dataset->build());
    visit(place);
}

void LocusTab::visit(const Place &place)
{
    // A new place drops the places ahead of the current one, as a browser's history does.
    m_history.resize(size_t(m_at + 1));
    m_history.push_back(place);
    m_at = int(m_history.size()) - 1;
    m_place = place;
    reload();
}

void LocusTab::back()
{
    if (m_at <= 0)
        return;
    m_history[size_t(m_at)] = m_place;
    m_place = m_history[size_t(--m_at)];
    traitBox->setCurrentText(m_place.trait);
    reload();
}

void LocusTab::forward()
{
    if (m_at + 1 >= int(m_history.size()))
        return;
    m_history[size_t(m_at)] = m_place;
    m_place = m_history[size_t(++m_at)];
    traitBox->setCurrentText(m_place.trait);
    reload();
}

void LocusTab::zoom(double factor, double anchorBp)
{
    if (m_place.window.chromosome == 0)
        return;
    m_place.window = m_place.window.zoomed(factor, anchorBp, m_dataset->build());
    widthBox->setValue(int(m_place.window.width() / 1000));
    reload();
}

void LocusTab::pan(qint64 deltaBp)
{
    if (m_place.window.chromosome == 0)
        return;
    m_place.window = m_place.window.panned(deltaBp, m_dataset->build());
    reload();
}

void LocusTab::chooseIndex(int row)
{
    if (plot->series().empty() || row < 0 || row >= plot->series().front().count())
        return;
    Place place = m_place;
    place.indexSnp = plot->series().front().rows.rows[size_t(row)].snpIndex;
    visit(place);
}

void LocusTab::reload()
{
    m_backButton->setEnabled(m_at > 0);
    m_forwardButton->setEnabled(m_at + 1 < int(m_history.size()));
    const DatasetTables &tables = m_dataset->tables();
    QStringList traits{m_place.trait};
    static const QRegularExpression separators(QStringLiteral("[,;\\s]+"));
    for (const QString &name : overlayBox->text().split(separators, Qt::SkipEmptyParts)) {
        if (!traits.contains(name) && traits.size() <= LocusPainter::MaxOverlays)
            traits << name;
    }
    std::vector<LocusQuery::Locus> series;
    QStringList unknown;
    for (const QString &trait : std::as_const(traits)) {
        const int index = int(tables.traitNames.indexOf(trait));
        if (index < 0) {
            unknown << trait;
            continue;
        }
        Result<LocusQuery::Locus> read = LocusQuery::read(*m_dataset, index, m_place.window);
        if (!read) {
            status->setText(read.message());
            return;
        }
        series.push_back(std::move(*read));
    }
    if (series.empty() || series.front().trait != m_place.trait) {
        status->setText(tr("The trait %1 is not in the dataset").arg(m_place.trait));
        return;
    }
    LocusQuery::Locus &main = series.front();
    int indexRow = main.rowOfSnp(m_place.indexSnp);
    if (indexRow < 0)
        indexRow = main.leadRow();
    QString ldText;
    if (m_ld && indexRow >= 0) {
        const Result<int> matched = LocusQuery::addR2(main, *m_dataset, *m_ld, indexRow);
        if (!matched)
            ldText = matched.message();
        else if (std::isnan(main.r2[size_t(indexRow)]))
            ldText = tr("; the index SNP is not in the LD reference");
        else
            ldText = tr("; %1 of them in the LD reference").arg(*matched);
    }
    const double significance = main.pColumn.valid() ? -std::log10(GenomeWideP) : 0.0;
    const QString indexName = indexRow >= 0 ? tables.snpNames.value(main.rows.rows[size_t(indexRow)].snpIndex)
                                            : QString();
    QString text = tr("%1 at %2-%3: %n SNP(s)", nullptr, main.count())
                       .arg(main.trait,
                            VariantQuery::locationText(m_place.window.chromosome, m_place.window.startBp))
                       .arg(m_place.window.endBp);
    if (!indexName.isEmpty())
        text += tr(", index SNP %1").arg(indexName);
    text += ldText;
    if (!unknown.isEmpty())
        text += tr("; not in the dataset: %1").arg(unknown.join(QStringLiteral(", ")));
    status->setText(text);
    plot->setRates(m_ld ? m_ld->recombinationRates(m_place.window.chromosome, m_place.window.startBp,
                                                   m_place.window.endBp)
                        : std::vector<std::pair<qint64, double>>());
    plot->setScene(m_place.window, std::move(series), indexRow, significance, m_ld != nullptr);
    genes->setWindow(m_dataset->folder(), m_place.window);
}

bool LocusTab::setLdReference(const QString &prefix)
{
    if (prefix.isEmpty()) {
        m_ld.reset();
        ldLabel->clear();
    } else {
        const auto opened = LdReference::open(prefix);
        if (!opened) {
            dialogs::information(this, opened.message());
            return false;
        }
        m_ld = *opened;
        ldLabel->setText(
            tr("LD: %1 (%n sample(s))", nullptr, int(m_ld->sampleCount())).arg(QFileInfo(prefix).fileName()));
    }
    if (m_place.window.chromosome != 0)
        reload();
    return true;
}

void LocusTab::chooseLdFile()
{
    const QString path = DialogProvider::instance().openFileName(
        this, tr("LD reference"), programFolder(), tr("PLINK binary filesets (*.bed);;All files (*)"));
    if (path.isEmpty())
        return;
    setLdReference(path.endsWith(QStringLiteral(".bed"), Qt::CaseInsensitive) ? path.chopped(4) : path);
}

void LocusTab::savePlot()
{
    if (plot->series().empty()) {
        dialogs::information(this, tr("Show a locus first."));
        return;
    }
    const QString path = DialogProvider::instance().saveFileName(
        this, tr("Save plot"),
        programFolder() + QStringLiteral("/locus-%1.svg").arg(plot->series().front().trait),
        tr("Figures (*.svg *.pdf *.png)"));
    if (path.isEmpty())
        return;
    const int plotHeight = plot->height();
    const int geneHeight = int(LocusPainter::genesHeight(genes->rows()));
    QString error;
    if (!figures::exportFigure(
            path, QSize(plot->width(), plotHeight + geneHeight), 96,
            [&](QPainter &painter, QSize size) {
                const LocusGeometry geometry(plot->window(), plot->scoreMax(), size.width(),
                                             size.height() - geneHeight);
                LocusPainter::paintPlot(painter, geometry, plot->scene());
                painter.translate(0, size.height() - geneHeight);
                LocusPainter::paintGenes(painter, geometry, genes->genes(), geneHeight);
            },
            &error))
        dialogs::information(this, error);
}

} // namespace quillmap
