#include "browse/traitlocations.h"
#include "browse/variantquery.h"
#include "dataset/dataset.h"
#include "support/regiondataset.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quillmap;

namespace {

// Three traits (two grouped), SNPs on chromosome 19 around 45.4 Mb and one in the next
// megabase, one on X; a gene file of three genes.
TestDataset study()
{
    TestDataset d;
    d.statNames = {u"P"_s, u"BETA"_s};
    d.snps = {{u"rs1267250"_s, u"19"_s, 45.417984, {}},
              {u"19:45417990:T:C"_s, u"19"_s, 45.41799, {}},
              {u"rs9"_s, u"19"_s, 46.2, {}},
              {u"rsX"_s, u"X"_s, 3.01, {}},
              {u"rsLone"_s, u"2"_s, 0.5, {}}};
    d.results = {{u"tA"_s, u"rs1267250"_s, {0.01, 0.5}},
                 {u"tB"_s, u"rs1267250"_s, {1e-9, -0.25}},
                 {u"tA"_s, u"19:45417990:T:C"_s, {0.001, 0.1}},
                 {u"tC"_s, u"rs9"_s, {0.2, 1.0}},
                 {u"tA"_s, u"rs9"_s, {1e-4, 2.0}},
                 {u"tC"_s, u"rsX"_s, {0.3, 1.0}}};
    d.groups = {{u"tA"_s, {u"liver"_s}}, {u"tB"_s, {u"blood"_s, u"liver"_s}}};
    d.withGroups = true;
    // tA's gene lies 1 Mb from rs1267250 (in Mb, as the dataset writes), tB's 1 bp further.
    d.traitInfo =
        u"trait\tdescription\tChrom\tTSS\ntA\ta\t19\t46.417984\ntB\tb\tchr19\t46417985\ntC\tc\tX\t100\n"_s;
    d.binGenes = u"19045\tGENE1\t45.41\t45.418\n19046\tGENE2\t46.1\t46.15\n2000\tEDGE\t0.0001\t0.2\n"_s;
    return d;
}

} // namespace

