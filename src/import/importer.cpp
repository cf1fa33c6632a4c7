#include "import/importer.h"

#include "io/atomicfile.h"
#include "dataset/chromosome.h"
#include "dataset/datasetfiles.h"
#include "dataset/positionbin.h"
#include "dataset/resultrecord.h"
#include "import/clusterbuild.h"
#include "import/importplan.h"
#include "import/nameset.h"
#include "import/numberparse.h"
#include "import/resultsrange.h"
#include "import/rowstore.h"
#include "import/runspill.h"
#include "import/snpbinning.h"
#include "io/linereader.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>

#include <cerrno>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmap {

namespace {

constexpr qint64 ProgressMask = (qint64(1) << 16) - 1;
constexpr qint64 MaxRows = std::numeric_limits<qint32>::max();
qint64 g_maxRows = MaxRows;
qint64 g_memoryRows = 0; // rows held before a run is spilled, set by tests; 0: from the limit
qint64 g_sortRows = 0;   // rows of a sorted run, set by tests; 0: as g_memoryRows
int g_spillBypass = -1;  // tests: 1 or 0 bypasses the page cache or not; -1: by the spill's size
qint64 g_freeDisk = -1;  // free disk bytes, set by tests; -1: the file system's figure
constexpr qsizetype MaxExtraStats = qsizetype(1) << 24;

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

// Bytes this process may still write to the file system holding `folder`; -1 when unknown.
qint64 freeDiskBytes(const QString &folder)
{
    if (g_freeDisk >= 0)
        return g_freeDisk;
    struct statvfs info;
    if (::statvfs(QFile::encodeName(folder).constData(), &info) != 0)
        return -1;
    return qint64(info.f_bavail) * qint64(info.f_frsize);
}

// "1.4 GB", "12.0 MB", "3 KB" (powers of 1024, as --memory takes them).
QByteArray diskSize(qint64 bytes)
{
    if (bytes >= qint64(1) << 30)
        return QByteArray::number(double(bytes) / double(qint64(1) << 30), 'f', 1) + " GB";
    if (bytes >= qint64(1) << 20)
        return QByteArray::number(double(bytes) / double(qint64(1) << 20), 'f', 1) + " MB";
    return number((bytes + 1023) / 1024) + " KB";
}

ImportResult failedResult(const ImportError &error)
{
    ImportResult result;
    result.failed = true;
    result.failure = error.failure;
    result.errorText = error.text;
    return result;
}

std::string_view view(QByteArrayView bytes)
{
    return {bytes.data(), size_t(bytes.size())};
}

// Every dataset file goes through a temporary file renamed over it on commit; until then the
// old file stays as it was, and any failed write fails the commit.
using OutputFile = quillmap::AtomicFile;

class Import final
{
public:
    Import(const QString &folder, const ImportInputs &inputs, const ImportPlan &plan,
           const ImportProgress &progress, ResultFeed *feed = nullptr)
        : m_folder(folder),
          m_inputs(inputs),
          m_plan(plan),
          m_progress(progress),
          m_feed(feed)
    {
    }

    ImportResult run();

private:
    // Records the first failure; always returns false so checks can `return fail(...)`.
    bool fail(const ImportError &error)
    {
        if (!m_error)
            m_error = error;
        return false;
    }
    bool invalid(const QByteArray &reportLine, bool lineFeed = true)
    {
        return fail(ImportError::invalid(reportLine, lineFeed));
    }
    bool cannotOpen(const char *role, const QString &path)
    {
        return fail(ImportError::cannotOpen(role, path));
    }
    bool cannotRead(const char *role, const QString &path)
    {
        return fail(ImportError::cannotRead(role, path));
    }
    bool cannotWrite(const QString &path) { return fail(ImportError::cannotWrite(path)); }
    // A file saved as UTF-16 would fail some later check with a message that hides the cause.
    bool notUtf16(const LineReader &reader, const char *role, const QString &path)
    {
        if (!reader.startsWithUtf16Mark())
            return true;
        return invalid("error : the " + QByteArray(role) + " file " + path.toUtf8()
                       + " is UTF-16 text, please save it as UTF-8 text!");
    }
    bool badLine(const quillmap::ResultsLineError &error, qint64 linesBefore)
    {
        if (error.kind == quillmap::ResultsLineError::Kind::Unreadable)
            return cannotRead("results", m_inputs.results);
        return fail(
            {ImportFailure::Validation, error.reportLine(linesBefore), true, error.text(linesBefore)});
    }
    // An input from memory when the inputs hold its bytes, else from its file.
    bool openInput(LineReader &reader, const QString &path) const
    {
        const auto bytes = m_inputs.inMemory.constFind(path);
        return bytes != m_inputs.inMemory.cend() ? reader.open(*bytes) : reader.open(path);
    }

