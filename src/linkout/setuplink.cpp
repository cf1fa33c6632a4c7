#include "linkout/setuplink.h"

#include "common/dialogprovider.h"
#include "session/sharedstate.h"
#include "session/linktemplates.h"
#include "linkout/otherlinkdialog.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>

namespace quillmap {

SetupLink::SetupLink(QWidget *parent)
    : QWidget(parent)
{
}

QGroupBox *SetupLink::createDatabaseChooser()
{
    auto *box = new QGroupBox(tr("Choose a Database to Link"));
    // One parent for all six makes them exclusive of each other.
    m_ucsc = new QRadioButton(tr("UCSC"), box);
    m_ncbi = new QRadioButton(tr("NCBI"), box);
    m_omim = new QRadioButton(tr("OMIM"), box);
    m_ensembl = new QRadioButton(tr("Ensembl"), box);
    m_google = new QRadioButton(tr("Google"), box);
    m_other = new QRadioButton(tr("Other"), box);
    m_ucsc->setChecked(true);

    auto *row = new QHBoxLayout;
    for (QRadioButton *button : radioButtons())
        row->addWidget(button);
    row->addStretch(1);
    box->setLayout(row);
    return box;
}

QList<QRadioButton *> SetupLink::radioButtons() const
{
    if (!m_ucsc || !m_ncbi || !m_omim || !m_ensembl || !m_google || !m_other)
        return {};
    return {m_ucsc, m_ncbi, m_omim, m_ensembl, m_google, m_other};
}

void SetupLink::link()
{
    const QList<QRadioButton *> buttons = radioButtons();
    for (int i = 0; i < buttons.size(); ++i)
        if (buttons.at(i)->isChecked())
            quillmap::chosenDatabase() = i;
    if (m_other && m_other->isChecked()) {
        quillmap::chosenDatabase() = linkout::Other;
        otherLink();
    }
}

void SetupLink::otherLink()
{
    OtherlinkDialog dialog;
    DialogProvider::instance().exec(&dialog);
}

} // namespace quillmap
