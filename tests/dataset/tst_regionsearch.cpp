#include "dataset/regionsearch.h"
#include "dataset/datasetloader.h"
#include "dataset/transform.h"
#include "session/sharedstate.h"
#include "support/regiondataset.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quillmap;

using namespace quillmap::bypos;
using quillmap::GenomeBuild;

namespace {

// Seven records in four bins: 1000, 1005, 2003 and 23150; two statistics.
TestDataset fourBins()
{
    TestDataset d;
    d.statNames = {QStringLiteral("pvalue"), QStringLiteral("beta")};
    d.snps = {{u"rs1"_s, u"1"_s, 0.2, {}},  {u"rs2"_s, u"1"_s, 0.7, {}}, {u"rs3"_s, u"1"_s, 5.5, {}},
              {u"rs4"_s, u"1"_s, 5.25, {}}, {u"rs5"_s, u"2"_s, 3.1, {}}, {u"rs6"_s, u"X"_s, 150.73, {}}};
    d.results = {{u"tA"_s, u"rs1"_s, {0.5, 1}}, {u"tB"_s, u"rs1"_s, {0.01, 2}},
                 {u"tA"_s, u"rs3"_s, {0.2, 3}}, {u"tB"_s, u"rs4"_s, {0.03, 4}},
                 {u"tC"_s, u"rs3"_s, {0.9, 5}}, {u"tA"_s, u"rs5"_s, {0.4, 6}},
                 {u"tC"_s, u"rs6"_s, {0.05, 7}}};
    return d;
}

// Rows as "trait snp first extra..." in file order.
QStringList describe(const RegionRows &region, const DatasetTables &tables)
{
    QStringList out;
    for (int k = 0; k < region.count(); ++k) {
        const RowRecord &row = region.rows[size_t(k)];
        QStringList fields{tables.traitNames.value(row.traitIndex), tables.snpNames.value(row.snpIndex),
                           QString::number(row.firstStat)};
        for (int s = 1; s <= region.extraCount; ++s)
            fields << QString::number(region.statistic(k, s));
        out << fields.join(QLatin1Char(' '));
        if (row.rowNumber != k)
            out << QStringLiteral("row number %1 at %2").arg(row.rowNumber).arg(k);
    }
    return out;
}

QStringList rankedNames(const TraitRanking &ranking)
{
    QStringList names;
    for (const int g : ranking.order)
        names << ranking.groupNames.value(g);
    return names;
}

} // namespace

class RegionSearchTest : public QObject
{
    Q_OBJECT

private slots:
    void chromosomeEnds_data();
    void chromosomeEnds();
    void bins();
    void browserLink();
    void readsTheBinByTheOffsetRule_data();
    void readsTheBinByTheOffsetRule();
    void reportsMissingAndDamagedTables();
    void readsTheTraitByTheOffsetRule_data();
    void readsTheTraitByTheOffsetRule();
    void snpInfoEditedAfterImport();
    void ranksTraitsByTheirLargestValue();
    void ranksTwelveTraitsAndListsNine();
    void equalMaximaRankInEitherOrder();
    void missingValueStopsTheRanking_data();
    void missingValueStopsTheRanking();
    void legendShowsGroupsAndEscapesNames();
};

void RegionSearchTest::chromosomeEnds_data()
{
    QTest::addColumn<QString>("chromosome");
    QTest::addColumn<GenomeBuild>("build");
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("message");
    QTest::newRow("1") << "1" << GenomeBuild::Hg18 << 247 << "Chromosome1 ends at position 247";
    QTest::newRow("16") << "16" << GenomeBuild::Hg18 << 89 << "Chromosome16 ends at position 89";
    QTest::newRow("22") << "22" << GenomeBuild::Hg18 << 50 << "Chromosome22 ends at position 50";
    QTest::newRow("X") << "X" << GenomeBuild::Hg18 << 155 << "Chromosome X ends at position 155";
    // Later builds: the last partial megabase (chr1 ends at 249.25 Mb on hg19) is inside.
    QTest::newRow("1 on hg19") << "1" << GenomeBuild::Hg19 << 250 << "Chromosome1 ends at position 250";
    QTest::newRow("17 on hg19") << "17" << GenomeBuild::Hg19 << 82 << "Chromosome17 ends at position 82";
    QTest::newRow("17 on hg38") << "17" << GenomeBuild::Hg38 << 84 << "Chromosome17 ends at position 84";
    QTest::newRow("X on hg38") << "X" << GenomeBuild::Hg38 << 157 << "Chromosome X ends at position 157";
}

