// Odd and hostile input files: each gives a clear error line in summary.txt and the import's
// message, or imports with every name kept byte for byte and every result findable again in the
// browser. Names with quotes, markup and non-ASCII text are shown verbatim in the result table and
// escaped in the legend's HTML.

#include "dataset/regionsearch.h"
#include "dataset/dataset.h"
#include "dataset/datasetloader.h"
#include "dataset/datasettables.h"
#include "browse/ctablemodel.h"
#include "import/importer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <sys/resource.h>
#include <unistd.h>

using namespace quillmap;

namespace {

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A literal with its NUL bytes.
template <size_t N>
QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

QByteArray utf16(const QByteArray &text)
{
    const QString s = QString::fromUtf8(text);
    QByteArray out("\xFF\xFE", 2);
    out.append(reinterpret_cast<const char *>(s.utf16()), s.size() * 2);
    return out;
}

const QByteArray Results = "T\tS\tp\nT1\trs1\t0.5\nT2\trs2\t0.25\n";
const QByteArray Snps = "S\tchr\tpos\nrs1\t1\t1.5\nrs2\tX\t2.5\n";
const QByteArray Traits = "T\tx\nT1\ta\nT2\tb\n";

} // namespace

class tst_HostileInput final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void input_data();
    void input();
    void inputThatIsAFolder_data();
    void inputThatIsAFolder();
    void lineOfTabsCostsAboutItsSize_data();
    void lineOfTabsCostsAboutItsSize();
    void resultsFileGrowsWhileImported();
    void moreRowsThanRowNumbersHold();
    void namesShownVerbatimAndEscaped();

private:
    ImportInputs write(const QString &dir, const QByteArray &results, const QByteArray &snps,
                       const QByteArray &traits);
    QTemporaryDir m_dir;
};

void tst_HostileInput::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

ImportInputs tst_HostileInput::write(const QString &dir, const QByteArray &results, const QByteArray &snps,
                                     const QByteArray &traits)
{
    QDir().mkpath(dir);
    ImportInputs in{dir + QStringLiteral("/results.txt"),
                    dir + QStringLiteral("/snps.txt"),
                    dir + QStringLiteral("/traits.txt"),
                    {},
                    {},
                    {}};
    writeAll(in.results, results);
    writeAll(in.snpInfo, snps);
    writeAll(in.traitInfo, traits);
    return in;
}

