#include "browse/studysummaries.h"
#include "dataset/dataset.h"
#include "dataset/datasetfiles.h"
#include "dataset/snpinfoindex.h"
#include "import/importer.h"
#include "support/regiondataset.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <functional>

using namespace Qt::StringLiterals;
using namespace quillmap;

namespace {

// Traits shaped for the edge cases: tTie's best p is shared by two SNPs (genome order decides),
// tOne has one row, tEqual has every p equal, tHits has two loci and a p below the threshold
// on another chromosome.
TestDataset study()
{
    TestDataset d;
    d.statNames = {u"pvalue"_s, u"beta"_s};
    d.snps = {{u"rs1"_s, u"1"_s, 1.25, {}}, {u"rs2"_s, u"1"_s, 1.5, {}},   {u"rs3"_s, u"1"_s, 2.5, {}},
              {u"rs4"_s, u"2"_s, 0.5, {}},  {u"rs5"_s, u"X"_s, 0.375, {}}, {u"rs6"_s, u"2"_s, 7.125, {}},
              {u"rs0"_s, u"1"_s, 9.125, {}}};
    d.results = {{u"tTie"_s, u"rs3"_s, {1e-9, 0.5}},   {u"tTie"_s, u"rs1"_s, {1e-9, 0.4}},
                 {u"tTie"_s, u"rs4"_s, {0.2, 0.1}},    {u"tOne"_s, u"rs2"_s, {1e-10, -1}},
                 {u"tEqual"_s, u"rs1"_s, {0.01, 1}},   {u"tEqual"_s, u"rs2"_s, {0.01, 2}},
                 {u"tEqual"_s, u"rs4"_s, {0.01, 3}},   {u"tEqual"_s, u"rs5"_s, {0.01, 4}},
                 {u"tHits"_s, u"rs1"_s, {3e-8, 0.2}},  {u"tHits"_s, u"rs2"_s, {2e-8, 0.2}},
                 {u"tHits"_s, u"rs4"_s, {1e-20, 0.3}}, {u"tHits"_s, u"rs6"_s, {4e-8, 0.1}},
                 {u"tHits"_s, u"rs0"_s, {0.7, 0.1}},   {u"tHits"_s, u"rs5"_s, {0.04, 0.1}}};
    return d;
}

// What the cache must hold: the answers computed from table1.dat as the tabs compute them.
void compareWithLive(const Dataset &dataset, const StudySummaries &cached)
{
    const DatasetTables &tables = dataset.tables();
    const PValueColumn column = findPValueColumn(tables.statisticNames);
    const TraitSummaries live = summarizeTraits(dataset, column, 0, int(tables.traitNames.size()));
    QVERIFY(live.outcome.ok());
    QCOMPARE(cached.traits().size(), live.traits.size());
    for (size_t i = 0; i < live.traits.size(); ++i) {
        const TraitSummary &a = cached.traits()[i], &b = live.traits[i];
        QCOMPARE(a.traitIndex, b.traitIndex);
        QCOMPARE(a.rows, b.rows);
        QCOMPARE(a.pValues, b.pValues);
        QCOMPARE(a.bestSnp, b.bestSnp);
        QCOMPARE(a.bestScore, b.bestScore);
        QCOMPARE(formatLambda(a.lambda), formatLambda(b.lambda));

        std::vector<double> scores;
        QVERIFY(scanTraits(dataset, b.traitIndex, b.traitIndex + 1, [&](const TraitRows &t) {
                    scores = traitScores(t, column);
                    return false;
                }).ok());
        const QqPlotData want = qqPlotData(scores);
        const QqPlotData got = cached.qqPlot(b.traitIndex);
        QCOMPARE(got.count, want.count);
        QCOMPARE(got.expected, want.expected);
        QCOMPARE(got.observed, want.observed);
        QCOMPARE(got.bandLower, want.bandLower);
        QCOMPARE(got.maxObserved, want.maxObserved);
    }
    const TopLociResult loci = topLoci(dataset, column, StudySummaries::DefaultThreshold,
                                       StudySummaries::DefaultWindowBp);
    QCOMPARE(cached.topLoci().size(), loci.loci.size());
    // The listing's rows, all read at once, are those of each locus read alone.
    const std::vector<QStringList> listed = topLocusFields(tables, cached.topLoci());
    QCOMPARE(listed.size(), loci.loci.size());
    for (size_t i = 0; i < loci.loci.size(); ++i) {
        QCOMPARE(topLocusFields(tables, cached.topLoci()[i]), topLocusFields(tables, loci.loci[i]));
        QCOMPARE(listed[i], topLocusFields(tables, loci.loci[i]));
    }
}

} // namespace

bool g_indexReadyAtFinish = false;

class StudySummariesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void answers();
    void untrustedFileRebuilt_data();
    void untrustedFileRebuilt();

private:
    QTemporaryDir m_dir;
    QString m_folder;
    std::shared_ptr<const Dataset> m_dataset;
};

void StudySummariesTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // As the programs do, after a look at the SNP index the import should have left.
    setImportFinishedHook([](const QString &folder) {
        const QString snpInfo = QFileInfo(folder + u"/../snps.txt"_s).absoluteFilePath();
        const SnpInfoIndex::Opened index = SnpInfoIndex::open(
            folder, snpInfo, folder + u"/"_s + QLatin1StringView(files::SnpList));
        g_indexReadyAtFinish = index.index && !index.built;
        StudySummaries::prepare(folder);
    });
    const QString built = buildDataset(m_dir.path(), study(), m_dataset);
    setImportFinishedHook(nullptr);
    QVERIFY2(built.isEmpty(), qPrintable(built));
    m_folder = datasetFolder(m_dir.path());
    // The import built the SNP index beside its tables: whole and current when it finished.
    QVERIFY(g_indexReadyAtFinish);
    // The import wrote them: the first listing reads them.
    const auto written = StudySummaries::open(*m_dataset);
    QVERIFY(written.ok());
    QVERIFY(!(*written)->computed());
}

void StudySummariesTest::answers()
{
    QFile::remove(m_folder + u"/"_s + QLatin1StringView(StudySummaries::FileName));
    const auto first = StudySummaries::open(*m_dataset);
    QVERIFY(first.ok());
    QVERIFY((*first)->computed());
    compareWithLive(*m_dataset, **first);
    // The hand-made cases, independently: the tie goes to rs1 (genome order), and with every p
    // equal lambda is chi2(0.01) / median = 6.6349 / 0.4549.
    const std::vector<TraitSummary> &traits = (*first)->traits();
    const int tie = int(m_dataset->tables().traitNames.indexOf(u"tTie"_s));
    const int equal = int(m_dataset->tables().traitNames.indexOf(u"tEqual"_s));
    QCOMPARE(m_dataset->tables().snpNames.value(traits[size_t(tie)].bestSnp), u"rs1"_s);
    QCOMPARE(formatLambda(traits[size_t(equal)].lambda), u"14.5842"_s);
    // tTie: its two leads 1.25 Mb apart; tOne: one; tHits: rs4, rs6 and rs2 taking rs1.
    QCOMPARE((*first)->topLoci().size(), size_t(6));

    const auto again = StudySummaries::open(*m_dataset);
    QVERIFY(again.ok());
    QVERIFY(!(*again)->computed());
    compareWithLive(*m_dataset, **again);
}

void StudySummariesTest::untrustedFileRebuilt_data()
{
    QTest::addColumn<std::function<void(const QString &cache, const QString &folder)>>("spoil");
    const auto rewrite = [](const QString &path, const std::function<void(QByteArray &)> &change) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray bytes = f.readAll();
        f.close();
        change(bytes);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    };
    QTest::newRow("a flipped byte") << std::function<void(const QString &, const QString &)>(
        [rewrite](const QString &cache, const QString &) {
            rewrite(cache, [](QByteArray &b) { b[b.size() - 30] ^= 1; });
        });
    QTest::newRow("truncated") << std::function<void(const QString &, const QString &)>(
        [rewrite](const QString &cache, const QString &) {
            rewrite(cache, [](QByteArray &b) { b.chop(9); });
        });
    QTest::newRow("empty") << std::function<void(const QString &, const QString &)>(
        [rewrite](const QString &cache, const QString &) {
            rewrite(cache, [](QByteArray &b) { b.clear(); });
        });
    // The answers' sources changed after the cache was written.
    QTest::newRow("stale table") << std::function<void(const QString &, const QString &)>(
        [rewrite](const QString &, const QString &folder) {
            rewrite(folder + u"/table1.dat"_s, [](QByteArray &) {});
        });
}

void StudySummariesTest::untrustedFileRebuilt()
{
    QFETCH(std::function<void(const QString &, const QString &)>, spoil);
    const QString cache = m_folder + u"/"_s + QLatin1StringView(StudySummaries::FileName);
    QVERIFY(StudySummaries::open(*m_dataset).ok());
    QTest::qWait(20); // a rewrite within the same clock tick would keep the modification time
    spoil(cache, m_folder);
    // A changed table is a new import: it is opened again, as the window would be.
    auto reloaded = Dataset::load(m_folder);
    QVERIFY2(reloaded.ok(), qPrintable(reloaded.message()));
    m_dataset = *reloaded;
    const auto reopened = StudySummaries::open(*m_dataset);
    QVERIFY(reopened.ok());
    QVERIFY((*reopened)->computed());
    compareWithLive(*m_dataset, **reopened);
    const auto cached = StudySummaries::open(*m_dataset);
    QVERIFY(cached.ok());
    QVERIFY(!(*cached)->computed());
}

QTEST_GUILESS_MAIN(StudySummariesTest)
#include "tst_studysummaries.moc"
