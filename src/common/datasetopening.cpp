#include "common/datasetopening.h"

#include "common/dialogprovider.h"
#include "dataset/dataset.h"
#include "session/sharedstate.h"

#include <QFont>
#include <QLabel>
#include <QPainter>
#include <QPixmap>

namespace quillmap {

std::shared_ptr<const Dataset> openDatasetForBrowsing(const QString &folder, QWidget *parent)
{
    // A frameless label rather than QSplashScreen: that one processes pending events on every
    // message, which would run work the caller queued before its own event loop.
    std::unique_ptr<QLabel> splash;
    QPixmap picture(picturePath(QStringLiteral("splash.png")));
    if (!picture.isNull()) {
        QPainter painter(&picture);
        painter.setFont(QFont(QStringLiteral("Times"), 12, QFont::Bold));
        painter.setPen(Qt::blue);
        painter.drawText(picture.rect(), Qt::AlignTop | Qt::AlignLeft,
                         QStringLiteral("                  Loading data..."));
        painter.end();
        splash = std::make_unique<QLabel>(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint);
        splash->setAttribute(Qt::WA_ShowWithoutActivating);
        splash->setPixmap(picture);
        splash->resize(picture.size());
        splash->show();
        splash->repaint();
    }
    Result<std::shared_ptr<const Dataset>> loaded = Dataset::load(folder);
    splash.reset();
    if (loaded)
        return std::move(*loaded);
    dialogs::information(parent, loaded.message());
    return Dataset::unloaded(folder);
}

} // namespace quillmap
