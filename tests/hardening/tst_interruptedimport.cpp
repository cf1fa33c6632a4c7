// An import killed part way (SIGKILL, as a crash or a power cut would stop it) over a folder that
// held a good dataset. Afterwards the folder either still is the earlier dataset, file for file,
// or the startup check refuses it (summary.txt missing, or its line 6 missing or an error line)
// and the loader refuses it too. It is never a mix of the two datasets that reads as good.

#include "dataset/datasetloader.h"
#include "dataset/datasettables.h"
#include "dataset/datasetfiles.h"
#include "import/importer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <functional>

using namespace quillmap;

namespace {

const char *const DatasetFiles[] = {"summary.txt", "IDlist.dat", "SNPlist.dat", "table1.dat",
                                    "ID_Line.dat", "table2.dat", "Pos_Line.dat"};

using Snapshot = QMap<QString, QByteArray>;

Snapshot snapshot(const QString &folder)
{
    Snapshot s;
    for (const char *name : DatasetFiles) {
        QFile file(folder + QLatin1Char('/') + QLatin1String(name));
        s.insert(QLatin1String(name),
                 file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>"));
    }
    return s;
}

void restore(const QString &folder, const Snapshot &s)
{
    QDir(folder).removeRecursively();
    QVERIFY(QDir().mkpath(folder));
    for (auto it = s.cbegin(); it != s.cend(); ++it) {
        QFile file(folder + QLatin1Char('/') + it.key());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(it.value());
    }
}

void writeText(const QString &path, const QByteArray &text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(text), text.size());
}

// What the startup dialog checks before it lets a dataset be browsed.
bool startupCheckPasses(const QString &folder)
{
    QFile file(folder + QStringLiteral("/summary.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> lines = file.readAll().split('\n');
    return lines.size() > 5 && !lines.at(5).isEmpty() && !lines.at(5).contains("error");
}

} // namespace

class tst_InterruptedImport final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void killed_data();
    void killed();

private:
    QStringList indexerArgs(const QString &out) const;

    QTemporaryDir m_dir;
    QString m_inputs;
    Snapshot m_old; // the earlier, good dataset
    Snapshot m_new; // the dataset a complete import writes
    qint64 m_fullRunMs = 0;
};

QStringList tst_InterruptedImport::indexerArgs(const QString &out) const
{
    return {QStringLiteral("--results"),    m_inputs + QStringLiteral("/results.txt"),
            QStringLiteral("--snps"),       m_inputs + QStringLiteral("/snps.txt"),
            QStringLiteral("--traits"),     m_inputs + QStringLiteral("/traits.txt"),
            QStringLiteral("--out"),        out,
            QStringLiteral("--no-register")};
}

void tst_InterruptedImport::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_inputs = m_dir.filePath(QStringLiteral("inputs"));
    QVERIFY(QDir().mkpath(m_inputs));

    // The earlier dataset: a few rows of other traits and SNPs.
    const QString old = m_dir.filePath(QStringLiteral("old"));
    QVERIFY(QDir().mkpath(old));
    writeText(old + QStringLiteral("/r.txt"), "trait\tsnp\tp\tb\tse\nA\tx1\t0.5\t1\t2\nB\tx2\t0.25\t3\t4\n");
    writeText(old + QStringLiteral("/s.txt"), "snp\tchr\tpos\tgene\nx1\t3\t7.5\tg\nx2\tX\t1.25\th\n");
    writeText(old + QStringLiteral("/t.txt"), "trait\tdesc\nA\ta\nB\tb\n");
    const ImportResult made = runImport(old,
                                        ImportInputs{old + QStringLiteral("/r.txt"),
                                                     old + QStringLiteral("/s.txt"),
                                                     old + QStringLiteral("/t.txt"),
                                                     {},
                                                     {},
                                                     {}});
    QVERIFY2(!made.failed, qPrintable(made.errorText));
    m_old = snapshot(old);

