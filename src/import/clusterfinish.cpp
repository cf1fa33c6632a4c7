// The finish step of a cluster build: the import itself, the rows and tables coming from the
// other steps' outputs in the work folder.

#include "import/clusterbuild.h"
#include "import/importplan.h"

#include "dataset/datasetfiles.h"
#include "dataset/resultrecord.h"
#include "io/atomicfile.h"

namespace quillmap {

namespace {

constexpr qint64 Bins = 65536;

// The parse steps' outcomes, ranges in file order: the first failed line is numbered in the
// whole file, and the values single precision lost are counted as one reading would.
class ParsedLines final : public RowSource
{
public:
    ParsedLines(QString work, int ranges, qsizetype fields)
        : m_work(std::move(work)),
          m_ranges(ranges),
          m_fields(fields)
    {
    }

    bool next(RowBatch &batch, qint64) override
    {
        if (m_taken)
            return false;
        m_taken = true;
        if (!readResultLines(m_work, m_ranges, m_fields, m_lines)) {
            m_error = ImportError::cannotRead("cluster step", m_work);
            return false;
        }
        batch = {};
        batch.lines = m_lines.rows;
        batch.lostCount = &m_lines.lostCount;
        batch.lostFirst = &m_lines.lostFirst;
        batch.error = m_lines.error;
        batch.errorLinesBefore = m_lines.linesBefore;
        return true;
    }

private:
    QString m_work;
    int m_ranges;
    qsizetype m_fields;
    ResultLines m_lines;
    bool m_taken = false;
};

// The tables the place steps wrote, renamed into the folder, and their counts.
class PlacedTables final : public TableWriter
{
public:
    PlacedTables(QString folder, QString work, std::vector<qint64> totals, const NameList &traits,
                 int extraStats)
        : m_folder(std::move(folder)),
          m_work(std::move(work)),
          m_totals(std::move(totals)),
          m_traits(traits),
          m_extraStats(extraStats)
    {
    }

    std::optional<ImportError> writeTable(bool byTrait, std::atomic<qint64> &) override
    {
        using namespace files;
        if (m_totals.empty())
            return ImportError::cannotRead("cluster step", m_work + QStringLiteral("/totals"));
        const int table = byTrait ? 1 : 2;
        AtomicFile lines(datasetFilePath(m_folder, byTrait ? TraitCounts : BinCounts));
        if (!lines.open())
            return ImportError::cannotWrite(lines.path());
        const size_t first = byTrait ? 0 : size_t(m_traits.size());
        const size_t keys = byTrait ? size_t(m_traits.size()) : size_t(Bins);
        qint64 records = 0;
        for (size_t k = first; k < first + keys; ++k)
            records += m_totals[k];
        writeTableCounts(lines, byTrait, m_traits, m_totals.data() + first, keys);
        const QString path = clusterTablePath(m_work, table);
        if (!clusterTableComplete(m_work, table, records * recordSize(m_extraStats)))
            return ImportError::cannotRead("cluster step", path);
        const QString destination = datasetFilePath(m_folder, byTrait ? TraitTable : BinTable);
        if (!AtomicFile::adopt(destination, path))
            return ImportError::cannotWrite(destination);
        if (!lines.commit())
            return ImportError::cannotWrite(lines.path());
        return std::nullopt;
    }

private:
    QString m_folder;
    QString m_work;
    std::vector<qint64> m_totals;
    const NameList &m_traits;
    int m_extraStats;
};

class ClusterRows final : public PlacedRows
{
public:
    ClusterRows(QString work, int ranges)
        : m_work(std::move(work)),
          m_ranges(ranges)
    {
    }

    std::unique_ptr<RowSource> rows(qsizetype fields) override
    {
        return std::make_unique<ParsedLines>(m_work, m_ranges, fields);
    }

    std::optional<ImportError> names(QByteArray &traits, QByteArray &snps) override
    {
        if (!readWorkFile(m_work, QStringLiteral("IDlist"), traits))
            return ImportError::cannotRead("cluster step", m_work + QStringLiteral("/IDlist"));
        if (!readWorkFile(m_work, QStringLiteral("SNPlist"), snps))
            return ImportError::cannotRead("cluster step", m_work + QStringLiteral("/SNPlist"));
        return std::nullopt;
    }

    // The bins step read the file; its header is checked against this import's.
    std::optional<ImportError> snpCheck(qsizetype snpFields) override
    {
        qsizetype headerFields = 0;
        std::optional<ImportError> error;
        if (!readBinsOutcome(m_work, headerFields, error))
            return ImportError::cannotRead("cluster step", m_work + QStringLiteral("/bins.meta"));
        if (headerFields != snpFields)
            return ImportError::invalid(" error : it has different column numbers!");
        return error;
    }

    std::unique_ptr<TableWriter> tables(const QString &folder, const NameList &traits,
                                        int extraStats) override
    {
        std::vector<qint64> totals;
        if (!readKeyTotals(m_work, m_ranges, totals) || totals.size() != size_t(traits.size() + Bins))
            totals.clear();
        return std::make_unique<PlacedTables>(folder, m_work, std::move(totals), traits, extraStats);
    }

private:
    QString m_work;
    int m_ranges;
};

} // namespace

ImportResult runBeginStep(const QString &folder, const ImportInputs &inputs)
{
    ImportPlan plan;
    plan.lockFolder = false;
    plan.checksOnly = true;
    return runImport(folder, inputs, plan, {});
}

ImportResult runFinishStep(const QString &folder, const ImportInputs &inputs, const QString &work, int ranges,
                           const QByteArray &abortLine, const ImportProgress &progress)
{
    ClusterRows placed(work, ranges);
    ImportPlan plan;
    plan.lockFolder = false;
    plan.placed = &placed;
    plan.abortLine = abortLine;
    return runImport(folder, inputs, plan, progress);
}

} // namespace quillmap