void RegionSearchTest::chromosomeEnds()
{
    QFETCH(QString, chromosome);
    QFETCH(GenomeBuild, build);
    QFETCH(int, end);
    QFETCH(QString, message);
    QCOMPARE(chromosomeEnd(chromosome, build), end);
    QCOMPARE(chromosomeEndMessage(chromosome, build), message);
}

void RegionSearchTest::bins()
{
    QCOMPARE(regionBin(QStringLiteral("X"), 150), 23150);
    QCOMPARE(regionBin(QStringLiteral("3"), 150), 3150);
    QCOMPARE(regionBin(QStringLiteral("1"), 0), 1000);
    QCOMPARE(chromosomeNames().size(), 23);
    QCOMPARE(chromosomeNames().last(), QStringLiteral("X"));
}

void RegionSearchTest::browserLink()
{
    QCOMPARE(
        genomeBrowserUrl(QStringLiteral("3"), 150).toString(),
        QStringLiteral(
            "https://genome.ucsc.edu/cgi-bin/hgTracks?org=Human&db=hg18&position=chr3:150000000-151000000"));
    QVERIFY(genomeBrowserUrl(QStringLiteral("X"), 0)
                .toString()
                .endsWith(QStringLiteral("position=chrX:0-1000000")));
    QCOMPARE(
        genomeBrowserUrl(QStringLiteral("3"), 150, GenomeBuild::Hg38).toString(),
        QStringLiteral(
            "https://genome.ucsc.edu/cgi-bin/hgTracks?org=Human&db=hg38&position=chr3:150000000-151000000"));
}

void RegionSearchTest::readsTheBinByTheOffsetRule_data()
{
    QTest::addColumn<int>("bin");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("first bin") << 1000 << QStringList{u"tA rs1 0.5 1"_s, u"tB rs1 0.01 2"_s};
    QTest::newRow("later bin") << 1005
                               << QStringList{u"tA rs3 0.2 3"_s, u"tB rs4 0.03 4"_s, u"tC rs3 0.9 5"_s};
    QTest::newRow("X") << 23150 << QStringList{u"tC rs6 0.05 7"_s};
}

void RegionSearchTest::readsTheBinByTheOffsetRule()
{
    QFETCH(int, bin);
    QFETCH(QStringList, rows);
    QTemporaryDir dir;
    std::shared_ptr<const Dataset> dataset;
    QCOMPARE(buildDataset(dir.path(), fourBins(), dataset), QString());
    const auto read = readRegion(*dataset, bin);
    QVERIFY(read.ok());
    // The order of records inside a bin is not defined.
    QStringList got = describe(*read, dataset->tables());
    got.sort();
    rows.sort();
    QCOMPARE(got, rows);
}

void RegionSearchTest::reportsMissingAndDamagedTables()
{
    QTemporaryDir dir;
    std::shared_ptr<const Dataset> dataset;
    QCOMPARE(buildDataset(dir.path(), fourBins(), dataset), QString());
    const QString folder = quillmap::currentDatasetFolder();

    auto read = readRegion(*dataset, 1001);
    QCOMPARE(int(read.kind()), int(quillmap::ErrorKind::NoRecords));
    QCOMPARE(read.message(), QStringLiteral("There are no SNPs in this region!"));

    // A table cut after the load is another table than the one held: the reader says so
    // instead of reading it, and a new load refuses it.
    QFile table(folder + QStringLiteral("/table2.dat"));
    QVERIFY(table.resize(4 * 16));
    read = readRegion(*dataset, 1005);
    QCOMPARE(int(read.kind()), int(quillmap::ErrorKind::Reimported));
    QCOMPARE(read.message(), Dataset::reimportedMessage(folder));
    auto reloaded = Dataset::load(folder);
    QCOMPARE(int(reloaded.kind()), int(quillmap::ErrorKind::Damaged));
    QCOMPARE(reloaded.message(),
             damagedDatasetMessage(
                 folder, QStringLiteral("table2.dat holds fewer records than Pos_Line.dat lists.")));

    // A record of a later bin swapped into bin 1000's run is refused, not shown in the region.
    QCOMPARE(buildDataset(dir.path(), fourBins(), dataset), QString());
    QVERIFY(table.open(QIODevice::ReadWrite));
    const QByteArray head = table.read(16);
    QVERIFY(table.seek(table.size() - 16));
    const QByteArray tail = table.read(16);
    QVERIFY(table.seek(0) && table.write(tail) == 16);
    QVERIFY(table.seek(table.size() - 16) && table.write(head) == 16);
    table.close();
    reloaded = Dataset::load(folder);
    QCOMPARE(int(reloaded.kind()), int(quillmap::ErrorKind::Damaged));
    QVERIFY(reloaded.message().contains(QStringLiteral("table2.dat does not hold the records of bin 1000")));

    QVERIFY(table.remove());
    read = readRegion(*dataset, 1000);
    QCOMPARE(int(read.kind()), int(quillmap::ErrorKind::MissingFile));
    QCOMPARE(read.message(), QStringLiteral("The file table2.dat is not found! Please reload the dataset!"));
}