    // The new inputs: big enough that the import takes a while, so kills land in every stage.
    QByteArray results("trait\tsnp\tp\tb\tse\n");
    const int rows = 400000, snps = 20000, traits = 400;
    results.reserve(rows * 28);
    for (int i = 0; i < rows; ++i) {
        results += 't' + QByteArray::number(i % traits) + "\trs"
            + QByteArray::number((qint64(i) * 7919) % snps) + '\t' + QByteArray::number((i % 1000) / 1000.0)
            + '\t' + QByteArray::number(i % 97) + ".5\t0." + QByteArray::number(i % 13) + '\n';
    }
    writeText(m_inputs + QStringLiteral("/results.txt"), results);
    QByteArray snpInfo("snp\tchr\tpos\tgene\n");
    for (int s = 0; s < snps; ++s)
        snpInfo += "rs" + QByteArray::number(s) + '\t' + QByteArray::number(s % 22 + 1) + '\t'
            + QByteArray::number((s * 37) % 240) + ".25\tg\n";
    writeText(m_inputs + QStringLiteral("/snps.txt"), snpInfo);
    QByteArray traitInfo("trait\tdesc\n");
    for (int t = 0; t < traits; ++t)
        traitInfo += 't' + QByteArray::number(t) + "\td\n";
    writeText(m_inputs + QStringLiteral("/traits.txt"), traitInfo);

    // A complete run gives the new dataset and the time the kills are spread over.
    const QString full = m_dir.filePath(QStringLiteral("full"));
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(QUILLMAP_INDEXER), indexerArgs(full));
    QVERIFY(process.waitForFinished(300000));
    m_fullRunMs = clock.elapsed();
    QCOMPARE(process.exitCode(), 0);
    m_new = snapshot(full);
    QVERIFY(m_new != m_old);
}

void tst_InterruptedImport::killed_data()
{
    // When to kill: after a share of a complete run's time, or as soon as the folder shows a
    // given step of the import.
    QTest::addColumn<double>("share");
    QTest::addColumn<QString>("whenFile"); // kill once this file differs from the old dataset's
    for (int k = 0; k <= 10; ++k)
        QTest::addRow("after %d%% of the run", k * 10) << k / 10.0 << QString();
    for (const char *name : {"summary.txt", "IDlist.dat", "SNPlist.dat", "table1.dat", "ID_Line.dat",
                             "table2.dat", "Pos_Line.dat"})
        QTest::addRow("as soon as %s is replaced", name) << 0.0 << QString::fromLatin1(name);
}

void tst_InterruptedImport::killed()
{
    QFETCH(double, share);
    QFETCH(QString, whenFile);
    const QString folder = m_dir.filePath(QStringLiteral("dataset"));
    restore(folder, m_old);

    QProcess process;
    process.start(QStringLiteral(QUILLMAP_INDEXER), indexerArgs(folder));
    QVERIFY(process.waitForStarted());
    if (whenFile.isEmpty()) {
        QThread::msleep(qulonglong(share * double(m_fullRunMs)));
    } else {
        const QString path = folder + QLatin1Char('/') + whenFile;
        const QByteArray before = m_old.value(whenFile);
        const qint64 oldSize = before.size();
        const QDateTime oldTime = QFileInfo(path).lastModified();
        while (process.state() == QProcess::Running) {
            const QFileInfo info(path);
            if (info.size() != oldSize || info.lastModified() != oldTime)
                break;
            QThread::usleep(200);
        }
    }
    process.kill();
    QVERIFY(process.waitForFinished(60000));

    const Snapshot now = snapshot(folder);
    DatasetTables tables;
    const Status loaded = DatasetLoader(folder).load(tables);
    if (startupCheckPasses(folder)) {
        QVERIFY2(now == m_old || now == m_new, "a mix of two datasets passes the startup check");
        QVERIFY2(loaded.ok(), qPrintable(loaded.message()));
        QCOMPARE(tables.traitNames.size(), now == m_old ? 2 : 400);
    } else {
        // Refused at startup; the loader, reached some other way, must refuse it as well.
        QVERIFY2(!loaded.ok(), "a folder the startup check refuses opens in the loader");
        QVERIFY(!loaded.message().isEmpty());
    }
}

QTEST_GUILESS_MAIN(tst_InterruptedImport)
#include "tst_interruptedimport.moc"
