#pragma once

#include <QDialog>
#include <QSize>

#include <functional>

class QPainter;
class QSpinBox;

namespace quillmap {

// Asks for the size in pixels and the resolution of a PNG picture. The picture looks like the
// screen plot at size x 96 / dpi pixels, drawn dpi / 96 times finer.
class FigureSizeDialog final : public QDialog
{
    Q_OBJECT

public:
    FigureSizeDialog(QSize size, int dpi, QWidget *parent = nullptr);

    QSize pictureSize() const;
    int dpi() const;

    // Named "figureWidth", "figureHeight" and "figureDpi".
    QSpinBox *widthBox = nullptr;
    QSpinBox *heightBox = nullptr;
    QSpinBox *dpiBox = nullptr;
};

// The file filter of the panels' SaveImage buttons: PDF first, then SVG and PNG.
QString figureSaveFilter();

// True for a path that the panels save as SVG or PNG (by its extension) rather than as their
// PDF page.
bool isFigurePath(const QString &path);

// Saves the picture `paint` draws as the SVG or PNG at `path`: an SVG of `screenSize` pixels;
// a PNG of the size and resolution asked for with FigureSizeDialog (through DialogProvider;
// cancelled: nothing written). A failure is reported in a message box.
void saveFigure(QWidget *parent, const QString &path, QSize screenSize,
                const std::function<void(QPainter &painter, QSize size)> &paint);

// Asks (through DialogProvider, titled `caption`, offering `suggestedPath`) where to save the
// picture `paint` draws as SVG, PDF or PNG, then writes it at `size` and `dpi`. Nothing is
// written when no file is chosen; a failure is reported in a message box.
void saveFigureAs(QWidget *parent, const QString &caption, const QString &suggestedPath, QSize size, int dpi,
                  const std::function<void(QPainter &painter, QSize size)> &paint);

} // namespace quillmap
