#include "dataset/datasetregistry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTest>

#include <sys/stat.h>
#include <thread>
#include <vector>

using namespace quillmap;

namespace {

QSettings toolkitSettings()
{
    return QSettings(QStringLiteral("Diravizi"), QStringLiteral("Quillmap"));
}

// The toolkit's reading of the store. From a copy under a new name each time: the toolkit keeps
// files it read in a cache, and a rewrite of the same size within its clock's step looks
// unchanged to it.
QStringList toolkitRead()
{
    static int copies = 0;
    const QString copy = QFileInfo(registrystore::storePath()).absolutePath()
        + QStringLiteral("/copy-%1.conf").arg(++copies);
    QFile::remove(copy);
    if (!QFile::copy(registrystore::storePath(), copy))
        return {QStringLiteral("<no copy>")};
    QStringList folders = QSettings(copy, QSettings::IniFormat).value(QStringLiteral("path")).toStringList();
    QFile::remove(copy);
    return folders;
}

void writeStore(const QByteArray &bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(registrystore::storePath()).absolutePath()));
    QFile file(registrystore::storePath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class tst_DatasetRegistry final : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QFile::remove(registrystore::storePath()); }
    void sameFileAsTheToolkit();
    void roundTrip_data();
    void roundTrip();
    void damagedLinesCostOnlyThemselves_data();
    void damagedLinesCostOnlyThemselves();
    void simultaneousAddsAllKept();
    void fifoIsRefused();
};

void tst_DatasetRegistry::sameFileAsTheToolkit()
{
    QCOMPARE(registrystore::storePath(), toolkitSettings().fileName());
}

// Either side reads what the other wrote, whatever the folder names hold.
void tst_DatasetRegistry::roundTrip_data()
{
    QTest::addColumn<QStringList>("folders");
    QTest::newRow("empty") << QStringList();
    QTest::newRow("one") << QStringList{QStringLiteral("/data/one")};
    QTest::newRow("plain") << QStringList{QStringLiteral("/data/a"), QStringLiteral("/data/b")};
    QTest::newRow("separators") << QStringList{QStringLiteral("/d/a,b"), QStringLiteral("/d/x;y"),
                                               QStringLiteral("/d/k=v")};
    QTest::newRow("quotes and backslashes")
        << QStringList{QStringLiteral("/d/\"q\""), QStringLiteral("/d/back\\slash\\")};
    QTest::newRow("blanks at the ends")
        << QStringList{QStringLiteral("/d/ends "), QStringLiteral("/d/two  blanks")};
    QTest::newRow("beyond ASCII") << QStringList{QStringLiteral("/d/\u00e9t\u00e9"),
                                                 QStringLiteral("/d/\U0001F600")};
    QTest::newRow("control characters") << QStringList{QStringLiteral("/d/a\tb"),
                                                       QStringLiteral("/d/\x01"
                                                                      "f00")};
    QTest::newRow("at signs") << QStringList{QStringLiteral("/d/@Invalid()"), QStringLiteral("/@@")};
}

void tst_DatasetRegistry::roundTrip()
{
    QFETCH(QStringList, folders);
    QVERIFY(registrystore::write(folders));
    QCOMPARE(toolkitRead(), folders);
    QCOMPARE(registrystore::read(), folders);

    const QString written = QFileInfo(registrystore::storePath()).absolutePath()
        + QStringLiteral("/written.conf");
    QFile::remove(written);
    QSettings(written, QSettings::IniFormat).setValue(QStringLiteral("path"), folders);
    cleanup();
    QVERIFY(QFile::rename(written, registrystore::storePath()));
    QCOMPARE(registrystore::read(), folders);
}

void tst_DatasetRegistry::damagedLinesCostOnlyThemselves_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");
    const QStringList both{QStringLiteral("/data/a"), QStringLiteral("/data/b")};
    QTest::newRow("garbage line after")
        << QByteArray("[General]\npath=/data/a, /data/b\n\x01\xff[[=\n") << both;
    QTest::newRow("garbage line before")
        << (QByteArray("\xfe\x00[x\n", 5) + "[General]\npath=/data/a, /data/b\n") << both;
    QTest::newRow("unfinished section")
        << QByteArray("[General]\npath=/data/a, /data/b\n[Other\nk=v\n") << both;
    QTest::newRow("damaged entry") << QByteArray("[General]\npath=/data/a, @Variant(\\0\\x7f, , /data/b\n")
                                   << both;
}

void tst_DatasetRegistry::damagedLinesCostOnlyThemselves()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);
    writeStore(content);
    QCOMPARE(registrystore::read(), expected);
    // An update keeps them too, and the rest of the file.
    const registrystore::Update update = registrystore::add(QStringLiteral("/data/c"));
    QVERIFY2(update.saved, qPrintable(update.error));
    QCOMPARE(registrystore::read(), expected + QStringList{QStringLiteral("/data/c")});
}

// Imports finishing at once each add their folder to the list on disk.
void tst_DatasetRegistry::simultaneousAddsAllKept()
{
    QVERIFY(registrystore::write({}));
    std::vector<std::thread> imports;
    imports.reserve(12);
    for (int i = 0; i < 12; ++i)
        imports.emplace_back([i] { registrystore::add(QStringLiteral("/data/%1").arg(i)); });
    for (std::thread &import : imports)
        import.join();
    QCOMPARE(registrystore::read().size(), 12);
}

void tst_DatasetRegistry::fifoIsRefused()
{
    QVERIFY(QDir().mkpath(QFileInfo(registrystore::storePath()).absolutePath()));
    QCOMPARE(::mkfifo(QFile::encodeName(registrystore::storePath()).constData(), 0600), 0);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(registrystore::read(), QStringList());
    const registrystore::Update update = registrystore::add(QStringLiteral("/data/a"));
    QVERIFY(!update.saved);
    QVERIFY(!update.error.isEmpty());
    QCOMPARE(update.folders, QStringList{QStringLiteral("/data/a")});
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(QFileInfo(registrystore::storePath()).exists()
            && !QFileInfo(registrystore::storePath()).isFile());
}

QTEST_GUILESS_MAIN(tst_DatasetRegistry)
#include "tst_datasetregistry.moc"