void tst_HostileInput::input_data()
{
    QTest::addColumn<QByteArray>("results");
    QTest::addColumn<QByteArray>("snps");
    QTest::addColumn<QByteArray>("traits");
    QTest::addColumn<QString>("error");          // "%1": the file's path; empty: imports
    QTest::addColumn<QStringList>("traitNames"); // after a good import, as the browser lists them

    const QByteArray longName(1 << 20, 'n');
    const QStringList plain{QStringLiteral("T1"), QStringLiteral("T2")};
    QTest::newRow("a trait name of 1 MB")
        << "T\tS\tp\n" + longName + "\trs1\t0.5\nT2\trs2\t0.25\n"
        << Snps << Traits << QString() << QStringList{QStringLiteral("T2"), QString::fromLatin1(longName)};
    QTest::newRow("a line of 1 MB of fields")
        << Results + "T1" + QByteArray(1 << 20, '\t') + '\n'
        << Snps << Traits << QStringLiteral("error : 3th line has different column numbers!")
        << QStringList();
    QTest::newRow("a number of 1 MB")
        << "T\tS\tp\nT1\trs1\t0." + QByteArray(1 << 20, '0') + "5\nT2\trs2\t0.25\n"
        << Snps << Traits << QString() << plain;
    QTest::newRow("a NUL byte in a trait name") << bytes("T\tS\tp\nT\0"
                                                         "1\trs1\t0.5\nT2\trs2\t0.25\n")
                                                << Snps << Traits << QString()
                                                << QStringList{QString::fromUtf8("T\0"
                                                                                 "1",
                                                                                 3),
                                                               QStringLiteral("T2")};
    QTest::newRow("a NUL byte after a statistic")
        << bytes("T\tS\tp\nT1\trs1\t0.5\0\nT2\trs2\t0.25\n") << Snps << Traits
        << QStringLiteral("error : 1th line has invalid numeric number! ") << QStringList();
    QTest::newRow("a NUL byte in a position")
        << Results
        << bytes("S\tchr\tpos\nrs1\t1\t1.\0"
                 "5\nrs2\tX\t2.5\n")
        << Traits
        << QStringLiteral(
               "error :1th line has invalid pos! It must be in Mb with at least 1 digits after decimal!")
        << QStringList();
    QTest::newRow("results file in UTF-16 with its mark")
        << utf16(Results) << Snps << Traits
        << QStringLiteral("error : the results file %1 is UTF-16 text, please save it as UTF-8 text!")
        << QStringList();
    QTest::newRow("SNP information file in UTF-16 with its mark")
        << Results << utf16(Snps) << Traits
        << QStringLiteral("error : the SNP information file %1 is UTF-16 text, please save it as UTF-8 text!")
        << QStringList();
    QTest::newRow("trait information file in UTF-16 with its mark")
        << Results << Snps << utf16(Traits)
        << QStringLiteral(
               "error : the trait information file %1 is UTF-16 text, please save it as UTF-8 text!")
        << QStringList();
    QTest::newRow("UTF-8 marks on every header")
        << "\xEF\xBB\xBF" + Results << "\xEF\xBB\xBF" + Snps << "\xEF\xBB\xBF" + Traits << QString() << plain;
    QTest::newRow("a SNP name ending in a carriage return")
        << QByteArray("T\tS\tp\nT1\trs1\r\t0.5\nT2\trs2\t0.25\n")
        << QByteArray("S\tchr\tpos\nrs1\r\t1\t1.5\nrs2\tX\t2.5\n") << Traits
        << QStringLiteral("error : 1th line has a name ending in a carriage return!") << QStringList();
    QTest::newRow("a trait name ending in a carriage return")
        << QByteArray("T\tS\tp\nT1\trs1\t0.5\nT2\r\trs2\t0.25\n") << Snps << Traits
        << QStringLiteral("error : 2th line has a name ending in a carriage return!") << QStringList();
    QTest::newRow("Latin-1 names") << QByteArray("T\tS\tp\nT\xe9\trs\xe9\t0.5\nT2\trs2\t0.25\n")
                                   << QByteArray("S\tchr\tpos\nrs\xe9\t1\t1.5\nrs2\tX\t2.5\n") << Traits
                                   << QString()
                                   << QStringList{QStringLiteral("T2"), QStringLiteral("T\uFFFD")};
    QTest::newRow("old Mac line ends: one line, no data")
        << QByteArray(Results).replace('\n', '\r') << Snps << Traits
        << QStringLiteral("error : the results file has no data lines!") << QStringList();
}

void tst_HostileInput::input()
{
    QFETCH(QByteArray, results);
    QFETCH(QByteArray, snps);
    QFETCH(QByteArray, traits);
    QFETCH(QString, error);
    QFETCH(QStringList, traitNames);
    const QString dir = m_dir.filePath(QString::number(qHash(QTest::currentDataTag())));
    const ImportInputs in = write(dir, results, snps, traits);
    const QString folder = dir + QStringLiteral("/dataset");
    QVERIFY(QDir().mkpath(folder));

    const ImportResult result = runImport(folder, in);
    const QList<QByteArray> summary = readAll(folder + QStringLiteral("/summary.txt")).split('\n');
    if (!error.isEmpty()) {
        const QString path = error.contains(QLatin1String("results file")) ? in.results
            : error.contains(QLatin1String("SNP information"))             ? in.snpInfo
                                                                           : in.traitInfo;
        const QString expected = error.arg(path);
        QVERIFY(result.failed);
        QCOMPARE(result.errorText, expected);
        QCOMPARE(QString::fromUtf8(summary.value(5)),
                 expected.trimmed() == expected ? expected : expected.chopped(1));
        return;
    }
    QVERIFY2(!result.failed, qPrintable(result.errorText));
    DatasetTables t;
    const Status loaded = DatasetLoader(folder).load(t);
    QVERIFY2(loaded.ok(), qPrintable(loaded.message()));
    QCOMPARE(t.traitNames, traitNames);
    // Every SNP of the results is found again with its position.
    for (int i = 0; i < t.snpNames.size(); ++i)
        QVERIFY2(t.snpLineOfIndex(i) >= 0, qPrintable(t.snpNames.at(i)));
    for (int i = 0; i < t.traitNames.size(); ++i)
        QVERIFY(t.traitFirstRecord(i) >= 0 && t.traitRecordCount(i) == 1);
}

