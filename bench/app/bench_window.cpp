// Times the main window on a dataset folder, as a user sees it after choosing the dataset: from
// the start of the process (before the application object) to the window shown and painted,
// with both panels and the study tabs built. One measurement per process, so every run pays
// the first open; bench/app/run.sh runs it several times and prints the median.
//
//   quillmap-bench-window FOLDER
//       prints "window-shown SECONDS", "window-built SECONDS" (construction alone) and
//       "peak-rss-mb MB".
#include "app/mywidget.h"
#include "common/datasetopening.h"
#include "session/sharedstate.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>

#include <cstdio>

namespace {

long peakRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Notes the first paint of the window it watches.
class PaintWatch final : public QObject
{
public:
    bool painted = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char **argv)
{
    QElapsedTimer timer;
    timer.start();
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillmap-bench-window FOLDER\n");
        return 2;
    }
    quillmap::currentDatasetFolder() = QString::fromLocal8Bit(argv[1]);

    const qint64 beforeBuild = timer.nsecsElapsed();
    quillmap::MyWidget window(quillmap::openDatasetForBrowsing(quillmap::currentDatasetFolder()));
    const qint64 built = timer.nsecsElapsed();
    PaintWatch watch;
    window.installEventFilter(&watch);
    window.setGeometry(100, 100, 1000, 800);
    window.show();
    QElapsedTimer limit;
    limit.start();
    while (!watch.painted && limit.elapsed() < 30000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    const qint64 shown = timer.nsecsElapsed();
    if (!watch.painted) {
        std::fprintf(stderr, "the window was not painted within 30 s\n");
        return 1;
    }
    std::printf("window-built %.3f\nwindow-shown %.3f\npeak-rss-mb %ld\n", (built - beforeBuild) / 1e9,
                shown / 1e9, peakRssKb() / 1024);
    return 0;
}
