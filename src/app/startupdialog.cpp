#include "app/startupdialog.h"

#include "dataset/datasetregistry.h"
#include "common/dialogprovider.h"
#include "session/sharedstate.h"
#include "app/loadwizard.h"

#include <QFile>
#include <QTextStream>

namespace quillmap {

namespace {
const QString Placeholder = QStringLiteral("Choose Data Set");
}

StartupDialog::StartupDialog(QWidget *parent)
    : FormDialog(parent)
{
    quillmap::datasetRegistry() = registrystore::read();
    fillComboBox();

    connect(loadData, &QPushButton::clicked, this, &StartupDialog::loadData1);
    connect(browseData, &QPushButton::clicked, this, &StartupDialog::browseData1);
    connect(removeButton, &QPushButton::clicked, this, &StartupDialog::removeData);
}

void StartupDialog::fillComboBox()
{
    datasetComboBox->clear();
    datasetComboBox->addItem(Placeholder);
    datasetComboBox->addItems(quillmap::datasetRegistry());
    datasetComboBox->setCurrentIndex(0);
}

// The list on disk may have changed since this dialog read it (an import from the command line
// meanwhile): the update merges with it, and the dialog shows the merged list.
void StartupDialog::addDataset(const QString &folder)
{
    QStringList &registry = quillmap::datasetRegistry();
    const registrystore::Update update = registrystore::add(folder);
    QStringList merged = update.saved ? update.folders : registry;
    if (!merged.contains(folder, Qt::CaseSensitive))
        merged.append(folder);
    const QStringList before = registry;
    registry = merged;
    if (registry == before + QStringList{folder})
        datasetComboBox->addItem(folder);
    else if (registry != before)
        fillComboBox();
    datasetComboBox->setCurrentIndex(0);
}

void StartupDialog::removeDataset(const QString &text)
{
    QStringList &registry = quillmap::datasetRegistry();
    const registrystore::Update update = registrystore::remove(text);
    if (update.saved)
        registry = update.folders;
    else
        registry.removeOne(text);
    fillComboBox();
}

void StartupDialog::loadData1()
{
    const LoadWizardResult result = runLoadWizard(this);
    switch (result.outcome) {
    case LoadWizardResult::Stopped:
        break;
    case LoadWizardResult::Failed:
        m_accepted = false;
        reject();
        break;
    case LoadWizardResult::Imported:
        addDataset(result.folder);
        break;
    }
}

void StartupDialog::browseData1()
{
    const QStringList &registry = quillmap::datasetRegistry();
    const int index = datasetComboBox->currentIndex();
    if (!registry.isEmpty() && index > 0 && index <= registry.size())
        quillmap::currentDatasetFolder() = registry.at(index - 1);

    QFile report(quillmap::currentDatasetFolder() + QStringLiteral("/summary.txt"));
    if (!report.open(QIODevice::ReadOnly | QIODevice::Text)) {
        dialogs::notice(this, tr("Please load data first!"));
        return;
    }
    // Line 6 holds the import's error line after a failure and the trait count after success.
    QTextStream in(&report);
    QString sixth;
    for (int line = 1; line <= 6; ++line)
        sixth = in.readLine();

    if (sixth.contains(QStringLiteral("error"), Qt::CaseSensitive)) {
        dialogs::information(
            this, tr("There is error when loading the data, please check summary.txt for details."));
        m_accepted = false;
    } else {
        m_accepted = true;
    }
    reject();
}

void StartupDialog::removeData()
{
    if (datasetComboBox->currentIndex() < 1)
        return;
    removeDataset(datasetComboBox->currentText());
}

} // namespace quillmap
