#include "import/importer.h"

#include "dataset/datasetfiles.h"
#include "dataset/snpinfoindex.h"
#include "import/clusterbuild.h"
#include "import/folderlock.h"
#include "import/heldrows.h"
#include "import/importplan.h"
#include "import/nameset.h"
#include "import/optionalfiles.h"
#include "import/resultsrange.h"
#include "import/runspill.h"
#include "import/snpbinning.h"
#include "io/atomicfile.h"
#include "io/linereader.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <cerrno>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <thread>
#include <vector>

namespace quillmap {

namespace {

constexpr qint64 ProgressMask = (qint64(1) << 16) - 1;
constexpr qint64 MaxRows = std::numeric_limits<qint32>::max();
qint64 g_maxRows = MaxRows;
std::optional<ImportStage> g_outOfMemoryAt; // set by tests
ImportFinishedHook g_finishedHook = nullptr;
constexpr qsizetype MaxExtraStats = qsizetype(1) << 24;

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

ImportResult failedResult(const ImportError &error)
{
    ImportResult result;
    result.failed = true;
    result.failure = error.failure;
    result.errorText = error.text;
    return result;
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
        return !reader.startsWithUtf16Mark() || fail(ImportError::utf16Text(role, path));
    }
    bool badLine(const quillmap::ResultsLineError &error, qint64 linesBefore)
    {
        // The only line a range cannot read is one longer than the line reader takes.
        if (error.kind == quillmap::ResultsLineError::Kind::Unreadable)
            return fail(ImportError::lineTooLong("results", m_inputs.results));
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
        if (g_outOfMemoryAt == which)
            throw std::bad_alloc();
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
    void addLost(const quillmap::RowBatch &batch, qint64 linesBefore);
    bool writeNameLists();
    void startSnpIndex();
    bool checkTraitInfo();
    bool secondPass();
    bool readSnpInfo();
    bool writeTables();
    bool buildOptionalFiles();
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
    quillmap::HeldRows m_rows;
    quillmap::NameList m_traitNames;
    qint64 m_snpCount = 0;
    std::vector<qint32> m_snpFinal; // provisional SNP id -> SNP index
    std::vector<qint16> m_snpBins;
    std::vector<QByteArrayView> m_fields;
    qint64 m_rowCount = 0;
    std::jthread m_snpIndex; // the SNP information index of the finishing work, built early
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
        return fail(ImportError::cannotRead("results", m_inputs.results, m_results));
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

// Every source's rows go through here, so the checks on them exist once: the row limit, the
// first bad line, the lost values, the source's own failure and a file without data lines.
bool Import::readRows()
{
    std::unique_ptr<quillmap::RowSource> source;
    if (m_plan.placed) {
        m_results.close();
        source = m_plan.placed->rows(m_layout.fields);
    } else {
        m_rows.start(m_folder, m_extraStats + 1, m_inputs.memoryLimit);
        source = m_feed ? quillmap::feedSource(*m_feed, m_layout.fields, m_traitSet, m_snpSet)
                        : quillmap::resultsFileSource(m_inputs.results, m_results, m_layout,
                                                      m_inputs.inMemory.contains(m_inputs.results),
                                                      m_inputs.memoryLimit, m_traitSet, m_snpSet);
    }
    const auto tickRows = [this](qint64 rows) { tick(ImportStage::Results, rows); };
    quillmap::RowBatch batch;
    qint64 before = 0;
    while (source->next(batch, g_maxRows - before + 1)) {
        addLost(batch, before);
        if (before + batch.lines > g_maxRows)
            return invalid("error : the results file has more than " + number(g_maxRows) + " data lines!");
        if (batch.traitIds) {
            if (std::optional<ImportError> error = m_rows.append(batch, before, !m_feed, tickRows))
                return fail(*error);
        }
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
        if (!writeFile(quillmap::files::TraitList, traits) || !writeFile(quillmap::files::SnpList, snps))
            return false;
        startSnpIndex();
        return true;
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
    startSnpIndex();
    if (std::optional<ImportError> error = m_rows.renumber(traitIndex, m_snpFinal))
        return fail(*error);
    m_snpBins.assign(size_t(m_snpCount), 0);
    return true;
}

// The finishing work opens the new dataset, whose SNP information index needs only SNPlist.dat
// and the SNP file: built now, beside the tables, rather than after them. Only when the file is
// a small share of the import's memory: its index takes about three times the file while built,
// on top of the rows.
void Import::startSnpIndex()
{
    if (!g_finishedHook || !m_inputs.inMemory.isEmpty())
        return;
    const qint64 memory = m_inputs.memoryLimit > 0 ? m_inputs.memoryLimit : quillmap::defaultImportMemory();
    if (QFileInfo(m_inputs.snpInfo).size() > memory / 32)
        return;
    m_snpIndex = std::jthread(
        [folder = m_folder, snpInfo = m_inputs.snpInfo, snpList = outputPath(quillmap::files::SnpList)] {
            (void)quillmap::SnpInfoIndex::open(folder, snpInfo, snpList);
        });
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
    if (!m_plan.placed) {
        if (std::optional<ImportError> error = m_rows.roomForTables())
            return fail(*error);
    }
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
    if (m_plan.placed)
        writer = m_plan.placed->tables(m_folder, m_traitNames, m_extraStats);
    else if (std::optional<ImportError> error = m_rows.tables(m_snpBins, m_traitNames, writer))
        return fail(*error);
    const std::optional<ImportError> error = quillmap::writeBothTables(*writer, m_progress, m_rowCount);
    return !error || fail(*error);
}

void Import::releaseRows()
{
    m_rows.clear();
    m_traitSet.clear();
    m_snpSet.clear();
    m_snpFinal = {};
    m_snpBins = {};
}

bool Import::buildOptionalFiles()
{
    // A chosen file's builder runs after a failed check too, as they always have; not after an
    // input that could not be read or an output that could not be written.
    std::optional<ImportError> error;
    if (!m_inputs.groups.isEmpty()
        && (error = quillmap::buildGroupFile(m_groups, m_inputs.groups, m_folder, m_progress)))
        fail(*error);
    if (!m_inputs.genes.isEmpty()
        && (error = quillmap::buildGeneFile(m_genes, m_inputs.genes, m_folder, m_progress)))
        fail(*error);
    return !m_error;
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
    FolderLock held = lockImportFolder(m_folder);
    if (held.outcome == FolderLock::Outcome::Locked) {
        m_lock = std::move(held.lock);
        return true;
    }
    const QByteArray line = held.error.toUtf8();
    return fail(ImportError::of(
        held.outcome == FolderLock::Outcome::Busy ? ImportFailure::Busy : ImportFailure::WriteFailure, line));
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
        // A cluster build whose steps failed: that failure is the one told, whatever fails here
        // after it (a full disk keeps summary.txt from being written too).
        const bool aborted = !m_error && !m_plan.abortLine.isEmpty();
        if (aborted)
            fail(ImportError::of(ImportFailure::WriteFailure, m_plan.abortLine));
        prepared = (!m_error || aborted) && prepare() && removeStaleOptionalFiles();
        if (prepared && !m_error && firstPass())
            secondPass();
        releaseRows();
        if (prepared && (!m_error || m_error->failure == ImportFailure::Validation))
            buildOptionalFiles();
    } catch (const std::bad_alloc &) {
        releaseRows();
        m_traitNames = {};
        m_snpCount = 0;
        fail(ImportError::of(ImportFailure::OutOfMemory,
                             "error : there is not enough memory to import these files!"));
    }
    if (m_snpIndex.joinable())
        m_snpIndex.join();
    // Written last: only now may line 6 say the dataset is complete. When it cannot be written
    // the folder keeps the unfinished mark, and the import has failed.
    if (!m_summaryHead.isEmpty() && writeSummary() && !m_error && g_finishedHook)
        g_finishedHook(m_folder);

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

void setImportFinishedHook(ImportFinishedHook hook)
{
    g_finishedHook = hook;
}

bool importPathUsable(const QString &path)
{
    return !path.contains(QLatin1Char('\t')) && !path.contains(QLatin1Char('\n'))
        && !path.contains(QLatin1Char('\r'));
}

qint64 maxResultRows()
{
    return g_maxRows;
}

void setImportOutOfMemoryForTesting(ImportStage stage)
{
    g_outOfMemoryAt = stage;
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

ImportResult runImport(const QString &folder, const ImportInputs &inputs, ResultFeed &feed,
                       const ImportPlan &plan, const ImportProgress &progress)
{
    Import import(folder, inputs, plan, progress, &feed);
    return import.run();
}

ImportResult runImport(const QString &folder, const ImportInputs &inputs, const ImportPlan &plan,
                       const ImportProgress &progress)
{
    Import import(folder, inputs, plan, progress);
    return import.run();
}

} // namespace quillmap
