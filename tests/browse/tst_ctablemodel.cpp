#include "dataset/dataset.h"
#include "browse/ctablemodel.h"
#include "browse/sortkeys.h"
#include "browse/tabletext.h"
#include "dataset/regionsearch.h"
#include "dataset/transform.h"
#include "support/datasetfixture.h"
#include "session/sharedstate.h"

#include <QAbstractItemModelTester>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

using namespace quillmap;
using namespace Qt::StringLiterals;

class TestCTableModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void headers();
    void cells_data();
    void cells();
    void alignmentAndRoles();
    void rowOrder();
    void sortByColumn_data();
    void sortByColumn();
    void missingSnpLine();
    void noExtraColumns();
    void manySnpColumns();
    void modelTester();
    void tableText();
    void sortsMatchReference_data();
    void sortsMatchReference();
    void numberText();

private:
    void loadSmall();
    void loadMixed();
    QTemporaryDir m_dir;
    std::shared_ptr<const Dataset> m_dataset;
    std::vector<RowRecord> m_records;
    // Extra statistics as a panel holds them: one row pointer per record.
    std::vector<std::vector<float>> m_statRows;
    std::vector<float *> m_stats;
    ResultRows m_mixed;
    std::vector<float *> m_mixedStats;
};

void TestCTableModel::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestCTableModel::loadSmall()
{
    const QString folder = DatasetFixture::small().write(m_dir.filePath(QStringLiteral("small")));
    auto loaded = Dataset::load(folder);
    QVERIFY2(loaded.ok(), qPrintable(loaded.message()));
    m_dataset = *loaded;
    // Rows as a panel holds them: trait index, SNP index (rs1 = 0, rs2 = 1, rs3 = 2), statistic.
    m_records = {{1, 0, 0.5f, 0}, {0, 1, 0.01f, 1}, {1, 2, 0.001f, 2}};
    m_statRows = {{1.5f}, {-2.0f}, {4.0f}};
    m_stats.clear();
    for (std::vector<float> &row : m_statRows)
        m_stats.push_back(row.data());
}

void TestCTableModel::headers()
{
    loadSmall();
    CTableModel model(m_dataset);
    model.setRows(3, m_dataset->tables().tableColumnCount, m_records.data(), m_stats.data());
    QCOMPARE(model.columnCount(), 7);
    const QStringList expected{QStringLiteral("probe"), QStringLiteral("marker"), QStringLiteral("Chr"),
                               QStringLiteral("Pos"),   QStringLiteral("gene"),   QStringLiteral("pvalue"),
                               QStringLiteral("beta")};
    for (int c = 0; c < 7; ++c)
        QCOMPARE(model.headerData(c, Qt::Horizontal).toString(), expected.at(c));
    QCOMPARE(model.headerData(2, Qt::Vertical).toString(), QStringLiteral("2"));
    QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());
}

void TestCTableModel::cells_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QVariant>("expected");
    QTest::newRow("trait name") << 0 << 0 << QVariant(QStringLiteral("T2"));
    QTest::newRow("snp name") << 1 << 1 << QVariant(QStringLiteral("rs2"));
    QTest::newRow("chromosome as written") << 2 << 2 << QVariant(QStringLiteral("X"));
    QTest::newRow("position 12.5 Mb in bp") << 0 << 3 << QVariant(12500000);
    QTest::newRow("position 0.0000015 Mb in bp, rounded") << 2 << 3 << QVariant(2);
    QTest::newRow("extra snp column") << 1 << 4 << QVariant(QStringLiteral("GB"));
    QTest::newRow("first statistic") << 1 << 5 << QVariant(double(0.01f));
    QTest::newRow("extra statistic") << 2 << 6 << QVariant(4.0);
}

void TestCTableModel::cells()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QVariant, expected);
    loadSmall();
    CTableModel model(m_dataset);
    model.setRows(3, m_dataset->tables().tableColumnCount, m_records.data(), m_stats.data());
    const QVariant value = model.data(model.index(row, column));
    QCOMPARE(value.metaType(), expected.metaType());
    QCOMPARE(value, expected);
}

void TestCTableModel::alignmentAndRoles()
{
    loadSmall();
    CTableModel model(m_dataset);
    model.setRows(3, m_dataset->tables().tableColumnCount, m_records.data(), m_stats.data());
    for (int c = 0; c < model.columnCount(); ++c)
        QCOMPARE(model.data(model.index(0, c), Qt::TextAlignmentRole).toInt(), 130);
    QVERIFY(!model.data(model.index(0, 0), Qt::ToolTipRole).isValid());
    QVERIFY(!model.data(QModelIndex()).isValid());
    QCOMPARE(model.flags(model.index(0, 0)),
             Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren);
}

