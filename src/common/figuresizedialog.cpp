#include "common/figuresizedialog.h"

#include "common/dialogprovider.h"
#include "figures/figureexport.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>

namespace quillmap {

namespace {

QSpinBox *spinBox(const QString &name, int low, int high, int value, QWidget *parent)
{
    auto *box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(low, high);
    box->setValue(value);
    return box;
}

} // namespace

FigureSizeDialog::FigureSizeDialog(QSize size, int dpi, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Picture size"));
    // The limits of the figure writer.
    widthBox = spinBox(QStringLiteral("figureWidth"), 100, 20000, size.width(), this);
    heightBox = spinBox(QStringLiteral("figureHeight"), 100, 20000, size.height(), this);
    dpiBox = spinBox(QStringLiteral("figureDpi"), 10, 2400, dpi, this);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *form = new QFormLayout(this);
    form->addRow(QStringLiteral("Width (pixels)"), widthBox);
    form->addRow(QStringLiteral("Height (pixels)"), heightBox);
    form->addRow(QStringLiteral("Resolution (dpi)"), dpiBox);
    form->addRow(buttons);
}

QSize FigureSizeDialog::pictureSize() const
{
    return QSize(widthBox->value(), heightBox->value());
}

int FigureSizeDialog::dpi() const
{
    return dpiBox->value();
}

QString figureSaveFilter()
{
    return QStringLiteral("Images (*.pdf);;Images (*.svg);;Images (*.png)");
}

bool isFigurePath(const QString &path)
{
    const auto format = figures::figureFormatOf(path);
    return format && *format != figures::FigureFormat::Pdf;
}

void saveFigure(QWidget *parent, const QString &path, QSize screenSize,
                const std::function<void(QPainter &painter, QSize size)> &paint)
{
    QSize size = screenSize.expandedTo(QSize(100, 100));
    int dpi = 96;
    if (figures::figureFormatOf(path) == figures::FigureFormat::Png) {
        FigureSizeDialog dialog(size, dpi, parent);
        if (DialogProvider::instance().exec(&dialog) != QDialog::Accepted)
            return;
        size = dialog.pictureSize();
        dpi = dialog.dpi();
    }
    QString error;
    if (!figures::exportFigure(path, size, dpi, paint, &error))
        dialogs::information(parent, QStringLiteral("The file %1 could not be written!").arg(path));
}

void saveFigureAs(QWidget *parent, const QString &caption, const QString &suggestedPath, QSize size, int dpi,
                  const std::function<void(QPainter &painter, QSize size)> &paint)
{
    const QString path = DialogProvider::instance().saveFileName(
        parent, caption, suggestedPath, QStringLiteral("Figures (*.svg *.pdf *.png)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!figures::exportFigure(path, size, dpi, paint, &error))
        dialogs::information(parent, error);
}

} // namespace quillmap