void RegionSearchTest::readsTheTraitByTheOffsetRule_data()
{
    QTest::addColumn<QString>("trait");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("first trait") << "tA"
                                 << QStringList{u"tA rs1 0.5 1"_s, u"tA rs3 0.2 3"_s, u"tA rs5 0.4 6"_s};
    QTest::newRow("last trait") << "tC" << QStringList{u"tC rs3 0.9 5"_s, u"tC rs6 0.05 7"_s};
    QTest::newRow("no such trait") << "tD" << QStringList();
}

void RegionSearchTest::readsTheTraitByTheOffsetRule()
{
    QFETCH(QString, trait);
    QFETCH(QStringList, rows);
    QTemporaryDir dir;
    std::shared_ptr<const Dataset> dataset;
    QCOMPARE(buildDataset(dir.path(), fourBins(), dataset), QString());
    const auto read = quillmap::readTrait(*dataset, trait);
    if (rows.isEmpty()) {
        QCOMPARE(int(read.kind()), int(quillmap::ErrorKind::NoRecords));
        return;
    }
    QVERIFY(read.ok());
    QStringList got = describe(*read, dataset->tables());
    got.sort();
    QCOMPARE(got, rows);
}

// A SNP information file edited after the import moves rsM out of the region its record was
// filed under (to Mb 100, where no record lies): the trait read refuses it as the region read
// does, instead of showing the new position.
void RegionSearchTest::snpInfoEditedAfterImport()
{
    TestDataset d;
    // rsM's record lies between two others in bin 1005 in any order, so the load still opens it.
    d.snps = {{u"rsA"_s, u"1"_s, 5.1, {}},
              {u"rsM"_s, u"1"_s, 5.5, {}},
              {u"rsZ"_s, u"1"_s, 5.9, {}},
              {u"rsB"_s, u"2"_s, 3.1, {}}};
    d.results = {{u"tA"_s, u"rsA"_s, {0.5}},
                 {u"tB"_s, u"rsM"_s, {0.2}},
                 {u"tC"_s, u"rsZ"_s, {0.9}},
                 {u"tB"_s, u"rsB"_s, {0.4}}};
    QTemporaryDir dir;
    std::shared_ptr<const Dataset> dataset;
    QCOMPARE(buildDataset(dir.path(), d, dataset), QString());
    const QString snpInfo = dataset->tables().snpInfoPath;
    QFile file(snpInfo);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("snp\tchr\tpos\nrsA\t1\t5.1\nrsM\t1\t100.5\nrsZ\t1\t5.9\nrsB\t2\t3.1\n");
    file.close();

    const auto edited = Dataset::load(dataset->folder());
    QVERIFY2(edited.ok(), qPrintable(edited.message()));
    const QString refused = damagedDatasetMessage(
        dataset->folder(),
        QStringLiteral("the SNP information file %1 places the SNP rsM where Pos_Line.dat has "
                       "no records; it changed after the import.")
            .arg(snpInfo));
    const auto trait = readTrait(**edited, u"tB"_s);
    QCOMPARE(int(trait.kind()), int(ErrorKind::Damaged));
    QCOMPARE(trait.message(), refused);
    const auto region = readRegion(**edited, 1005);
    QCOMPARE(int(region.kind()), int(ErrorKind::Damaged));
    QVERIFY(region.message().contains(QStringLiteral("table2.dat holds a record of another region")));
    // The traits without rsM still read.
    QVERIFY(readTrait(**edited, u"tA"_s).ok());
    QVERIFY(readTrait(**edited, u"tC"_s).ok());
}