void TestCTableModel::rowOrder()
{
    loadSmall();
    CTableModel model(m_dataset);
    model.setRows(3, m_dataset->tables().tableColumnCount, m_records.data(), m_stats.data());
    model.rowOrder()[0] = 2;
    model.rowOrder()[2] = 0;
    QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("rs3"));
    QCOMPARE(model.data(model.index(0, 6)).toDouble(), 4.0);
    // Row labels stay with the displayed position.
    QCOMPARE(model.headerData(0, Qt::Vertical).toString(), QStringLiteral("0"));
    // A new row set starts from the identity order.
    model.setRows(3, m_dataset->tables().tableColumnCount, m_records.data(), m_stats.data());
    QCOMPARE(model.rowOrder()[0], 0);
    QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("rs1"));
}

void TestCTableModel::sortByColumn_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<QList<int>>("order");
    QTest::newRow("trait name, equal names keep their order") << 0 << true << QList<int>{1, 0, 2};
    QTest::newRow("trait name descending") << 0 << false << QList<int>{0, 2, 1};
    QTest::newRow("SNP name descending") << 1 << false << QList<int>{2, 1, 0};
    QTest::newRow("chromosome, X as 23") << 2 << false << QList<int>{2, 1, 0};
    QTest::newRow("position in genome order, X last") << 3 << true << QList<int>{0, 1, 2};
    QTest::newRow("extra SNP column") << 4 << false << QList<int>{2, 1, 0};
    QTest::newRow("first statistic") << 5 << true << QList<int>{2, 1, 0};
    QTest::newRow("extra statistic") << 6 << false << QList<int>{2, 0, 1};
    QTest::newRow("no such column") << 7 << true << QList<int>{0, 1, 2};
}

void TestCTableModel::sortByColumn()
{
    QFETCH(int, column);
    QFETCH(bool, ascending);
    QFETCH(QList<int>, order);
    loadSmall();
    CTableModel model(m_dataset);
    model.setRows(3, m_dataset->tables().tableColumnCount, m_records.data(), m_stats.data());
    model.rowOrder()[0] = 2;
    model.rowOrder()[2] = 0;
    model.sort(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    QCOMPARE(QList<int>(model.rowOrder(), model.rowOrder() + 3), order);
}

void TestCTableModel::missingSnpLine()
{
    // A SNP that the SNP information file does not list would show another SNP's chromosome and
    // position: such a dataset is refused when it is opened, before any table shows it.
    DatasetFixture fixture = DatasetFixture::small();
    fixture.snps.removeFirst();
    const QString folder = fixture.write(m_dir.filePath(QStringLiteral("missing")));
    const auto loaded = Dataset::load(folder);
    QVERIFY(!loaded.ok());
    QVERIFY(loaded.message().contains(QStringLiteral("has no line for the SNP rs1.")));
}

void TestCTableModel::noExtraColumns()
{
    DatasetFixture fixture;
    fixture.snps = {{QStringLiteral("rs9"), QStringLiteral("3"), QStringLiteral("1.25"), {}}};
    fixture.rows = {{QStringLiteral("A"), QStringLiteral("rs9"), 7.0f, {}}};
    const QString folder = fixture.write(m_dir.filePath(QStringLiteral("plain")));
    auto loaded = Dataset::load(folder);
    QVERIFY(loaded.ok());
    m_dataset = *loaded;
    std::vector<RowRecord> records{{0, 0, 7.0f, 0}};
    CTableModel model(m_dataset);
    model.setRows(1, m_dataset->tables().tableColumnCount, records.data(), nullptr);
    QCOMPARE(model.columnCount(), 5);
    QCOMPARE(model.headerData(4, Qt::Horizontal).toString(), QStringLiteral("p"));
    QCOMPARE(model.data(model.index(0, 3)).toInt(), 1250000);
    QCOMPARE(model.data(model.index(0, 4)).toDouble(), 7.0);
}

// Thousands of SNP information columns: every cell of rows that alternate between lines is its
// own line's field (each line is split once per shown row, not once per cell).
void TestCTableModel::manySnpColumns()
{
    DatasetFixture fixture;
    const int m = 3000;
    for (int s = 0; s < 2; ++s) {
        fixture.snps.append({QStringLiteral("rs%1").arg(s), QStringLiteral("1"), QStringLiteral("1.5"), {}});
        for (int c = 0; c < m; ++c)
            fixture.snps.last().extra << QStringLiteral("s%1c%2").arg(s).arg(c);
        fixture.snpHeader << QStringLiteral("x%1").arg(s * m);
    }
    for (int c = 2; c < m; ++c)
        fixture.snpHeader << QStringLiteral("h%1").arg(c);
    std::vector<RowRecord> records;
    for (int r = 0; r < 40; ++r) {
        fixture.rows.append({QStringLiteral("A"), QStringLiteral("rs%1").arg(r % 2), 1.0f, {}});
        records.push_back({0, r % 2, 1.0f, r});
    }
    const QString folder = fixture.write(m_dir.filePath(QStringLiteral("wide")));
    auto loaded = Dataset::load(folder);
    QVERIFY(loaded.ok());
    m_dataset = *loaded;
    CTableModel model(m_dataset);
    model.setRows(int(records.size()), m_dataset->tables().tableColumnCount, records.data(), nullptr);
    QCOMPARE(model.columnCount(), m + 5);
    for (int r = 0; r < model.rowCount(); ++r) {
        for (int c = 0; c < m; ++c) {
            if (model.data(model.index(r, c + 4)).toString() != QStringLiteral("s%1c%2").arg(r % 2).arg(c))
                QFAIL(qPrintable(QStringLiteral("row %1 column %2").arg(r).arg(c + 4)));
        }
    }
}

void TestCTableModel::modelTester()
{
    loadSmall();
    CTableModel model(m_dataset);
    QAbstractItemModelTester emptyTester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setRows(3, m_dataset->tables().tableColumnCount, m_records.data(), m_stats.data());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(model.data(model.index(2, 4)).isValid());
}

namespace {

// The table's cells as a listing writes them, cell by cell through the model: the reference the
// bulk writer must match byte for byte.
QByteArray modelText(const CTableModel &model)
{
    QByteArray text;
    for (int r = 0; r < model.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < model.columnCount(); ++c) {
            const QVariant v = model.data(model.index(r, c));
            cells << (v.typeId() == QMetaType::Double ? QString::number(v.toDouble(), 'g', 6) : v.toString());
        }
        text += cells.join(QLatin1Char('\t')).toUtf8().replace('\r', ' ') + '\n';
    }
    return text;
}

} // namespace

