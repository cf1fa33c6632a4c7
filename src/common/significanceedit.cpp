#include "common/significanceedit.h"

#include "browse/significance.h"

#include <QBoxLayout>
#include <QLabel>

#include <cmath>

namespace quillmap {

SignificanceEdit::SignificanceEdit(QWidget *parent)
    : QLineEdit(QStringLiteral("5e-8"), parent),
      m_p(GenomeWideP),
      m_shown(text())
{
    setObjectName(QStringLiteral("sigLineEdit"));
    setToolTip(QStringLiteral("p-value of the dashed significance line (empty: no line)"));
    setMaximumWidth(70);
    connect(this, &QLineEdit::editingFinished, this, &SignificanceEdit::accept);
}

SignificanceEdit *SignificanceEdit::addTo(QBoxLayout *layout, QWidget *parent)
{
    auto *label = new QLabel(QStringLiteral("Line p"), parent);
    auto *edit = new SignificanceEdit(parent);
    label->setBuddy(edit);
    layout->addWidget(label);
    layout->addWidget(edit);
    return edit;
}

void SignificanceEdit::accept()
{
    const QString typed = text().trimmed();
    double p = qQNaN();
    if (!typed.isEmpty()) {
        const std::optional<double> parsed = parsePValue(typed);
        if (!parsed) {
            setText(m_shown);
            return;
        }
        p = *parsed;
    }
    m_shown = typed;
    if (p == m_p || (std::isnan(p) && std::isnan(m_p)))
        return;
    m_p = p;
    emit pValueChanged();
}

} // namespace quillmap