void tst_HostileInput::inputThatIsAFolder_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("error");
    // clang-format off
    QTest::newRow("results") << 0 << "r.txt" << "error : can't open the results file %1!";
    QTest::newRow("results named .gz") << 0 << "r.gz" << "error : can't open the results file %1!";
    QTest::newRow("SNP information") << 1 << "s.txt" << "error : can't open the SNP information file %1!";
    QTest::newRow("trait information") << 2 << "t.txt" << "error : can't open the trait information file %1!";
    QTest::newRow("trait groups") << 3 << "g.txt" << "error : can't open the trait group file %1!";
    QTest::newRow("gene positions") << 4 << "p.txt" << "error : can't open the gene position file %1!";
    // clang-format on
}

void tst_HostileInput::inputThatIsAFolder()
{
    QFETCH(int, which);
    QFETCH(QString, name);
    QFETCH(QString, error);
    const QString dir = m_dir.filePath(QStringLiteral("folder-") + QString::number(which) + name);
    ImportInputs in = write(dir, Results, Snps, Traits);
    in.groups = in.genes = dir + QStringLiteral("/unused");
    writeAll(in.groups, "T\tG\n");
    QString *paths[] = {&in.results, &in.snpInfo, &in.traitInfo, &in.groups, &in.genes};
    *paths[which] = dir + QLatin1Char('/') + name;
    QVERIFY(QDir().mkpath(*paths[which]));
    const QString folder = dir + QStringLiteral("/dataset");
    QVERIFY(QDir().mkpath(folder));
    const ImportResult result = runImport(folder, in);
    QVERIFY(result.failed);
    QCOMPARE(result.failure, ImportResult::Failure::UnreadableInput);
    QCOMPARE(result.errorText, error.arg(*paths[which]));
}

void tst_HostileInput::lineOfTabsCostsAboutItsSize_data()
{
    QTest::addColumn<bool>("inResults");
    QTest::newRow("results") << true;
    QTest::newRow("SNP information") << false;
}

// A line is never split whole before its field count is checked: 32 MB of tabs split whole took
// 16 bytes a field, a gigabyte; here the import gets a few hundred megabytes and must say what
// is wrong with the line.
void tst_HostileInput::lineOfTabsCostsAboutItsSize()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("The address space limit cannot be set under AddressSanitizer");
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    QSKIP("The address space limit cannot be set under AddressSanitizer");
#endif
#endif
    QFETCH(bool, inResults);
    const QByteArray tabs = "rs1" + QByteArray(32 << 20, '\t') + '\n';
    const QString dir = m_dir.filePath(QStringLiteral("tabs-") + QString::number(inResults));
    const ImportInputs in = write(dir, inResults ? "T\tS\tp\n" + tabs : Results,
                                  inResults ? Snps : "S\tchr\tpos\n" + tabs, Traits);
    const QString folder = dir + QStringLiteral("/dataset");
    QVERIFY(QDir().mkpath(folder));

    QFile statm(QStringLiteral("/proc/self/statm"));
    QVERIFY(statm.open(QIODevice::ReadOnly));
    const rlim_t used = rlim_t(statm.readAll().split(' ').value(0).toLongLong())
        * rlim_t(sysconf(_SC_PAGESIZE));
    rlimit saved{};
    getrlimit(RLIMIT_AS, &saved);
    rlimit limit = saved;
    limit.rlim_cur = std::min(saved.rlim_max, used + (rlim_t(400) << 20));
    setrlimit(RLIMIT_AS, &limit);
    const ImportResult result = runImport(folder, in);
    setrlimit(RLIMIT_AS, &saved);
    QVERIFY(result.failed);
    QCOMPARE(result.failure, ImportResult::Failure::Validation);
    QVERIFY2(result.errorText.contains(QLatin1String("1th line has different column numbers!")),
             qPrintable(result.errorText));
}

void tst_HostileInput::resultsFileGrowsWhileImported()
{
    // Lines appended to the results file once it was read change nothing: the tables hold the
    // rows read, and they read back whole.
    const QString dir = m_dir.filePath(QStringLiteral("grows"));
    const ImportInputs in = write(dir, Results, Snps, Traits);
    const QString folder = dir + QStringLiteral("/dataset");
    QVERIFY(QDir().mkpath(folder));
    int appended = 0;
    const ImportResult result = runImport(folder, in, [&](ImportStage stage, qint64) {
        QFile file(in.results);
        if (stage != ImportStage::Results && file.open(QIODevice::Append)) {
            file.write("T3\trs1\t0.5\nT3\trs9\tNA\nbroken line\n");
            ++appended;
        }
    });
    QVERIFY(appended >= 2);
    QVERIFY2(!result.failed, qPrintable(result.errorText));
    QCOMPARE(result.rows, qint64(2));
    DatasetTables t;
    QVERIFY(DatasetLoader(folder).load(t).ok());
    QCOMPARE(t.traitNames, QStringList({QStringLiteral("T1"), QStringLiteral("T2")}));
    QCOMPARE(t.traitRecordTotal(), qint64(2));
    QCOMPARE(QFile(folder + QStringLiteral("/table1.dat")).size(), qint64(24));
}