class TestVariantQuery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QCOMPARE(buildDataset(m_dir.path(), study(), m_dataset), QString());
    }

    void resolves_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<qint64>("window");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("snp");
        QTest::addColumn<QString>("range");
        const int snp = int(VariantQuery::Kind::Snp);
        const int nearest = int(VariantQuery::Kind::NearestSnp);
        const int gene = int(VariantQuery::Kind::Gene);
        const int none = int(VariantQuery::Kind::None);
        QTest::newRow("exact") << u"rs1267250"_s << 0ll << snp << u"rs1267250"_s << u""_s;
        QTest::newRow("any case") << u" RS1267250 "_s << 0ll << snp << u"rs1267250"_s << u""_s;
        QTest::newRow("position") << u"19:45417984"_s << 0ll << snp << u"rs1267250"_s << u""_s;
        QTest::newRow("chr position") << u"chr19:45417984"_s << 0ll << snp << u"rs1267250"_s << u""_s;
        QTest::newRow("named by alleles")
            << u"chr19:45417990:T:C"_s << 0ll << snp << u"19:45417990:T:C"_s << u""_s;
        QTest::newRow("alleles swapped")
            << u"19_45417990_C_T"_s << 0ll << snp << u"19:45417990:T:C"_s << u""_s;
        QTest::newRow("nearest below") << u"19:45417000"_s << 0ll << nearest << u"rs1267250"_s << u""_s;
        QTest::newRow("nearest across a bin") << u"19:46000500"_s << 0ll << nearest << u"rs9"_s << u""_s;
        QTest::newRow("nearest far away") << u"chrX:150000000"_s << 0ll << nearest << u"rsX"_s << u""_s;
        QTest::newRow("no SNP on chromosome") << u"7:100"_s << 0ll << none << u""_s << u""_s;
        QTest::newRow("no chromosome 30") << u"30:100"_s << 0ll << none << u""_s << u""_s;
        QTest::newRow("gene") << u"gene1"_s << 0ll << gene << u""_s << u"45410000-45418000"_s;
        QTest::newRow("gene window") << u"GENE2"_s << 1000ll << gene << u""_s << u"46099000-46151000"_s;
        QTest::newRow("gene window at chromosome start")
            << u"EDGE"_s << 5000ll << gene << u""_s << u"0-205000"_s;
        QTest::newRow("unknown") << u"rs404"_s << 0ll << none << u""_s << u""_s;
        QTest::newRow("empty") << u"  "_s << 0ll << none << u""_s << u""_s;
    }

    void resolves()
    {
        QFETCH(QString, typed);
        QFETCH(qint64, window);
        QFETCH(int, kind);
        QFETCH(QString, snp);
        QFETCH(QString, range);
        const VariantQuery::Target target = VariantQuery::resolve(*m_dataset, typed, window);
        QCOMPARE(int(target.kind), kind);
        QCOMPARE(target.snpName, snp);
        QVERIFY(!target.message.isEmpty());
        if (!range.isEmpty())
            QCOMPARE(u"%1-%2"_s.arg(target.startBp).arg(target.endBp), range);
        if (kind == int(VariantQuery::Kind::NearestSnp))
            QVERIFY2(target.message.contains(u"nearest"_s), qPrintable(target.message));
    }

    void traitRows_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("rows"); // trait groups snp P BETA, best first
        QTest::addColumn<int>("without");
        QTest::newRow("snp") << u"rs1267250"_s
                             << QStringList{u"tB|blood, liver|rs1267250|1e-09|-0.25"_s,
                                            u"tA|liver|rs1267250|0.01|0.5"_s}
                             << 1;
        QTest::newRow("gene: each trait's best") << u"GENE1"_s
                                                 << QStringList{u"tB|blood, liver|rs1267250|1e-09|-0.25"_s,
                                                                u"tA|liver|19:45417990:T:C|0.001|0.1"_s}
                                                 << 1;
        QTest::newRow("gene without SNPs") << u"EDGE"_s << QStringList{} << 3;
        QTest::newRow("nothing") << u"rs404"_s << QStringList{} << 3;
    }

    void traitRows()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, rows);
        QFETCH(int, without);
        const Result<VariantQuery::Table> table = VariantQuery::traitRows(
            *m_dataset, VariantQuery::resolve(*m_dataset, typed));
        QVERIFY2(table.ok(), qPrintable(table.message()));
        QStringList got;
        for (const VariantQuery::TraitRow &row : table->rows) {
            got << QStringList{row.trait, row.groups, row.snp, QString::number(row.statistics.at(0)),
                               QString::number(row.statistics.at(1))}
                       .join(u'|');
            QCOMPARE(row.score, -std::log10(double(row.statistics.at(0))));
        }
        QCOMPARE(got, rows);
        QCOMPARE(table->traitsWithout, without);
    }

    void cisTrans_data()
    {
        QTest::addColumn<QString>("trait");
        QTest::addColumn<qint64>("bp");
        QTest::addColumn<qint64>("window");
        QTest::addColumn<QString>("relation");
        QTest::addColumn<qint64>("distance");
        QTest::newRow("at the 1 Mb edge") << u"tA"_s << 45417984ll << 1000000ll << u"cis"_s << 1000000ll;
        QTest::newRow("1 bp past it") << u"tB"_s << 45417984ll << 1000000ll << u"trans"_s << 1000001ll;
        QTest::newRow("a wider window") << u"tB"_s << 45417984ll << 2000000ll << u"cis"_s << 1000001ll;
        QTest::newRow("other chromosome") << u"tC"_s << 45417984ll << 1000000ll << u"trans"_s << -1ll;
        QTest::newRow("no location") << u"tZ"_s << 45417984ll << 1000000ll << u""_s << -1ll;
    }

    void cisTrans()
    {
        QFETCH(QString, trait);
        QFETCH(qint64, bp);
        QFETCH(qint64, window);
        QFETCH(QString, relation);
        QFETCH(qint64, distance);
        const TraitLocations locations = TraitLocations::fromTables(m_dataset->tables());
        QVERIFY(locations.available());
        const TraitLocations::Placement placed = locations.place(trait, 19, bp, window);
        QCOMPARE(TraitLocations::relationText(placed.relation), relation);
        QCOMPARE(placed.distanceBp, distance);
    }

    void completesNames_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("first of several") << u"rs"_s << 2 << QStringList{u"rs1267250"_s, u"rs9"_s};
        QTest::newRow("any case") << u"RS12"_s << 50 << QStringList{u"rs1267250"_s};
        QTest::newRow("as the dataset spells it") << u"19:4541"_s << 50 << QStringList{u"19:45417990:T:C"_s};
        QTest::newRow("none") << u"rs0"_s << 50 << QStringList{};
    }

    void completesNames()
    {
        QFETCH(QString, prefix);
        QFETCH(int, limit);
        QFETCH(QStringList, names);
        QCOMPARE(VariantQuery::snpNamesStartingWith(m_dataset->tables(), prefix, limit), names);
    }

private:
    QTemporaryDir m_dir;
    std::shared_ptr<const Dataset> m_dataset;
};

QTEST_GUILESS_MAIN(TestVariantQuery)
#include "tst_variantquery.moc"