    QString outputPath(const char *name) const { return quillmap::files::datasetFilePath(m_folder, name); }
    bool writeFile(const char *name, QByteArrayView content);

    void stage(ImportStage which)
    {
        if (m_progress)
            m_progress(which, 0);
    }
    void tick(ImportStage which, qint64 rows)
    {
        if (m_progress && (rows & ProgressMask) == 0)
            m_progress(which, rows);
    }

    bool pathsUsable();
    bool lockFolder();
    bool removeStaleOptionalFiles();
    bool prepare();
    bool chooseNegLog10Columns();
    bool firstPass();
    bool firstPassChecks();
    bool readRows();
    bool storeRows(const quillmap::RowBatch &batch, qint64 before, qint64 runRows);
    void addLost(const quillmap::RowBatch &batch, qint64 linesBefore);
    qint64 rowsPerRun(int width) const;
    qint64 rowsPerSortedRun() const;
    bool writeNameLists();
    bool checkTraitInfo();
    bool secondPass();
    bool readSnpInfo();
    bool writeTables();
    bool spillRows();
    bool diskHasRoom(qint64 needed);
    bool buildGroups();
    bool buildGenes();
    template <typename Key, typename Gather, typename KeyText>
    bool buildKeyedFile(ImportStage which, LineReader &input, const char *role, const QString &inputPath,
                        const char *name, Gather gather, KeyText keyText);
    void releaseRows();
    bool writeSummary();

    QString m_folder;
    ImportInputs m_inputs;
    ImportPlan m_plan;
    ImportProgress m_progress;
    ResultFeed *m_feed = nullptr; // the results rows, when they come parsed

    LineReader m_results;
    LineReader m_snpInfo;
    LineReader m_traitInfo;
    LineReader m_groups;
    LineReader m_genes;

    std::unique_ptr<QLockFile> m_lock;
    std::optional<ImportError> m_error;
    QByteArray m_summaryHead;         // summary.txt lines 1 to 5
    quillmap::ResultsLayout m_layout; // the results header: F fields, names, -log10 columns
    qsizetype m_snpFields = 0;        // S
    int m_extraStats = 0;             // E
    std::vector<qint64> m_lostCount;  // per results field: nonzero values kept as 0 or subnormal
    std::vector<qint64> m_lostFirst;  // per results field: the first such data line