void tst_HostileInput::moreRowsThanRowNumbersHold()
{
    // 2^31 rows, with the limit lowered to 3: one row more is refused, the limit itself is not.
    const QString dir = m_dir.filePath(QStringLiteral("rows"));
    const QByteArray four = Results + "T1\trs2\t1\nT2\trs1\t2\n";
    const ImportInputs in = write(dir, four, Snps, Traits);
    const QString folder = dir + QStringLiteral("/dataset");
    QVERIFY(QDir().mkpath(folder));
    QCOMPARE(maxResultRows(), qint64(2147483647));
    setMaxResultRowsForTesting(3);
    const ImportResult tooMany = runImport(folder, in);
    writeAll(in.results, Results + "T1\trs2\t1\n");
    const ImportResult three = runImport(folder, in);
    setMaxResultRowsForTesting(0);
    QCOMPARE(maxResultRows(), qint64(2147483647));
    QVERIFY(tooMany.failed);
    QCOMPARE(tooMany.errorText, QStringLiteral("error : the results file has more than 3 data lines!"));
    QVERIFY2(!three.failed, qPrintable(three.errorText));
    QCOMPARE(three.rows, qint64(3));
}

void tst_HostileInput::namesShownVerbatimAndEscaped()
{
    const QByteArray quoted = "\"q\" 'x'";
    const QByteArray markup = "<b>bold</b>&amp;";
    const QByteArray accented = "G\xc3\xa9n\xc3\xa9 \xe2\x80\x94 \xe5\x9f\xba\xe5\x9b\xa0";
    const QString dir = m_dir.filePath(QStringLiteral("names"));
    const ImportInputs in = write(dir,
                                  "T\tS\tp\n" + quoted + "\t" + markup + "\t0.5\n" + markup + "\t" + accented
                                      + "\t0.25\n" + accented + "\t" + quoted + "\t2\n",
                                  "S\tchr\tpos\n" + markup + "\t1\t1.5\n" + accented + "\t1\t1.25\n" + quoted
                                      + "\t1\t1.75\n",
                                  "T\tx\n");
    const QString folder = dir + QStringLiteral("/dataset");
    QVERIFY(QDir().mkpath(folder));
    const ImportResult result = runImport(folder, in);
    QVERIFY2(!result.failed, qPrintable(result.errorText));

    const auto loaded = Dataset::load(folder);
    QVERIFY2(loaded.ok(), qPrintable(loaded.message()));
    const DatasetTables &t = (*loaded)->tables();
    const QStringList names{QString::fromUtf8(quoted), QString::fromUtf8(markup),
                            QString::fromUtf8(accented)};
    QCOMPARE(QSet<QString>(t.traitNames.cbegin(), t.traitNames.cend()),
             QSet<QString>(names.cbegin(), names.cend()));
    QCOMPARE(QSet<QString>(t.snpNames.cbegin(), t.snpNames.cend()),
             QSet<QString>(names.cbegin(), names.cend()));

    const auto read = quillmap::bypos::readRegion(**loaded, 1001);
    QCOMPARE(read->count(), 3);
    // The result table shows the names as they are.
    CTableModel model(*loaded);
    model.setRows(read->count(), t.tableColumnCount, read->rows.data(), nullptr);
    QSet<QString> shown;
    for (int r = 0; r < model.rowCount(); ++r)
        for (int c = 0; c < 2; ++c)
            shown << model.data(model.index(r, c)).toString();
    QCOMPARE(shown, QSet<QString>(names.cbegin(), names.cend()));
    // The legend is HTML: markup in names is escaped, other text kept.
    const auto ranking = quillmap::bypos::rankTraits(*read, t, 0, 0);
    const QString legend = quillmap::bypos::legendHtml(ranking, t);
    QVERIFY(legend.contains(QStringLiteral("&lt;b&gt;bold&lt;/b&gt;&amp;amp;")));
    QVERIFY(!legend.contains(QStringLiteral("<b>bold")));
    QVERIFY(legend.contains(QString::fromUtf8(accented)));
    QVERIFY(legend.contains(QStringLiteral("&quot;q&quot; 'x'")));
}

QTEST_GUILESS_MAIN(tst_HostileInput)
#include "tst_hostileinput.moc"
