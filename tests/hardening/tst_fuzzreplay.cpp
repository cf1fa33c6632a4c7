// Runs one fuzz target over its committed inputs (seeds and the inputs of past findings) in the
// ordinary build, so every test run, and the sanitizer run, replays them. The target aborts on a
// broken invariant, which fails the test.

#include "fuzzsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <cstddef>
#include <cstdint>

using namespace quillmap;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) __attribute__((weak));

class tst_FuzzReplay final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void replay_data();
    void replay();
    void cleanupTestCase();
};

void tst_FuzzReplay::initTestCase()
{
    if (LLVMFuzzerInitialize) {
        int argc = 0;
        char **argv = nullptr;
        LLVMFuzzerInitialize(&argc, &argv);
    }
}

void tst_FuzzReplay::replay_data()
{
    QTest::addColumn<QString>("path");
    const QDir corpus(QStringLiteral(QUILLMAP_FUZZ_CORPUS));
    const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
    QVERIFY2(!names.isEmpty(), QUILLMAP_FUZZ_CORPUS);
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << corpus.filePath(name);
}

void tst_FuzzReplay::replay()
{
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())),
        0);
}

void tst_FuzzReplay::cleanupTestCase()
{
    QDir(fuzz::scratch()).removeRecursively();
}

QTEST_GUILESS_MAIN(tst_FuzzReplay)
#include "tst_fuzzreplay.moc"
