#include "io/atomicfile.h"

#include "../support/filesizelimit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <optional>
#include <sys/stat.h>

using namespace quillmap;

using quillmap::AtomicFile;

Q_DECLARE_METATYPE(AtomicFile::Cache)
Q_DECLARE_METATYPE(AtomicFile::Sync)

namespace {

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class tst_AtomicFile final : public QObject
{
    Q_OBJECT

private slots:
    void replace_data();
    void replace();
};

void tst_AtomicFile::replace_data()
{
    QTest::addColumn<QString>("before"); // none, file, link, folder
    QTest::addColumn<int>("umaskBits");
    QTest::addColumn<qint64>("sizeLimit"); // -1: none
    QTest::addColumn<bool>("commit");
    QTest::addColumn<bool>("replaced");
    QTest::addColumn<int>("mode"); // of the destination afterwards
    QTest::addColumn<AtomicFile::Cache>("cache");
    QTest::addColumn<qint64>("bytes"); // written; -1: a block, or 4 MiB with a limit above 1 MiB
    QTest::addColumn<AtomicFile::Sync>("sync");

    QTest::newRow("new file, umask 022") << "none" << 022 << qint64(-1) << true << true << 0644
                                         << AtomicFile::Cache::Use << qint64(-1) << AtomicFile::Sync::Durable;
    QTest::newRow("new file, umask 077") << "none" << 077 << qint64(-1) << true << true << 0600
                                         << AtomicFile::Cache::Use << qint64(-1) << AtomicFile::Sync::Durable;
    QTest::newRow("existing file keeps its mode")
        << "file" << 077 << qint64(-1) << true << true << 0640 << AtomicFile::Cache::Use << qint64(-1)
        << AtomicFile::Sync::Durable;
    QTest::newRow("link replaced, not followed")
        << "link" << 022 << qint64(-1) << true << true << 0644 << AtomicFile::Cache::Use << qint64(-1)
        << AtomicFile::Sync::Durable;
    QTest::newRow("folder in the way") << "folder" << 022 << qint64(-1) << true << false << 0755
                                       << AtomicFile::Cache::Use << qint64(-1) << AtomicFile::Sync::Durable;
    QTest::newRow("no commit") << "file" << 022 << qint64(-1) << false << false << 0640
                               << AtomicFile::Cache::Use << qint64(-1) << AtomicFile::Sync::Durable;
    // A write of a few KiB failing once the buffer is flushed, as on a nearly full disk.
    QTest::newRow("small write fails") << "file" << 022 << qint64(100) << true << false << 0640
                                       << AtomicFile::Cache::Use << qint64(-1) << AtomicFile::Sync::Durable;
    QTest::newRow("large write fails") << "link" << 022 << qint64(3 << 20) << true << false << 0777
                                       << AtomicFile::Cache::Use << qint64(-1) << AtomicFile::Sync::Durable;
    // Past the page cache: whole blocks, the last one cut to the length at the commit.
    QTest::newRow("bypassing, odd length")
        << "file" << 022 << qint64(-1) << true << true << 0640 << AtomicFile::Cache::Bypass
        << qint64((4 << 20) + 4097) << AtomicFile::Sync::Durable;
    QTest::newRow("bypassing, empty") << "none" << 022 << qint64(-1) << true << true << 0644
                                      << AtomicFile::Cache::Bypass << qint64(0) << AtomicFile::Sync::Durable;
    QTest::newRow("bypassing, last block fails")
        << "file" << 022 << qint64(100) << true << false << 0640 << AtomicFile::Cache::Bypass << qint64(-1)
        << AtomicFile::Sync::Durable;
    QTest::newRow("bypassing, large write fails")
        << "link" << 022 << qint64(3 << 20) << true << false << 0777 << AtomicFile::Cache::Bypass
        << qint64(-1) << AtomicFile::Sync::Durable;
    // Unsynced: as atomic, only not synced.
    QTest::newRow("unsynced, link replaced")
        << "link" << 022 << qint64(-1) << true << true << 0644 << AtomicFile::Cache::Use << qint64(-1)
        << AtomicFile::Sync::Unsynced;
    QTest::newRow("unsynced, small write fails")
        << "file" << 022 << qint64(100) << true << false << 0640 << AtomicFile::Cache::Use << qint64(-1)
        << AtomicFile::Sync::Unsynced;
}

void tst_AtomicFile::replace()
{
    QFETCH(QString, before);
    QFETCH(int, umaskBits);
    QFETCH(qint64, sizeLimit);
    QFETCH(bool, commit);
    QFETCH(bool, replaced);
    QFETCH(int, mode);
    QFETCH(AtomicFile::Cache, cache);
    QFETCH(qint64, bytes);
    QFETCH(AtomicFile::Sync, sync);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("out.dat"));
    const QString elsewhere = dir.filePath(QStringLiteral("elsewhere.txt"));
    QVERIFY(AtomicFile::writeWhole(elsewhere, "precious"));
    if (before == QLatin1String("file")) {
        QVERIFY(AtomicFile::writeWhole(path, "old"));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    } else if (before == QLatin1String("link")) {
        QVERIFY(QFile::link(elsewhere, path));
    } else if (before == QLatin1String("folder")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("out.dat")));
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0755) == 0);
    }
    const QByteArray old = contentOf(path);
    QByteArray content(bytes >= 0 ? bytes : sizeLimit > (1 << 20) ? 4 << 20 : 4096, Qt::Uninitialized);
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = char('a' + i % 23);

    const mode_t savedMask = ::umask(mode_t(umaskBits));
    bool committed = false;
    {
        std::optional<FileSizeLimit> limit;
        if (sizeLimit >= 0)
            limit.emplace(rlim_t(sizeLimit));
        AtomicFile file(path, sync);
        QVERIFY(file.open(cache));
        bool written = true;
        for (qsizetype at = 0; at < content.size(); at += 512)
            written = file.write(
                          QByteArrayView(content).sliced(at, std::min<qsizetype>(512, content.size() - at)))
                && written;
        if (commit)
            committed = file.commit();
        // Buffered writes may fail only when the commit flushes them.
        QVERIFY(written || !committed);
        if (commit && !committed)
            QVERIFY(!file.errorString().isEmpty());
    }
    ::umask(savedMask);

    QCOMPARE(committed, replaced);
    QCOMPARE(contentOf(path), replaced ? content : old);
    QCOMPARE(contentOf(elsewhere), QByteArray("precious"));
    struct stat info;
    QCOMPARE(::lstat(QFile::encodeName(path).constData(), &info), 0);
    QCOMPARE(int(info.st_mode & 07777), mode);
    // No temporary file is left behind, whatever happened.
    QCOMPARE(QDir(dir.path())
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                 .size(),
             2);
}

QTEST_GUILESS_MAIN(tst_AtomicFile)
#include "tst_atomicfile.moc"
