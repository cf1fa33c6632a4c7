#include "session/sharedstate.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace quillmap;

// Pictures come from the folder the program was started in, else from the installation's share
// folder, found from the executable's own folder.
class TestPictures : public QObject
{
    Q_OBJECT

private slots:
    void lookup_data();
    void lookup();
    void installedTreeMoved();
};

void TestPictures::lookup_data()
{
    QTest::addColumn<bool>("inWorking");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("working folder only") << true << false << "work";
    QTest::newRow("installed only") << false << true << "prefix/share/quillmap";
    QTest::newRow("both: the working folder wins") << true << true << "work";
    QTest::newRow("neither: the working folder's path") << false << false << "work";
}

void TestPictures::lookup()
{
    QFETCH(bool, inWorking);
    QFETCH(bool, installed);
    QFETCH(QString, expected);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString work = root.filePath(QStringLiteral("work"));
    const QString share = root.filePath(QStringLiteral("prefix/share/quillmap"));
    QVERIFY(QDir().mkpath(work) && QDir().mkpath(share)
            && QDir().mkpath(root.filePath(QStringLiteral("prefix/bin"))));
    // A folder of the picture's name is no picture.
    QVERIFY(QDir().mkpath(work + QStringLiteral("/splash.png")));
    if (inWorking)
        QVERIFY(QFile(work + QStringLiteral("/qtlogo.png")).open(QIODevice::WriteOnly));
    if (installed)
        QVERIFY(QFile(share + QStringLiteral("/qtlogo.png")).open(QIODevice::WriteOnly));
    const QStringList folders{work,
                              quillmap::installedDataFolder(root.filePath(QStringLiteral("prefix/bin")))};
    QCOMPARE(quillmap::findPicture(QStringLiteral("qtlogo.png"), folders),
             root.filePath(expected) + QStringLiteral("/qtlogo.png"));
    QCOMPARE(quillmap::findPicture(QStringLiteral("splash.png"), folders),
             work + QStringLiteral("/splash.png"));
}

// The install rules put the pictures where an installed program looks, also after the whole
// installation has moved elsewhere.
void TestPictures::installedTreeMoved()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QProcess install;
    install.start(QStringLiteral(QUILLMAP_CMAKE),
                  {QStringLiteral("--install"), QStringLiteral(QUILLMAP_BUILD_DIR),
                   QStringLiteral("--prefix"), root.filePath(QStringLiteral("a"))});
    QVERIFY(install.waitForFinished(120000));
    QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
    QVERIFY(QDir(root.path()).rename(QStringLiteral("a"), QStringLiteral("b")));
    const QString bin = root.filePath(QStringLiteral("b/bin"));
    QVERIFY(QFile::exists(bin + QStringLiteral("/quillmap")));
    QVERIFY(QFile::exists(bin + QStringLiteral("/quillmap-index")));
    const QString found = quillmap::findPicture(
        QStringLiteral("splash.png"),
        {root.filePath(QStringLiteral("work")), quillmap::installedDataFolder(bin)});
    QCOMPARE(found, root.filePath(QStringLiteral("b/share/quillmap/splash.png")));
}

QTEST_GUILESS_MAIN(TestPictures)
#include "tst_pictures.moc"
