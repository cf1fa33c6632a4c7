#include "app/browsingphase.h"
#include "session/sharedstate.h"
#include "import/importer.h"
#include "support/examplestudy.h"
#include "support/scripteddialogs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace quillmap;

class TestBrowsingPhase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void windowAndExitCode();

private:
    QTemporaryDir m_dir;
};

// The main window opens on an imported dataset, as it does after BROWSE DATA.
void TestBrowsingPhase::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const ImportResult result = importExampleStudy(m_dir.path());
    QVERIFY2(!result.failed, qPrintable(result.errorText));
    quillmap::currentDatasetFolder() = m_dir.path();
    // Icons are looked up in the working directory; the program is run from the repository root.
    QVERIFY(QDir::setCurrent(QStringLiteral(QUILLMAP_TESTDATA "/../..")));
}

void TestBrowsingPhase::windowAndExitCode()
{
    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);

    QString title;
    QRect geometry;
    bool visible = false;
    bool hasIcon = false;
    int windows = 0;
    // Polled, because building the window may run event loops of its own before the phase's.
    QTimer poll;
    QElapsedTimer waited;
    waited.start();
    connect(&poll, &QTimer::timeout, this, [&] {
        QWidget *window = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->inherits("quillmap::MyWidget") && w->isVisible()) {
                window = w;
                ++windows;
            }
        if (!window) {
            if (waited.elapsed() > 60000)
                QCoreApplication::exit(-1);
            return;
        }
        poll.stop();
        title = window->windowTitle();
        geometry = window->geometry();
        visible = true;
        hasIcon = !window->windowIcon().isNull();
        QCoreApplication::exit(7);
    });
    poll.start(10);

    QCOMPARE(runBrowsingPhase(), 7);
    QCOMPARE(windows, 1);
    QCOMPARE(title, QStringLiteral("Quillmap 0.0.2 (2008.10)"));
    QCOMPARE(geometry, QRect(100, 100, 1000, 800));
    QVERIFY(visible);
    QVERIFY(hasIcon);
    QVERIFY(QFile::exists(QStringLiteral("splash.png")));
    QVERIFY(!QImage(QStringLiteral("splash.png")).isNull());
    // The window is gone once the phase has ended.
    int left = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        left += w->inherits("quillmap::MyWidget");
    QCOMPARE(left, 0);
    QCOMPARE(scripted.unexpectedCalls(), 0);
}

QTEST_MAIN(TestBrowsingPhase)
#include "tst_browsingphase.moc"
