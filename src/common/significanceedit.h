#pragma once

#include <QLineEdit>

class QBoxLayout;

namespace quillmap {

// The p-value of a plot's dashed significance line, typed by the user: a number in (0, 1]
// written plainly, or nothing for no line. Other text is refused and the last accepted value
// shown again.
class SignificanceEdit final : public QLineEdit
{
    Q_OBJECT

public:
    explicit SignificanceEdit(QWidget *parent = nullptr);

    // The accepted p-value; NaN when the line is switched off.
    double pValue() const { return m_p; }

    // Adds a "Line p" label and a new edit named "sigLineEdit" at the end of `layout`.
    static SignificanceEdit *addTo(QBoxLayout *layout, QWidget *parent);

signals:
    void pValueChanged();

private:
    void accept();

    double m_p;
    QString m_shown;
};

} // namespace quillmap