void RegionSearchTest::ranksTraitsByTheirLargestValue()
{
    QTemporaryDir dir;
    std::shared_ptr<const Dataset> dataset;
    QCOMPARE(buildDataset(dir.path(), fourBins(), dataset), QString());
    const DatasetTables &tables = dataset->tables();
    const auto read = readRegion(*dataset, 1005);

    TraitRanking first = rankTraits(*read, tables, 0, 0);
    QVERIFY(!first.missingValue);
    QCOMPARE(first.traitCount(), 3);
    QCOMPARE(rankedNames(first), (QStringList{u"tC"_s, u"tA"_s, u"tB"_s}));
    QCOMPARE(first.groupNames, (QStringList{u"tA"_s, u"tB"_s, u"tC"_s}));
    QCOMPARE(first.valueMax, double(0.9f));
    QCOMPARE(first.valueMin, double(0.03f));
    QCOMPARE(first.positions[0], std::vector<double>{5.5});
    QCOMPARE(first.positions[1], std::vector<double>{5.25});

    // The second statistic under -log(10).
    TraitRanking extra = rankTraits(*read, tables, 1, 2);
    QCOMPARE(rankedNames(extra), (QStringList{u"tA"_s, u"tB"_s, u"tC"_s}));
    QCOMPARE(extra.valueMax, double(applyTransform(3.0f, 2)));
    QCOMPARE(extra.values[2], std::vector<double>{double(applyTransform(5.0f, 2))});

    const auto one = readRegion(*dataset, 2003);
    const TraitRanking single = rankTraits(*one, tables, 0, 0);
    QCOMPARE(single.traitCount(), 1);
    QCOMPARE(single.positions[0], std::vector<double>{3.1});
    const QString legend = legendHtml(single, tables);
    QVERIFY(legend.contains(QStringLiteral("<tr><td>1</td><td>tA</td><td></td></tr>")));
    QVERIFY(!legend.contains(QStringLiteral("<tr><td>2</td>")));
}

void RegionSearchTest::ranksTwelveTraitsAndListsNine()
{
    TestDataset d;
    for (int s = 0; s < 3; ++s)
        d.snps << TestSnp{QStringLiteral("rs%1").arg(s + 1), u"4"_s, 10.1 + 0.3 * s, {}};
    for (int t = 1; t <= 12; ++t) {
        const QString trait = QStringLiteral("t%1").arg(t, 2, 10, QLatin1Char('0'));
        // Trait t's largest value is t; its other points are lower.
        d.results << TestResult{trait, u"rs1"_s, {double(t)}} << TestResult{trait, u"rs2"_s, {t - 0.5}};
    }
    d.results << TestResult{u"t03"_s, u"rs3"_s, {0.25}};
    QTemporaryDir dir;
    std::shared_ptr<const Dataset> dataset;
    QCOMPARE(buildDataset(dir.path(), d, dataset), QString());
    const DatasetTables &tables = dataset->tables();
    const auto read = readRegion(*dataset, 4010);
    QCOMPARE(read->count(), 25);
    const TraitRanking ranking = rankTraits(*read, tables, 0, 0);
    QCOMPARE(ranking.traitCount(), 12);
    QCOMPARE(rankedNames(ranking).mid(0, 4), (QStringList{u"t12"_s, u"t11"_s, u"t10"_s, u"t09"_s}));
    QCOMPARE(rankedNames(ranking).last(), QStringLiteral("t01"));
    QCOMPARE(ranking.maxima.front(), 12.0);
    QCOMPARE(ranking.valueMax, 12.0);
    QCOMPARE(ranking.valueMin, 0.25);
    QCOMPARE(ranking.values[2].size(), size_t(3));

    const QString legend = legendHtml(ranking, tables);
    QCOMPARE(legend.count(QStringLiteral("<tr><td>")), 9);
    QVERIFY(legend.contains(QStringLiteral("<tr><td>9</td><td>t04</td><td></td></tr></table>")));
    QVERIFY(!legend.contains(QStringLiteral("t03")));
}

