#include "overview/statisticchoice.h"

#include "dataset/datasettables.h"

#include <QComboBox>

namespace quillmap::overview {

void fillStatisticChoice(QComboBox *box)
{
    const QStringList &names = datasetTables().statisticNames;
    box->clear();
    box->addItems(names);
    const PValueColumn found = findPValueColumn(names);
    box->setCurrentIndex(found.valid() ? found.statistic : 0);
}

PValueColumn chosenColumn(const QComboBox *box)
{
    return pValueColumnNamed(datasetTables().statisticNames, box->currentText());
}

} // namespace quillmap::overview