    quillmap::SplitNameSet m_traitSet; // one part, but for a results file read in parallel
    quillmap::SplitNameSet m_snpSet;
    quillmap::RowStore m_rows;
    quillmap::RunSpill m_spill; // rows beyond the memory limit
    quillmap::NameList m_traitNames;
    qint64 m_snpCount = 0;
    std::vector<qint32> m_snpFinal; // provisional SNP id -> SNP index
    std::vector<qint16> m_snpBins;
    std::vector<QByteArrayView> m_fields;
    qint64 m_rowCount = 0;
    double m_readFraction = 0.0; // the share of the results file read when the last rows were stored
};

bool Import::writeFile(const char *name, QByteArrayView content)
{
    OutputFile out(outputPath(name));
    if (!out.open())
        return cannotWrite(outputPath(name));
    out.write(content);
    if (!out.commit())
        return cannotWrite(outputPath(name));
    return true;
}

// Opens every chosen input, reads the two headers the report needs and marks the folder as
// being imported. Nothing but summary.txt is touched before all inputs are known to open.
bool Import::prepare()
{
    // A feed writes its files as it hands the rows.
    const bool resultsOpen = m_feed || openInput(m_results, m_inputs.results);
    const bool snpOpen = m_feed || openInput(m_snpInfo, m_inputs.snpInfo);

    QByteArrayView header;
    QByteArray resultsHeader = m_feed ? m_feed->resultsHeader() : QByteArray();
    QByteArray snpHeader = m_feed ? m_feed->snpInfoHeader() : QByteArray();
    if (!m_feed && resultsOpen && m_results.readLine(header))
        resultsHeader = header.toByteArray();
    if (!m_feed && snpOpen && m_snpInfo.readLine(header))
        snpHeader = header.toByteArray();
    m_snpInfo.close(); // read again from the start in the second pass
    m_layout = quillmap::ResultsLayout::fromHeader(resultsHeader, 0);
    m_snpFields = snpHeader.count('\t') + 1;
    m_extraStats = int(std::clamp<qsizetype>(m_layout.fields - 3, 0, MaxExtraStats));
    const bool columnsKnown = chooseNegLog10Columns();
    if (columnsKnown && !m_inputs.negLog10Columns.isEmpty()) {
        QList<QByteArray> named = m_layout.header;
        for (qsizetype k = 0; k < named.size(); ++k) {
            if (m_layout.negLog10[size_t(k)])
                named[k] = "-log10(" + named[k] + ')';
        }
        resultsHeader = named.join('\t');
    }

    QByteArray paths = m_inputs.results.toUtf8() + '\t' + m_inputs.snpInfo.toUtf8() + '\t'
        + m_inputs.traitInfo.toUtf8();
    if (!m_inputs.groups.isEmpty())
        paths += '\t' + m_inputs.groups.toUtf8();
    using namespace quillmap::files;
    m_summaryHead = paths + '\n' + MainHeaderLabel + resultsHeader + '\n' + SnpHeaderLabel + snpHeader + '\n'
        + ExtraStatsLabel + number(m_extraStats) + '\n' + ExtraSnpColumnsLabel
        + number(std::max<qsizetype>(m_snpFields - 3, 0)) + '\n';

    // Until the import ends, line 6 says the folder holds no finished dataset.
    if (!writeFile(Summary,
                   m_summaryHead
                       + "error : the import into this folder has not finished, please load the data"
                         " again!\n"))
        return false;

    if (!resultsOpen)
        return cannotOpen("results", m_inputs.results);
    if (!columnsKnown)
        return false;
    if (m_results.failed())
        return cannotRead("results", m_inputs.results);
    if (!snpOpen)
        return cannotOpen("SNP information", m_inputs.snpInfo);
    if (!m_feed && !openInput(m_traitInfo, m_inputs.traitInfo))
        return cannotOpen("trait information", m_inputs.traitInfo);
    if (!m_inputs.groups.isEmpty() && !openInput(m_groups, m_inputs.groups))
        return cannotOpen("trait group", m_inputs.groups);
    if (!m_inputs.genes.isEmpty() && !openInput(m_genes, m_inputs.genes))
        return cannotOpen("gene position", m_inputs.genes);
    return true;
}

// Marks the results columns to store as -log10; each name must be a statistics column's header.
bool Import::chooseNegLog10Columns()
{
    m_lostCount.assign(size_t(m_layout.fields), 0);
    m_lostFirst.assign(size_t(m_layout.fields), 0);
    for (const QString &name : std::as_const(m_inputs.negLog10Columns)) {
        const QByteArray bytes = name.toUtf8();
        bool found = false;
        for (qsizetype k = 2; k < m_layout.fields; ++k) {
            if (m_layout.header[k] == bytes) {
                m_layout.negLog10[size_t(k)] = 1;
                found = true;
            }
        }
        if (!found)
            return invalid("error : the results file has no statistic column named " + bytes
                           + " to store as -log10!");
    }
    return true;
}

bool Import::firstPass()
{
    return firstPassChecks() && readRows() && writeNameLists() && checkTraitInfo();
}

// The checks that come before the first results line.
bool Import::firstPassChecks()
{
    using namespace quillmap::files;
    stage(ImportStage::Results);
    if (!writeFile(TraitList, {}) || !writeFile(SnpList, {}))
        return false;
    if (!notUtf16(m_results, "results", m_inputs.results)
        || !notUtf16(m_snpInfo, "SNP information", m_inputs.snpInfo))
        return false;
    if (m_layout.fields < 3)
        return invalid("error : the results file needs at least 3 columns (trait, SNP, statistic)!", true);
    if (m_layout.fields - 3 > MaxExtraStats)
        return invalid("error : the results file has more than " + number(MaxExtraStats)
                           + " extra statistic columns!",
                       true);
    if (m_snpFields < 3)
        return invalid("error : the snp info file needs at least 3 columns (SNP, chr, pos)!", true);
    return true;
}

// Rows held before they go to a run on disk. Half the memory limit is for the rows: the name
// sets, the bins and the buffers take the rest.
qint64 Import::rowsPerRun(int width) const
{
    if (g_memoryRows > 0)
        return g_memoryRows;
    const qint64 memory = m_inputs.memoryLimit > 0 ? m_inputs.memoryLimit : quillmap::defaultImportMemory();
    return std::max<qint64>(qint64(1) << 16, memory / 2 / quillmap::importBytesPerRow(width));
}

// Rows of a run sorted after the spill: the run and its two sorted copies take three eighths of
// the limit, the name lists, indexes and bins the rest.
qint64 Import::rowsPerSortedRun() const
{
    if (g_memoryRows > 0)
        return g_sortRows > 0 ? g_sortRows : g_memoryRows;
    const qint64 memory = m_inputs.memoryLimit > 0 ? m_inputs.memoryLimit : quillmap::defaultImportMemory();
    return std::max<qint64>(qint64(1) << 16,
                            memory / 8 * 3 / (3 * quillmap::RunSpill::rowBytes(m_extraStats + 1)));
}

// Every source's rows go through here, so the checks on them exist once: the row limit, the
// first bad line, the lost values, the source's own failure and a file without data lines.
bool Import::readRows()
{
    std::unique_ptr<quillmap::RowSource> source;
    if (m_plan.placed) {
        m_results.close();
        source = m_plan.placed->rows(m_layout.fields);
    } else {
        m_rows.reset(m_extraStats + 1);
        // Beyond the memory limit the rows held so far go to a run on disk.
        m_spill.start(m_folder, m_extraStats + 1);
        source = m_feed ? quillmap::feedSource(*m_feed, m_layout.fields, m_traitSet, m_snpSet)
                        : quillmap::resultsFileSource(m_inputs.results, m_results, m_layout,
                                                      m_inputs.inMemory.contains(m_inputs.results),
                                                      m_inputs.memoryLimit, m_traitSet, m_snpSet);
    }
    const qint64 runRows = rowsPerRun(m_extraStats + 1);
    quillmap::RowBatch batch;
    qint64 before = 0;
    while (source->next(batch, g_maxRows - before + 1)) {
        addLost(batch, before);
        if (before + batch.lines > g_maxRows)
            return invalid("error : the results file has more than " + number(g_maxRows) + " data lines!");
        if (batch.traitIds && !storeRows(batch, before, runRows))
            return false;
        if (batch.error)
            return badLine(*batch.error, before + batch.errorLinesBefore);
        before += batch.lines;
    }
    if (std::optional<ImportError> error = source->finish())
        return fail(*error);
    // A feed writes the trait information file once its rows are handed.
    if (m_feed && !openInput(m_traitInfo, m_inputs.traitInfo))
        return cannotOpen("trait information", m_inputs.traitInfo);
    if (before == 0)
        return invalid("error : the results file has no data lines!");
    m_rowCount = before;
    return true;
}

bool Import::storeRows(const quillmap::RowBatch &batch, qint64 before, qint64 runRows)
{
    const size_t width = size_t(m_extraStats) + 1;
    for (qint64 r = 0; r < batch.lines;) {
        // Up to the next run or the next step of progress, whichever comes first.
        const qint64 stored = before + r;
        const qint64 piece = std::min(
            {batch.lines - r, runRows - m_rows.size(), (ProgressMask + 1) - (stored & ProgressMask)});
        for (qint64 k = r; k < r + piece; ++k)
            m_rows.append(batch.traitIds[k], batch.snpIds[k], batch.stats + size_t(k) * width);
        r += piece;
        m_readFraction = batch.readBefore
            + (batch.readAfter - batch.readBefore) * double(r) / double(batch.lines);
        if (m_rows.size() >= runRows && !spillRows())
            return cannotWrite(m_spill.errorPath());
        tick(ImportStage::Results, before + r);
    }
    return true;
}

void Import::addLost(const quillmap::RowBatch &batch, qint64 linesBefore)
{
    if (!batch.lostCount || !batch.lostFirst)
        return;
    const std::vector<qint64> &count = *batch.lostCount;
    for (size_t k = 0; k < m_lostCount.size() && k < count.size(); ++k) {
        if (count[k] > 0 && m_lostCount[k] == 0)
            m_lostFirst[k] = linesBefore + (*batch.lostFirst)[k];
        m_lostCount[k] += count[k];
    }
}

bool Import::writeNameLists()
{
    auto writeList = [this](const char *name, const NameList &names) {
        OutputFile out(outputPath(name));
        if (!out.open())
            return cannotWrite(outputPath(name));
        for (qint64 i = 0; i < names.size(); ++i) {
            out.write(names.at(i));
            out.write('\n');
        }
        return out.commit() || cannotWrite(outputPath(name));
    };

    if (m_plan.placed) {
        // The names step sorted them already.
        QByteArray traits;
        QByteArray snps;
        if (std::optional<ImportError> error = m_plan.placed->names(traits, snps))
            return fail(*error);
        m_traitNames = {};
        forEachLine(traits,
                    [this](const char *p, qsizetype n) { m_traitNames.append(QByteArrayView(p, n)); });
        m_snpCount = snps.count('\n');
        return writeFile(quillmap::files::TraitList, traits) && writeFile(quillmap::files::SnpList, snps);
    }
    std::vector<qint32> traitIndex;
    m_traitSet.finish(m_traitNames, traitIndex);
    m_traitSet.clear();
    if (!writeList(quillmap::files::TraitList, m_traitNames))
        return false;

    // The SNP set stays: the SNP information file names its SNPs by text, and m_snpFinal turns
    // the set's ids into SNP indexes. The sorted names are needed only for the file.
    {
        NameList snpNames;
        m_snpSet.finish(snpNames, m_snpFinal);
        m_snpCount = snpNames.size();
        if (!writeList(quillmap::files::SnpList, snpNames))
            return false;
    }
    if (m_spill.active()) {
        // The rows still held make the last run when it fits beside its sorted copies; otherwise
        // they join the spilled rows, which take their indexes when they are sorted.
        if (m_rows.size() > rowsPerSortedRun() && !spillRows())
            return cannotWrite(m_spill.errorPath());
        m_spill.setIndexes(traitIndex, m_snpFinal);
    }
    for (qint64 r = 0; r < m_rows.size(); ++r) {
        m_rows.trait(r) = traitIndex[size_t(m_rows.trait(r))];
        m_rows.snp(r) = m_snpFinal[size_t(m_rows.snp(r))];
    }
    m_snpBins.assign(size_t(m_snpCount), 0);
    return true;
}

bool Import::checkTraitInfo()
{
    stage(ImportStage::TraitInfo);
    QByteArrayView line;
    qsizetype traitFields = 1;
    if (m_traitInfo.readLine(line))
        traitFields = line.count('\t') + 1;
    if (!notUtf16(m_traitInfo, "trait information", m_inputs.traitInfo))
        return false;
    qint64 n = 0;
    while (m_traitInfo.readLine(line)) {
        ++n;
        if (line.count('\t') + 1 != traitFields)
            return invalid("error : " + number(n) + "th line has different column numbers!", true);
        tick(ImportStage::TraitInfo, n);
    }
    if (m_traitInfo.failed())
        return cannotRead("trait information", m_inputs.traitInfo);
    m_traitInfo.close();
    return true;
}

bool Import::secondPass()
{
    using namespace quillmap::files;
    stage(ImportStage::SnpInfo);
    if (!writeFile(TraitTable, {}) || !writeFile(TraitCounts, {}))
        return false;
    // The tables; when rows were spilled, first both sorted copies of them (the rows file
    // already on disk is removed before the tables are written).
    const qint64 records = (m_rows.size() + m_spill.rows()) * quillmap::recordSize(m_extraStats);
    if (!m_plan.placed
        && !diskHasRoom(m_spill.active()
                            ? 3 * records - m_spill.rows() * quillmap::RunSpill::rowBytes(m_extraStats + 1)
                            : 2 * records))
        return false;
    if (!readSnpInfo())
        return false;
    stage(ImportStage::Tables);
    return writeTables();
}

bool Import::readSnpInfo()
{
    if (m_plan.placed) {
        const std::optional<ImportError> error = m_plan.placed->snpCheck(m_snpFields);
        return !error || fail(*error);
    }
    if (!openInput(m_snpInfo, m_inputs.snpInfo))
        return cannotOpen("SNP information", m_inputs.snpInfo);
    quillmap::SnpBinning binning;
    const std::optional<ImportError> error = quillmap::binSnps(
        m_snpInfo, m_inputs.snpInfo, m_snpFields,
        [this](QByteArrayView name) {
            const qint32 id = m_snpSet.find(name);
            return id < 0 ? -1 : m_snpFinal[size_t(id)];
        },
        m_snpCount, binning, [this](qint64 n) { tick(ImportStage::SnpInfo, n); });
    m_snpInfo.close();
    m_snpBins = std::move(binning.bins);
    m_snpSet.clear();
    m_snpFinal = {};
    return !error || fail(*error);
}

// Both tables are the same records in two orders; the writer depends on where the rows are.
bool Import::writeTables()
{
    std::unique_ptr<quillmap::TableWriter> writer;
    if (m_plan.placed) {
        writer = m_plan.placed->tables(m_folder, m_traitNames, m_extraStats);
    } else if (!m_spill.active()) {
        writer = std::make_unique<quillmap::HeldTableWriter>(m_folder, m_rows, m_snpBins, m_traitNames,
                                                             m_extraStats);
    } else {
        if (!m_spill.sortRuns(m_rows, rowsPerSortedRun(), m_snpBins, m_traitNames.size()))
            return cannotWrite(m_spill.errorPath());
        writer = std::make_unique<quillmap::SpilledTableWriter>(m_folder, m_spill, m_traitNames,
                                                                m_extraStats);
    }
    const std::optional<ImportError> error = quillmap::writeBothTables(*writer, m_progress);
    return !error || fail(*error);
}

// Said before the disk fills: an import of hours should not fail at its end for want of room.
bool Import::diskHasRoom(qint64 needed)
{
    const qint64 free = freeDiskBytes(m_folder);
    if (free < 0 || needed <= free)
        return true;
    const QByteArray line = "error : the import needs about " + diskSize(needed)
        + " of free disk space in the folder " + m_folder.toUtf8() + ", but only " + diskSize(free)
        + " is free there!";
    return fail(ImportError::of(ImportFailure::WriteFailure, line));
}

bool Import::spillRows()
{
    // Before the first run, from the part of the results file read: the rows file, both sorted
    // copies, then the tables beside them (the rows file removed by then) need about three
    // times the records at once. The old table1.dat is emptied before that.
    const double read = m_feed || m_spill.active() ? 0.0 : m_readFraction;
    if (read > 0.0) {
        const QFileInfo oldTable(outputPath(quillmap::files::TraitTable));
        const qint64 rows = qint64(double(m_rows.size()) / read);
        if (!diskHasRoom(3 * rows * quillmap::recordSize(m_extraStats)
                         - (oldTable.isFile() && !oldTable.isSymLink() ? oldTable.size() : 0)))
            return false;
        const qint64 spillBytes = rows
            * (quillmap::RunSpill::rowBytes(m_extraStats + 1) + 2 * quillmap::recordSize(m_extraStats));
        m_spill.setBypassCache(quillmap::spillBypassesCache(spillBytes, quillmap::physicalMemory()));
    }
    if (!m_spill.active() && g_spillBypass >= 0)
        m_spill.setBypassCache(g_spillBypass == 1);
    const bool ok = m_spill.addRows(m_rows);
    m_rows.reset(m_extraStats + 1);
    return ok;
}

void Import::releaseRows()
{
    m_rows.reset(1);
    m_spill.clear();
    m_traitSet.clear();
    m_snpSet.clear();
    m_snpFinal = {};
    m_snpBins = {};
}

// Gene2ID.dat: each group with its traits in the order of the trait group file.
bool Import::buildGroups()
{
    auto gather = [](QByteArrayView line, std::map<QString, std::string> &groups) {
        // Field by field: a line may name any number of groups, and is never split whole.
        const qsizetype firstTab = line.indexOf('\t');
        const QByteArrayView trait = firstTab < 0 ? line : line.first(firstTab);
        for (qsizetype at = firstTab; at >= 0;) {
            const qsizetype next = line.indexOf('\t', at + 1);
            const QByteArrayView group = line.sliced(at + 1, (next < 0 ? line.size() : next) - at - 1);
            std::string &traits = groups[QString::fromUtf8(group)];
            traits += '\t';
            traits += view(trait);
            at = next;
        }
    };
    return buildKeyedFile<QString>(ImportStage::Groups, m_groups, "trait group", m_inputs.groups,
                                   quillmap::files::GroupTraits, gather,
                                   [](const QString &group) { return group.toUtf8(); });
}

// pos2gene.dat: genes by the bin of their start. Lines with fewer than four fields or with a
// start or end that is not a number are skipped.
bool Import::buildGenes()
{
    auto gather = [this](QByteArrayView line, std::map<qint32, std::string> &bins) {
        splitTabs(line, m_fields, 4); // fields after the fourth are not read
        if (m_fields.size() < 4)
            return;
        const std::optional<double> start = quillmap::parseDouble(m_fields[2].trimmed());
        const std::optional<double> end = quillmap::parseDouble(m_fields[3].trimmed());
        if (!start || !end)
            return;
        // An end beyond 500 can only be base pairs; the test looks at this line's end alone.
        const double scale = *end > 500.0 ? 1e6 : 1.0;
        const double startMb = *start / scale;
        const double endMb = *end / scale;
        const double bin = double(quillmap::geneChromosomeNumber(m_fields[1])) * 1000.0 + std::floor(startMb);
        if (!(bin >= double(std::numeric_limits<qint32>::min())
              && bin <= double(std::numeric_limits<qint32>::max())))
            return;
        std::string &genes = bins[qint32(bin)];
        genes += '\t';
        genes += view(m_fields[0]);
        genes += '\t';
        genes += QString::number(startMb, 'g', 6).toStdString();
        genes += '\t';
        genes += QString::number(endMb, 'g', 6).toStdString();
    };
    return buildKeyedFile<qint32>(ImportStage::Genes, m_genes, "gene position", m_inputs.genes,
                                  quillmap::files::BinGenes, gather, [](qint32 bin) { return number(bin); });
}

// The optional files' builders: the input's lines after its header are gathered by key
// (gather(line, lines) appends each entry led by a tab), then written a line per key in key
// order, the key then its entries.
template <typename Key, typename Gather, typename KeyText>
bool Import::buildKeyedFile(ImportStage which, LineReader &input, const char *role, const QString &inputPath,
                            const char *name, Gather gather, KeyText keyText)
{
    stage(which);
    std::map<Key, std::string> lines;
    QByteArrayView line;
    input.readLine(line); // header
    if (!notUtf16(input, role, inputPath))
        return false;
    qint64 n = 0;
    while (input.readLine(line)) {
        gather(line, lines);
        tick(which, ++n);
    }
    if (input.failed())
        return cannotRead(role, inputPath);
    input.close();

    const QString path = outputPath(name);
    OutputFile out(path);
    if (!out.open())
        return cannotWrite(path);
    for (const auto &[key, entries] : lines) {
        out.write(keyText(key));
        out.write(QByteArrayView(entries.data(), qsizetype(entries.size())));
        out.write('\n');
    }
    return out.commit() || cannotWrite(path);
}

bool Import::writeSummary()
{
    QByteArray content = m_summaryHead;
    if (m_error) {
        content += m_error->reportLine;
        if (m_error->lineFeed)
            content += '\n';
    } else {
        content += quillmap::files::TraitNumLabel + number(m_traitNames.size()) + '\n'
            + quillmap::files::SnpNumLabel + number(m_snpCount) + '\n';
    }
    const bool complete = !m_error;
    const bool written = writeFile(quillmap::files::Summary, content);
    return written && complete;
}

// Line 1 of summary.txt joins the paths with tabs and the readers split it at line ends, so a
// path holding either could be recorded but never read back.
bool Import::pathsUsable()
{
    for (const QString *path : {&m_folder, &m_inputs.results, &m_inputs.snpInfo, &m_inputs.traitInfo,
                                &m_inputs.groups, &m_inputs.genes}) {
        if (importPathUsable(*path))
            continue;
        QString shown = *path;
        shown.replace(QLatin1Char('\t'), QStringLiteral("\\t"))
            .replace(QLatin1Char('\n'), QStringLiteral("\\n"))
            .replace(QLatin1Char('\r'), QStringLiteral("\\r"));
        const QByteArray line = "error : the path " + shown.toUtf8()
            + " holds a tab or a line break, please rename it!";
        return fail(ImportError::of(ImportFailure::UnusablePath, line));
    }
    return true;
}

// Held for the whole import: two imports writing one folder would leave a mix of both that
// reads as one good dataset. The lock of an import that was killed names a process that is
// gone, so it is taken over.
bool Import::lockFolder()
{
    const QString path = m_folder + QStringLiteral("/.quillmap-import.lock");
    m_lock = std::make_unique<QLockFile>(path);
    m_lock->setStaleLockTime(0); // an import may run for hours; only a dead owner frees the lock
    if (m_lock->tryLock(0))
        return true;
    if (m_lock->error() == QLockFile::LockFailedError) {
        const QByteArray line = "error : another import into the folder " + m_folder.toUtf8()
            + " is running, please wait until it has finished!";
        return fail(ImportError::of(ImportFailure::Busy, line));
    }
    return cannotWrite(path);
}

// Optional files not written by this import would otherwise stay from an earlier study and be
// shown beside this one.
bool Import::removeStaleOptionalFiles()
{
    const std::pair<bool, const char *> optional[] = {
        {m_inputs.groups.isEmpty(), quillmap::files::GroupTraits},
        {m_inputs.genes.isEmpty(), quillmap::files::BinGenes}};
    for (const auto &[stale, name] : optional) {
        // unlink removes a planted link itself, never what it points to.
        if (stale && ::unlink(QFile::encodeName(outputPath(name)).constData()) != 0 && errno != ENOENT)
            return cannotWrite(outputPath(name));
    }
    return true;
}

ImportResult Import::run()
{
    bool prepared = false;
    ImportResult result;
    if (!pathsUsable() || (m_plan.lockFolder && !lockFolder()))
        return failedResult(*m_error);
    // What a cluster build killed midway left behind; its own steps start after this.
    if (!m_plan.placed && !quillmap::removeClusterWork(m_folder))
        cannotWrite(quillmap::clusterWorkPath(m_folder));
    if (m_plan.checksOnly) {
        if (!m_error)
            prepare() && removeStaleOptionalFiles() && firstPassChecks();
        return m_error ? failedResult(*m_error) : result;
    }
    try {
        prepared = !m_error && prepare() && removeStaleOptionalFiles();
        if (prepared && !m_plan.abortLine.isEmpty())
            fail(ImportError::of(ImportFailure::WriteFailure, m_plan.abortLine));
        if (prepared && !m_error && firstPass())
            secondPass();
        releaseRows();
        // The optional builders run after a failed check too, as they always have; not after an
        // input that could not be read or an output that could not be written.
        if (prepared && (!m_error || m_error->failure == ImportFailure::Validation)) {
            if (!m_inputs.groups.isEmpty())
                buildGroups();
            if (!m_inputs.genes.isEmpty())
                buildGenes();
        }
    } catch (const std::bad_alloc &) {
        releaseRows();
        m_traitNames = {};
        m_snpCount = 0;
        fail(ImportError::of(ImportFailure::OutOfMemory,
                             "error : there is not enough memory to import these files!"));
    }
    // Written last: only now may line 6 say the dataset is complete. When it cannot be written
    // the folder keeps the unfinished mark, and the import has failed.
    if (!m_summaryHead.isEmpty())
        writeSummary();

    if (m_error)
        result = failedResult(*m_error);
    for (size_t k = 0; k < m_lostCount.size(); ++k) {
        if (m_lostCount[k] > 0)
            result.lost.append(
                {QString::fromUtf8(m_layout.header.value(qsizetype(k))), m_lostCount[k], m_lostFirst[k]});
    }
    if (!m_error) {
        result.rows = m_rowCount;
        result.traits = m_traitNames.size();
        result.snps = m_snpCount;
    }
    return result;
}

} // namespace