void TestCTableModel::loadMixed()
{
    // Every column kind with ties: a non-ASCII name, a carriage return inside a field, extra SNP
    // fields that are numbers in several spellings and texts, statistics across the float range.
    DatasetFixture fixture = DatasetFixture::small();
    const auto snp = [](const char *name, const char *chr, const char *pos, const QString &extra) {
        return DatasetFixture::Snp{QString::fromUtf8(name), QLatin1String(chr), QLatin1String(pos), {extra}};
    };
    fixture.snps << snp("rs\xc3\xa9", "7", "3.125", QStringLiteral("a\rb")) << snp("rs4", "X", "1.5", u"10"_s)
                 << snp("rs5", "3", "0.5", u" 9.5"_s) << snp("rs6", "1", "12.5", u"-0"_s)
                 << snp("rs7", "22", "2.5", u"0"_s) << snp("rs8", "2", "10.5", u"GA"_s)
                 << snp("rs9", "1", "0.25", u"1e3"_s);
    const float values[] = {0.0f,      -0.0f, 1e-45f, 3.4e38f, 1e-9f, -430492.5f, 0.000123456789f,
                            999999.5f, 0.1f,  NAN,    0.1f,    -2.0f};
    const char *snps[] = {"rs\xc3\xa9", "rs4", "rs5", "rs6", "rs7", "rs8",
                          "rs9",        "rs1", "rs4", "rs2", "rs9", "rs5"};
    const char *traits[] = {"T1", "T3", "T2", "T3", "T1", "T3", "T2", "T3", "T1", "T3", "T3", "T1"};
    for (int k = 0; k < 12; ++k)
        fixture.rows.append(
            {QLatin1String(traits[k]), QString::fromUtf8(snps[k]), values[k], {values[11 - k]}});
    fixture.traitInfo.append({u"T3"_s, u"third"_s});
    const QString folder = fixture.write(m_dir.filePath(QStringLiteral("mixed")));
    auto loaded = Dataset::load(folder);
    QVERIFY2(loaded.ok(), qPrintable(loaded.message()));
    m_dataset = *loaded;
    // The import writes SNPlist.dat in name order, so a sort by name sorts SNP indexes.
    QVERIFY(m_dataset->tables().snpIndexIsNameOrder());
    // The rows as a panel reads them: every record of the dataset, in table1.dat's order.
    m_mixed = {};
    for (const QString &trait : m_dataset->tables().traitNames) {
        auto rows = readTrait(*m_dataset, trait);
        QVERIFY(rows.ok());
        for (int k = 0; k < rows->count(); ++k) {
            RowRecord r = rows->rows[size_t(k)];
            r.rowNumber = m_mixed.count();
            m_mixed.rows.push_back(r);
            m_mixed.extraStats.push_back(rows->extraStats[size_t(k)]);
        }
    }
    m_mixed.extraCount = 1;
    m_mixedStats.clear();
    for (int k = 0; k < m_mixed.count(); ++k)
        m_mixedStats.push_back(m_mixed.extraOf(k));
}

