#pragma once

#include "browse/significance.h"

class QComboBox;

// The tabs' choice of the p-value statistic: the dataset's statistic names, the one that holds
// p-values chosen first.
namespace quillmap::overview {

void fillStatisticChoice(QComboBox *box);
PValueColumn chosenColumn(const QComboBox *box);

} // namespace quillmap::overview