void RegionSearchTest::equalMaximaRankInEitherOrder()
{
    TestDataset d;
    d.snps = {{u"rs1"_s, u"5"_s, 20.5, {}}, {u"rs2"_s, u"5"_s, 20.6, {}}};
    d.results = {{u"tB"_s, u"rs1"_s, {7}}, {u"tA"_s, u"rs2"_s, {7}}, {u"tC"_s, u"rs1"_s, {1}}};
    QTemporaryDir dir;
    std::shared_ptr<const Dataset> dataset;
    QCOMPARE(buildDataset(dir.path(), d, dataset), QString());
    const auto read = readRegion(*dataset, 5020);
    const TraitRanking ranking = rankTraits(*read, dataset->tables(), 0, 0);
    const QStringList names = rankedNames(ranking);
    QCOMPARE(names.size(), 3);
    QCOMPARE((QSet<QString>{names[0], names[1]}), (QSet<QString>{u"tA"_s, u"tB"_s}));
    QCOMPARE(names[2], QStringLiteral("tC"));
}

void RegionSearchTest::missingValueStopsTheRanking_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("transform");
    QTest::addColumn<bool>("missing");
    QTest::newRow("log10 of 0") << 0.0 << 1 << true;
    QTest::newRow("-log2 of -3") << -3.0 << 4 << true;
    QTest::newRow("abs of -3") << -3.0 << 5 << false;
    QTest::newRow("no transform") << -3.0 << 0 << false;
}

void RegionSearchTest::missingValueStopsTheRanking()
{
    QFETCH(double, value);
    QFETCH(int, transform);
    QFETCH(bool, missing);
    TestDataset d;
    d.snps = {{u"rs1"_s, u"7"_s, 1.5, {}}, {u"rs2"_s, u"7"_s, 1.6, {}}};
    d.results = {{u"tA"_s, u"rs1"_s, {0.5}}, {u"tB"_s, u"rs2"_s, {value}}, {u"tC"_s, u"rs2"_s, {0.25}}};
    QTemporaryDir dir;
    std::shared_ptr<const Dataset> dataset;
    QCOMPARE(buildDataset(dir.path(), d, dataset), QString());
    const auto read = readRegion(*dataset, 7001);
    const TraitRanking ranking = rankTraits(*read, dataset->tables(), 0, transform);
    QCOMPARE(ranking.missingValue, missing);
    if (!missing)
        QCOMPARE(ranking.traitCount(), 3);
}

void RegionSearchTest::legendShowsGroupsAndEscapesNames()
{
    TestDataset d;
    d.snps = {{u"rs1"_s, u"2"_s, 0.5, {}}};
    d.results = {{u"t<1>"_s, u"rs1"_s, {3}}, {u"tB"_s, u"rs1"_s, {2}}, {u"tC"_s, u"rs1"_s, {1}}};
    d.withGroups = true;
    d.groups = {{u"t<1>"_s, {u"g&1"_s, u"g2"_s}}, {u"tC"_s, {u"g3"_s}}};
    QTemporaryDir dir;
    std::shared_ptr<const Dataset> dataset;
    QCOMPARE(buildDataset(dir.path(), d, dataset), QString());
    const auto read = readRegion(*dataset, 2000);
    const TraitRanking ranking = rankTraits(*read, dataset->tables(), 0, 0);
    const QString expected = QStringLiteral(
        "<FONT COLOR=blue><h2><br> Legend</br></h2>"
        "<table border=\"1\" cellpadding=\"5\" cellspacing=\"0\"><tr bgcolor=\"#DDFFFF\"><td>LABEL</td><td>Trait</td><td>Group</td></tr>"
        "<tr><td>1</td><td>t&lt;1&gt;</td><td>g&amp;1, g2</td></tr>"
        "<tr><td>2</td><td>tB</td><td></td></tr>"
        "<tr><td>3</td><td>tC</td><td>g3</td></tr>"
        "</table>");
    QCOMPARE(legendHtml(ranking, dataset->tables()), expected);
}

QTEST_GUILESS_MAIN(RegionSearchTest)
#include "tst_regionsearch.moc"