void TestCTableModel::tableText()
{
    loadMixed();
    CTableModel model(m_dataset);
    model.setRows(m_mixed.count(), m_dataset->tables().tableColumnCount, m_mixed.rows.data(),
                  m_mixedStats.data());
    const TableText text(m_dataset->tables());
    QByteArray bulk;
    text.appendRows(m_mixed, 0, 5, bulk);
    text.appendRows(m_mixed, 5, m_mixed.count(), bulk);
    QCOMPARE(bulk, modelText(model));
    QCOMPARE(text.header(), m_dataset->tables().columnHeaders.join(QLatin1Char('\t')).toUtf8() + '\n');
}

void TestCTableModel::sortsMatchReference_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("ascending");
    const char *names[] = {"trait", "snp", "chr", "pos", "gene field", "first statistic", "extra statistic"};
    for (int c = 0; c < 7; ++c) {
        QTest::addRow("%s ascending", names[c]) << c << true;
        QTest::addRow("%s descending", names[c]) << c << false;
    }
}

void TestCTableModel::sortsMatchReference()
{
    // A plain stable sort by what each column shows, as the table's documented order reads it.
    QFETCH(int, column);
    QFETCH(bool, ascending);
    loadMixed();
    CTableModel model(m_dataset);
    model.setRows(m_mixed.count(), m_dataset->tables().tableColumnCount, m_mixed.rows.data(),
                  m_mixedStats.data());
    const int n = model.rowCount();
    std::vector<QVariant> shown(static_cast<size_t>(n));
    for (int r = 0; r < n; ++r)
        shown[size_t(r)] = model.data(model.index(r, column));
    std::vector<int> reference(static_cast<size_t>(n));
    std::iota(reference.begin(), reference.end(), 0);
    if (column == 2 || column == 3) {
        std::vector<GenomeKey> keys;
        for (int r = 0; r < n; ++r) {
            const QString chr = model.data(model.index(r, 2)).toString();
            const int number = chr == u"X"_s ? 23 : chr.toInt();
            keys.push_back({number, model.data(model.index(r, 3)).toLongLong()});
        }
        orderByGenome(keys, column == 3, ascending, reference.data());
    } else if (column == 4) {
        std::vector<FieldKey> keys;
        for (const QVariant &v : shown)
            keys.push_back(fieldKey(v.toString()));
        orderByField(keys, ascending, reference.data());
    } else {
        const bool text = column < 2;
        std::stable_sort(reference.begin(), reference.end(), [&](int a, int b) {
            const QVariant &l = shown[size_t(a)], &r = shown[size_t(b)];
            if (text)
                return ascending ? l.toString() < r.toString() : r.toString() < l.toString();
            const double x = l.toDouble(), y = r.toDouble();
            if (std::isnan(x) || std::isnan(y))
                return !std::isnan(x) && std::isnan(y);
            return ascending ? x < y : y < x;
        });
    }
    model.sort(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    QCOMPARE(std::vector<int>(model.rowOrder(), model.rowOrder() + n), reference);
}

void TestCTableModel::numberText()
{
    // Random bit patterns cover every exponent; ties (x.5 at the sixth digit) are what Qt rounds
    // away from zero where the C library rounds to even.
    std::vector<float> values{0.0f,  -0.0f, INFINITY,  -INFINITY, NAN,
                              1e-5f, 1e-4f, 999999.5f, 123456.5f, -430492.5f};
    quint32 state = 12345;
    for (int i = 0; i < 300000; ++i) {
        state = state * 1664525u + 1013904223u;
        float f;
        std::memcpy(&f, &state, sizeof f);
        values.push_back(f);
        values.push_back(float(state % 2000000) / 2.0f);
    }
    char buffer[32];
    for (const float v : values) {
        const QByteArray fast(buffer, formatNumber6(v, buffer) - buffer);
        const QByteArray slow = QString::number(double(v), 'g', 6).toLatin1();
        if (fast != slow)
            QFAIL(qPrintable(QStringLiteral("%1: %2 instead of %3")
                                 .arg(double(v), 0, 'g', 17)
                                 .arg(QString::fromLatin1(fast), QString::fromLatin1(slow))));
    }
}

QTEST_GUILESS_MAIN(TestCTableModel)
#include "tst_ctablemodel.moc"