bool importPathUsable(const QString &path)
{
    return !path.contains(QLatin1Char('\t')) && !path.contains(QLatin1Char('\n'))
        && !path.contains(QLatin1Char('\r'));
}

qint64 maxResultRows()
{
    return g_maxRows;
}

void setImportMemoryRowsForTesting(qint64 rows, qint64 sortedRunRows)
{
    g_memoryRows = std::max<qint64>(rows, 0);
    g_sortRows = std::max<qint64>(sortedRunRows, 0);
}

void setImportSpillBypassForTesting(int bypass)
{
    g_spillBypass = bypass;
}

void setFreeDiskBytesForTesting(qint64 bytes)
{
    g_freeDisk = bytes < 0 ? -1 : bytes;
}

void setMaxResultRowsForTesting(qint64 rows)
{
    g_maxRows = rows < 1 ? MaxRows : std::min(rows, MaxRows);
}

QString importStageText(ImportStage stage)
{
    // One text a stage, in the order ImportStage lists them (Genes last).
    static constexpr const char *Texts[] = {
        "Reading the association files",       "Reading the results file",
        "Checking the trait information file", "Reading the SNP information file",
        "Writing the result tables",           "Writing the trait groups",
        "Writing the gene positions"};
    static_assert(std::size(Texts) == std::size_t(ImportStage::Genes) + 1);
    return QString::fromLatin1(Texts[std::size_t(stage)]);
}

QString lostValuesNotice(const QList<LostValues> &lost)
{
    QString notice;
    for (const LostValues &column : lost) {
        notice += QStringLiteral("Warning: %1 nonzero value(s) of column %2 are too small for single"
                                 " precision and were stored as 0 or with lost digits (the first on"
                                 " data line %3). Import again with --neglog10 %2 to store that column"
                                 " as -log10(%2) and keep them.\n")
                      .arg(column.count)
                      .arg(column.column)
                      .arg(column.firstLine);
    }
    return notice;
}

ImportResult runImport(const QString &folder, const ImportInputs &inputs, const ImportProgress &progress)
{
    Import import(folder, inputs, ImportPlan{}, progress);
    return import.run();
}

ImportResult runImport(const QString &folder, const ImportInputs &inputs, ResultFeed &feed,
                       const ImportProgress &progress)
{
    Import import(folder, inputs, ImportPlan{}, progress, &feed);
    return import.run();
}

ImportResult runImport(const QString &folder, const ImportInputs &inputs, const ImportPlan &plan,
                       const ImportProgress &progress)
{
    Import import(folder, inputs, plan, progress);
    return import.run();
}

} // namespace quillmap
