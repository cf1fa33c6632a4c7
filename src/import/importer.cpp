#include "import/importer.h"

#include "io/atomicfile.h"
#include "dataset/chromosome.h"
#include "dataset/datasetfiles.h"
#include "dataset/positionbin.h"
#include "dataset/resultrecord.h"
#include "import/clusterbuild.h"
#include "io/linereader.h"
#include "import/nameset.h"
#include "import/numberparse.h"
#include "import/parallelresults.h"
#include "import/resultsrange.h"
#include "import/rowstore.h"
#include "import/runspill.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QThread>

#include <cerrno>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cmath>
#include <cstring>
#include <exception>
#include <functional>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quillmap {

namespace {

using Failure = ImportResult::Failure;

constexpr qint64 ProgressMask = (qint64(1) << 16) - 1;
constexpr qint64 MaxRows = std::numeric_limits<qint32>::max();
qint64 g_maxRows = MaxRows;
qint64 g_memoryRows = 0; // rows held before a run is spilled, set by tests; 0: from the limit
qint64 g_sortRows = 0;   // rows of a sorted run, set by tests; 0: as g_memoryRows
int g_spillBypass = -1;  // tests: 1 or 0 bypasses the page cache or not; -1: by the spill's size
qint64 g_rangeBytes = 0; // results bytes per parallel range, set by tests; 0: from the limit
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

std::string_view view(QByteArrayView bytes)
{
    return {bytes.data(), size_t(bytes.size())};
}

// Every dataset file goes through a temporary file renamed over it on commit; until then the
// old file stays as it was, and any failed write fails the commit.
using OutputFile = quillmap::AtomicFile;

using quillmap::NameList;
using quillmap::NameSet;
using quillmap::RowStore;

class Import final
{
public:
    Import(const QString &folder, const ImportInputs &inputs, const ImportProgress &progress,
           ResultFeed *feed = nullptr)
        : m_folder(folder),
          m_inputs(inputs),
          m_progress(progress),
          m_feed(feed)
    {
    }

    ImportResult run();

private:
    struct Error {
        Failure failure;
        QByteArray reportLine;
        bool lineFeed;
        QString text;
    };

    // Records the first failure; always returns false so checks can `return fail(...)`.
    bool fail(Failure failure, const QByteArray &reportLine, bool lineFeed, const QString &text)
    {
        if (!m_error)
            m_error = Error{failure, reportLine, lineFeed, text};
        return false;
    }
    bool invalid(const QByteArray &reportLine, bool lineFeed)
    {
        return fail(Failure::Validation, reportLine, lineFeed, QString::fromUtf8(reportLine));
    }
    bool cannotOpen(const char *role, const QString &path)
    {
        const QByteArray line = "error : can't open the " + QByteArray(role) + " file " + path.toUtf8() + '!';
        return fail(Failure::UnreadableInput, line, true, QString::fromUtf8(line));
    }
    bool cannotRead(const char *role, const QString &path)
    {
        const QByteArray line = "error : can't read the " + QByteArray(role) + " file " + path.toUtf8()
            + " to its end!";
        return fail(Failure::UnreadableInput, line, true, QString::fromUtf8(line));
    }
    // A file saved as UTF-16 would fail some later check with a message that hides the cause.
    bool notUtf16(const LineReader &reader, const char *role, const QString &path)
    {
        if (!reader.startsWithUtf16Mark())
            return true;
        const QByteArray line = "error : the " + QByteArray(role) + " file " + path.toUtf8()
            + " is UTF-16 text, please save it as UTF-8 text!";
        return fail(Failure::Validation, line, true, QString::fromUtf8(line));
    }
    bool badLine(const quillmap::ResultsLineError &error, qint64 linesBefore)
    {
        if (error.kind == quillmap::ResultsLineError::Kind::Unreadable)
            return cannotRead("results", m_inputs.results);
        return fail(Failure::Validation, error.reportLine(linesBefore), true, error.text(linesBefore));
    }
    bool cannotWrite(const QString &path)
    {
        const QByteArray line = "error : can't write the file " + path.toUtf8() + '!';
        return fail(Failure::WriteFailure, line, true, QString::fromUtf8(line));
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
    bool readResults();
    bool readResultRanges();
    std::optional<bool> readResultsInParallel(qint64 runRows);
    void addLost(const std::vector<qint64> &count, const std::vector<qint64> &first, qint64 linesBefore);
    bool readFedResults();
    qint64 rowsPerRun(int width) const;
    qint64 rowsPerSortedRun() const;
    bool writeNameLists();
    bool checkTraitInfo();
    bool secondPass();
    bool readSnpInfo();
    bool writeTables();
    template <typename WriteTable>
    bool writeTablesAtOnce(WriteTable writeTable);
    QString writeHeldTable(bool byTrait, std::atomic<qint64> &written) const;
    QString writeSpilledTable(bool byTrait, std::atomic<qint64> &written);
    QString commitTable(bool byTrait, OutputFile &table, OutputFile &lines, size_t keys,
                        const std::function<qint64(size_t)> &count) const;
    bool writeClusterTables();
    bool spillRows();
    bool diskHasRoom(qint64 needed);
    bool buildGroups();
    bool buildGenes();
    template <typename Key, typename Gather, typename KeyText>
    bool buildKeyedFile(ImportStage which, LineReader &input, const char *role, const QString &inputPath,
                        const char *name, Gather gather, KeyText keyText);
    void releaseRows();
    bool writeSummary();
    bool finishing() const { return m_inputs.phase == ImportInputs::Phase::Finish; }
    QString workFile(const char *name) const
    {
        return m_inputs.clusterWork + QLatin1Char('/') + QLatin1String(name);
    }

    QString m_folder;
    ImportInputs m_inputs;
    ImportProgress m_progress;
    ResultFeed *m_feed = nullptr; // the results rows, when they come parsed

    LineReader m_results;
    LineReader m_snpInfo;
    LineReader m_traitInfo;
    LineReader m_groups;
    LineReader m_genes;

    std::unique_ptr<QLockFile> m_lock;
    std::optional<Error> m_error;
    QByteArray m_summaryHead;         // summary.txt lines 1 to 5
    quillmap::ResultsLayout m_layout; // the results header: F fields, names, -log10 columns
    qsizetype m_snpFields = 0;        // S
    int m_extraStats = 0;             // E
    std::vector<qint64> m_lostCount;  // per results field: nonzero values kept as 0 or subnormal
    std::vector<qint64> m_lostFirst;  // per results field: the first such data line

    quillmap::SplitNameSet m_traitSet; // one part, but for a results file read in parallel
    quillmap::SplitNameSet m_snpSet;
    RowStore m_rows;
    quillmap::RunSpill m_spill; // rows beyond the memory limit
    NameList m_traitNames;
    qint64 m_snpCount = 0;
    std::vector<qint32> m_snpFinal; // provisional SNP id -> SNP index
    std::vector<qint16> m_snpBins;
    std::vector<QByteArrayView> m_fields;
    qint64 m_clusterRows = 0;
    double m_rangesRead =
        -1.0; // the share of the results file read in parallel so far // results lines the parse steps of a cluster build read
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
    const bool resultsOpen = m_feed || m_results.open(m_inputs.results);
    const bool snpOpen = m_feed || m_snpInfo.open(m_inputs.snpInfo);

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
    if (!m_feed && !m_traitInfo.open(m_inputs.traitInfo))
        return cannotOpen("trait information", m_inputs.traitInfo);
    if (!m_inputs.groups.isEmpty() && !m_groups.open(m_inputs.groups))
        return cannotOpen("trait group", m_inputs.groups);
    if (!m_inputs.genes.isEmpty() && !m_genes.open(m_inputs.genes))
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
                               + " to store as -log10!",
                           true);
    }
    return true;
}

bool Import::firstPass()
{
    return firstPassChecks() && (m_feed ? readFedResults() : readResults()) && writeNameLists()
        && checkTraitInfo();
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

// Lines are parsed in batches and their names looked up afterwards, in line order (see
// NamePairBatch). A line's bytes live only until the next read, so the batch keeps copies of its
// names.
bool Import::readResults()
{
    if (finishing())
        return readResultRanges();
    const size_t width = size_t(m_extraStats) + 1;
    m_rows.reset(m_extraStats + 1);
    // Beyond the memory limit the rows held so far go to a run on disk.
    m_spill.start(m_folder, m_extraStats + 1);
    const qint64 runRows = rowsPerRun(int(width));
    if (const std::optional<bool> read = readResultsInParallel(runRows))
        return *read;
    m_traitSet.reset(1);
    m_snpSet.reset(1);
    NameSet &traitSet = m_traitSet.part(0);
    NameSet &snpSet = m_snpSet.part(0);
    bool spillFailed = false;
    quillmap::NamePairBatch batch;
    std::vector<float> stats(quillmap::NamePairBatch::Capacity * width);
    qint64 n = 0;
    qint64 stored = 0;
    auto storeBatch = [&]() {
        batch.lookUp(traitSet, snpSet, [&](size_t j, qint32 trait, qint32 snp) {
            m_rows.append(trait, snp, stats.data() + j * width);
            if (m_rows.size() >= runRows && !spillFailed)
                spillFailed = !spillRows();
            tick(ImportStage::Results, ++stored);
        });
    };
    QByteArrayView line;
    while (!spillFailed && m_results.readLine(line)) {
        ++n;
        float *lineStats = stats.data() + batch.size() * width;
        if (const auto error = quillmap::parseResultsLine(line, n, m_layout, m_fields, lineStats, m_lostCount,
                                                          m_lostFirst)) {
            storeBatch();
            return badLine(*error, 0);
        }
        if (n > g_maxRows) {
            storeBatch();
            return invalid("error : the results file has more than " + number(g_maxRows) + " data lines!",
                           true);
        }
        if (batch.add(m_fields[0], m_fields[1], snpSet))
            storeBatch();
    }
    storeBatch();
    if (spillFailed)
        return cannotWrite(m_spill.errorPath());
    if (m_results.failed())
        return cannotRead("results", m_inputs.results);
    m_results.close();
    if (n == 0)
        return invalid("error : the results file has no data lines!", true);
    return true;
}

// A plain results file is parsed in byte ranges on worker threads (ParallelResults) and joined
// here in file order, so rows, runs, lost values and the first bad line come out as from one
// reader. A gzip file or a pipe has no byte ranges: nothing, and readResults reads it.
std::optional<bool> Import::readResultsInParallel(qint64 runRows)
{
    const QFileInfo info(m_inputs.results);
    if (g_rangeBytes < 0 || !info.isFile())
        return std::nullopt;
    std::optional<quillmap::ResultsLayout> layout = quillmap::readResultsLayout(m_inputs.results);
    if (!layout || layout->fields != m_layout.fields)
        return std::nullopt;
    {
        QFile probe(m_inputs.results);
        if (!probe.open(QIODevice::ReadOnly) || probe.read(2) == QByteArray("\x1f\x8b", 2))
            return std::nullopt;
    }
    m_results.close();
    layout->negLog10 = m_layout.negLog10;
    // The ranges held at once take a small share of the memory limit.
    const qint64 memory = m_inputs.memoryLimit > 0 ? m_inputs.memoryLimit : quillmap::defaultImportMemory();
    const qint64 rangeBytes = g_rangeBytes > 0
        ? g_rangeBytes
        : std::clamp<qint64>(memory / 128, qint64(256) << 10, qint64(4) << 20);
    const int threads = std::clamp(QThread::idealThreadCount(), 1, 8);
    m_traitSet.reset(threads);
    m_snpSet.reset(threads);
    quillmap::ParallelResults reader(m_inputs.results, *layout, info.size(), rangeBytes, m_traitSet,
                                     m_snpSet);
    qint64 before = 0;
    for (qint64 i = 0; i < reader.count(); ++i) {
        std::unique_ptr<quillmap::ParsedRange> range = reader.next();
        if (range->readFailed)
            return cannotRead("results", m_inputs.results);
        if (before + range->lines > g_maxRows) {
            // Lost values count up to the line beyond the limit, where one reader stops.
            const quillmap::ResultsRange upTo = quillmap::parseResultsRange(
                m_inputs.results, reader.cut(i), reader.cut(i + 1), *layout, g_maxRows - before + 1);
            addLost(upTo.lostCount, upTo.lostFirst, before);
            return invalid("error : the results file has more than " + number(g_maxRows) + " data lines!",
                           true);
        }
        const size_t width = size_t(layout->statsPerRow());
        for (qint64 r = 0; r < range->lines;) {
            // Up to the next run or the next step of progress, whichever comes first.
            const qint64 stored = before + r;
            const qint64 piece = std::min(
                {range->lines - r, runRows - m_rows.size(), (ProgressMask + 1) - (stored & ProgressMask)});
            for (qint64 k = r; k < r + piece; ++k)
                m_rows.append(range->traitIds[size_t(k)], range->snpIds[size_t(k)],
                              range->stats.data() + size_t(k) * width);
            r += piece;
            m_rangesRead = (double(reader.cut(i))
                            + double(reader.cut(i + 1) - reader.cut(i)) * double(r) / double(range->lines))
                / double(std::max<qint64>(info.size(), 1));
            if (m_rows.size() >= runRows && !spillRows())
                return cannotWrite(m_spill.errorPath());
            tick(ImportStage::Results, before + r);
        }
        addLost(range->lostCount, range->lostFirst, before);
        if (range->error)
            return badLine(*range->error, before);
        before += range->lines;
        reader.recycle(std::move(range));
    }
    if (before == 0)
        return invalid("error : the results file has no data lines!", true);
    return true;
}

void Import::addLost(const std::vector<qint64> &count, const std::vector<qint64> &first, qint64 linesBefore)
{
    for (size_t k = 0; k < m_lostCount.size() && k < count.size(); ++k) {
        if (count[k] > 0 && m_lostCount[k] == 0)
            m_lostFirst[k] = linesBefore + first[k];
        m_lostCount[k] += count[k];
    }
}

// The rows of a feed, stored as readResults stores the lines of a results file.
bool Import::readFedResults()
{
    const qsizetype width = m_layout.fields - 2;
    m_rows.reset(m_extraStats + 1);
    m_spill.start(m_folder, m_extraStats + 1);
    const qint64 runRows = rowsPerRun(int(width));
    m_traitSet.reset(1);
    m_snpSet.reset(1);
    NameSet &traitSet = m_traitSet.part(0);
    NameSet &snpSet = m_snpSet.part(0);
    ResultRow row;
    qint64 n = 0;
    while (m_feed->next(row)) {
        if (++n > g_maxRows)
            return invalid("error : the results file has more than " + number(g_maxRows) + " data lines!",
                           true);
        for (qsizetype k = 0; k < width; ++k) {
            if (row.lost && row.lost[k] && m_lostCount[size_t(k + 2)]++ == 0)
                m_lostFirst[size_t(k + 2)] = n;
        }
        // A known id is the set's own id for the name: a name is added at its first row.
        const qint32 trait = row.traitId >= 0 && row.traitId < traitSet.size() ? row.traitId
                                                                               : traitSet.idOf(row.trait);
        const qint32 snp = row.snpId >= 0 && row.snpId < snpSet.size() ? row.snpId : snpSet.idOf(row.snp);
        m_rows.append(trait, snp, row.stats);
        if (m_rows.size() >= runRows && !spillRows())
            return cannotWrite(m_spill.errorPath());
        tick(ImportStage::Results, n);
    }
    if (!m_feed->finish()) {
        QByteArray line = m_feed->errorText().toUtf8();
        for (char &c : line) {
            if (c == '\n' || c == '\r')
                c = ' ';
        }
        return fail(m_feed->failure(), line, true, m_feed->errorText());
    }
    if (!m_traitInfo.open(m_inputs.traitInfo))
        return cannotOpen("trait information", m_inputs.traitInfo);
    if (n == 0)
        return invalid("error : the results file has no data lines!", true);
    return true;
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

    if (finishing()) {
        // The names step sorted them already.
        QByteArray traits;
        QByteArray snps;
        if (!quillmap::readWorkFile(m_inputs.clusterWork, QStringLiteral("IDlist"), traits))
            return cannotRead("cluster step", workFile("IDlist"));
        if (!quillmap::readWorkFile(m_inputs.clusterWork, QStringLiteral("SNPlist"), snps))
            return cannotRead("cluster step", workFile("SNPlist"));
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
    if (!finishing()
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
    std::optional<quillmap::StepError> error;
    if (finishing()) {
        // The bins step read the file; its header is checked against this import's.
        qsizetype headerFields = 0;
        if (!quillmap::readBinsOutcome(m_inputs.clusterWork, headerFields, error))
            return cannotRead("cluster step", workFile("bins.meta"));
        if (headerFields != m_snpFields)
            return invalid(" error : it has different column numbers!", true);
    } else {
        quillmap::SnpBinning binning;
        error = quillmap::binSnps(
            m_inputs.snpInfo, m_snpFields,
            [this](QByteArrayView name) {
                const qint32 id = m_snpSet.find(name);
                return id < 0 ? -1 : m_snpFinal[size_t(id)];
            },
            m_snpCount, binning, [this](qint64 n) { tick(ImportStage::SnpInfo, n); });
        m_snpBins = std::move(binning.bins);
        m_snpSet.clear();
        m_snpFinal = {};
    }
    if (error)
        return fail(error->failure, error->reportLine, error->lineFeed, QString::fromUtf8(error->reportLine));
    return true;
}

// The parse steps' outcomes, ranges in file order: the first failed line is numbered in the
// whole file, and the values single precision lost are counted as one reading would.
bool Import::readResultRanges()
{
    m_results.close();
    quillmap::ResultLines lines;
    if (!quillmap::readResultLines(m_inputs.clusterWork, m_inputs.clusterRanges, m_layout.fields, lines))
        return cannotRead("cluster step", m_inputs.clusterWork);
    for (size_t k = 0; k < lines.lostCount.size() && k < m_lostCount.size(); ++k) {
        m_lostCount[k] = lines.lostCount[k];
        m_lostFirst[k] = lines.lostFirst[k];
    }
    if (lines.error)
        return badLine(*lines.error, lines.linesBefore);
    m_clusterRows = lines.rows;
    if (lines.rows == 0)
        return invalid("error : the results file has no data lines!", true);
    return true;
}

// Both tables are the same records in two orders. A counting sort by trait index and then by
// bin gives those orders in linear time; the order within one trait or one bin is free.
bool Import::writeTables()
{
    if (finishing())
        return writeClusterTables();
    if (!m_spill.active())
        return writeTablesAtOnce(
            [this](bool byTrait, std::atomic<qint64> &written) { return writeHeldTable(byTrait, written); });
    if (!m_spill.sortRuns(m_rows, rowsPerSortedRun(), m_snpBins, m_traitNames.size()))
        return cannotWrite(m_spill.errorPath());
    return writeTablesAtOnce(
        [this](bool byTrait, std::atomic<qint64> &written) { return writeSpilledTable(byTrait, written); });
}

// Both tables at once, table2.dat on a second thread: writeTable(byTrait, written) writes one
// and says which path failed, if any. Progress is still reported here, on the importing thread,
// at every 65536 records of both tables together.
template <typename WriteTable>
bool Import::writeTablesAtOnce(WriteTable writeTable)
{
    std::atomic<qint64> helperWritten{0};
    std::mutex doneMutex;
    std::condition_variable doneChanged;
    bool helperDone = false;
    QString helperFailed;
    std::exception_ptr helperException;
    std::thread helper([&] {
        try {
            helperFailed = writeTable(false, helperWritten);
        } catch (...) {
            helperException = std::current_exception();
        }
        // A small import must not wait out a whole progress tick for the helper.
        const std::lock_guard lock(doneMutex);
        helperDone = true;
        doneChanged.notify_one();
    });
    struct Joiner {
        std::thread &thread;
        ~Joiner()
        {
            if (thread.joinable())
                thread.join();
        }
    } joiner{helper};
    std::atomic<qint64> ownWritten{0};
    qint64 reported = 0;
    auto report = [&] {
        const qint64 total = ownWritten.load(std::memory_order_relaxed)
            + helperWritten.load(std::memory_order_relaxed);
        while (m_progress && reported + ProgressMask + 1 <= total) {
            reported += ProgressMask + 1;
            m_progress(ImportStage::Tables, reported);
        }
    };
    QString failed;
    std::exception_ptr ownException;
    try {
        failed = writeTable(true, ownWritten);
    } catch (...) {
        ownException = std::current_exception();
    }
    {
        std::unique_lock lock(doneMutex);
        while (!doneChanged.wait_for(lock, std::chrono::milliseconds(20), [&] { return helperDone; })) {
            lock.unlock();
            report();
            lock.lock();
        }
    }
    helper.join();
    if (ownException)
        std::rethrow_exception(ownException);
    if (helperException)
        std::rethrow_exception(helperException);
    report();
    if (!failed.isEmpty())
        return cannotWrite(failed);
    return helperFailed.isEmpty() || cannotWrite(helperFailed);
}

// table1.dat and ID_Line.dat (byTrait) or table2.dat and Pos_Line.dat from the held rows; the
// path that could not be written, or nothing. Reads the rows and writes its own two files only,
// so both tables may be made at once. A counting sort that gathers rows in key order jumps about
// the row store for every record; here the rows are read in file order and each record encoded
// straight into its place, a window of the table at a time, so the memory stays bounded.
QString Import::writeHeldTable(bool byTrait, std::atomic<qint64> &written) const
{
    using namespace quillmap::files;
    constexpr size_t Bins = 65536;
    constexpr qint64 WindowBytes = qint64(1) << 25;
    const qint64 rows = m_rows.size();
    const int extra = m_extraStats;
    const qint64 recordBytes = qint64(quillmap::recordSize(extra));
    const size_t keys = byTrait ? size_t(m_traitNames.size()) : Bins;
    std::vector<quint16> binKeys;
    if (!byTrait) {
        binKeys.resize(size_t(rows));
        for (qint64 r = 0; r < rows; ++r)
            binKeys[size_t(r)] = quint16(int(m_snpBins[size_t(m_rows.snp(r))]) + 32768);
    }
    auto key = [&](qint64 r) { return byTrait ? size_t(m_rows.trait(r)) : size_t(binKeys[size_t(r)]); };
    // start[k]: the place of key k's first record; the order within a key is the file's.
    std::vector<qint64> start(keys + 1, 0);
    for (qint64 r = 0; r < rows; ++r)
        ++start[key(r) + 1];
    for (size_t k = 1; k < start.size(); ++k)
        start[k] += start[k - 1];

    OutputFile table(outputPath(byTrait ? TraitTable : BinTable));
    OutputFile lines(outputPath(byTrait ? TraitCounts : BinCounts));
    if (!table.open())
        return table.path();
    if (!lines.open())
        return lines.path();
    const qint64 window = std::clamp<qint64>(WindowBytes / recordBytes, 1, std::max<qint64>(rows, 1));
    std::vector<char> buffer(size_t(window * recordBytes));
    std::vector<qint64> next(keys);
    for (qint64 first = 0; first < rows; first += window) {
        const qint64 last = std::min(rows, first + window);
        std::copy(start.begin(), start.end() - 1, next.begin());
        for (qint64 r = 0; r < rows; ++r) {
            const size_t k = key(r);
            if (start[k + 1] <= first || start[k] >= last)
                continue;
            const qint64 place = next[k]++;
            if (place < first || place >= last)
                continue;
            const float *stats = m_rows.stats(r);
            quillmap::encodeRecord(buffer.data() + (place - first) * recordBytes,
                                   {m_rows.trait(r), m_rows.snp(r), stats[0]}, stats + 1, extra);
        }
        if (!table.write(QByteArrayView(buffer.data(), qsizetype((last - first) * recordBytes))))
            return table.path();
        written.store(last, std::memory_order_relaxed);
    }
    return commitTable(byTrait, table, lines, keys, [&](size_t k) { return start[k + 1] - start[k]; });
}

// The count file of a written table (one line per key with records), then both renamed into
// place; the path that could not be written, or nothing.
QString Import::commitTable(bool byTrait, OutputFile &table, OutputFile &lines, size_t keys,
                            const std::function<qint64(size_t)> &count) const
{
    for (size_t k = 0; k < keys; ++k) {
        const qint64 n = count(k);
        if (n == 0)
            continue;
        lines.write(byTrait ? m_traitNames.at(qint64(k)) : QByteArrayView(number(qint64(k) - 32768)));
        lines.write('\t');
        lines.write(number(n));
        lines.write('\n');
    }
    if (!table.commit())
        return table.path();
    if (!lines.commit())
        return lines.path();
    return {};
}

// table1.dat and ID_Line.dat (byTrait) or table2.dat and Pos_Line.dat from the sorted runs of
// the spilled rows; the path that could not be written, or nothing.
QString Import::writeSpilledTable(bool byTrait, std::atomic<qint64> &written)
{
    using namespace quillmap::files;
    const qint64 recordBytes = quillmap::recordSize(m_extraStats);
    OutputFile table(outputPath(byTrait ? TraitTable : BinTable));
    OutputFile lines(outputPath(byTrait ? TraitCounts : BinCounts));
    // Tables as large as a spill that bypassed the page cache would not fit it either.
    if (!table.open(m_spill.bypassesCache() ? OutputFile::Cache::Bypass : OutputFile::Cache::Use))
        return table.path();
    if (!lines.open())
        return lines.path();
    bool tableWritten = true;
    const bool merged = m_spill.merge(byTrait, [&](QByteArrayView records) {
        written.fetch_add(records.size() / recordBytes, std::memory_order_relaxed);
        tableWritten = table.write(records);
        return tableWritten;
    });
    if (!merged)
        return tableWritten ? m_spill.runPath(byTrait) : table.path();
    const std::vector<qint64> &counts = m_spill.counts(byTrait);
    return commitTable(byTrait, table, lines, counts.size(), [&](size_t k) { return counts[k]; });
}

// The tables the place steps wrote, renamed into the folder, and their counts.
bool Import::writeClusterTables()
{
    using namespace quillmap::files;
    const char *names[2][2] = {{TraitTable, TraitCounts}, {BinTable, BinCounts}};
    std::vector<qint64> totals;
    const qint64 traitCount = m_traitNames.size();
    if (!quillmap::readKeyTotals(m_inputs.clusterWork, m_inputs.clusterRanges, totals)
        || totals.size() != size_t(traitCount) + 65536)
        return cannotRead("cluster step", m_inputs.clusterWork + QStringLiteral("/totals"));
    const qint64 recordBytes = quillmap::recordSize(m_extraStats);
    for (int table = 1; table <= 2; ++table) {
        OutputFile lines(outputPath(names[table - 1][1]));
        if (!lines.open())
            return cannotWrite(lines.path());
        const size_t first = table == 1 ? 0 : size_t(traitCount);
        const size_t end = table == 1 ? size_t(traitCount) : totals.size();
        qint64 records = 0;
        for (size_t k = first; k < end; ++k) {
            if (totals[k] == 0)
                continue;
            records += totals[k];
            lines.write(table == 1 ? m_traitNames.at(qint64(k)).toByteArray()
                                   : number(qint64(k - first) - 32768));
            lines.write('\t');
            lines.write(number(totals[k]));
            lines.write('\n');
        }
        const QString path = quillmap::clusterTablePath(m_inputs.clusterWork, table);
        if (!quillmap::clusterTableComplete(m_inputs.clusterWork, table, records * recordBytes))
            return cannotRead("cluster step", path);
        if (!quillmap::AtomicFile::adopt(outputPath(names[table - 1][0]), path))
            return cannotWrite(outputPath(names[table - 1][0]));
        if (!lines.commit())
            return cannotWrite(lines.path());
    }
    return true;
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
    return fail(Failure::WriteFailure, line, true, QString::fromUtf8(line));
}

bool Import::spillRows()
{
    // Before the first run, from the part of the results file read: the rows file, both sorted
    // copies, then the tables beside them (the rows file removed by then) need about three
    // times the records at once. The old table1.dat is emptied before that.
    const double read = m_feed || m_spill.active() ? 0.0
        : m_rangesRead >= 0.0                      ? m_rangesRead
                                                   : m_results.readFraction();
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
        return fail(Failure::UnusablePath, line, true, QString::fromUtf8(line));
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
        return fail(Failure::Busy, line, true, QString::fromUtf8(line));
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
    qint64 rows = 0;
    bool prepared = false;
    const bool cluster = m_inputs.phase != ImportInputs::Phase::Whole;
    if (!pathsUsable() || (!cluster && !lockFolder())) {
        ImportResult refused;
        refused.failed = true;
        refused.failure = m_error->failure;
        refused.errorText = m_error->text;
        return refused;
    }
    // What a cluster build killed midway left behind; its own steps start after this.
    if (!finishing() && !quillmap::removeClusterWork(m_folder))
        cannotWrite(quillmap::clusterWorkPath(m_folder));
    if (m_inputs.phase == ImportInputs::Phase::Begin) {
        if (!m_error)
            prepare() && removeStaleOptionalFiles() && firstPassChecks();
        ImportResult begun;
        begun.failed = m_error.has_value();
        if (m_error) {
            begun.failure = m_error->failure;
            begun.errorText = m_error->text;
        }
        return begun;
    }
    try {
        prepared = !m_error && prepare() && removeStaleOptionalFiles();
        if (prepared && !m_inputs.clusterAbort.isEmpty())
            fail(Failure::WriteFailure, m_inputs.clusterAbort, true,
                 QString::fromUtf8(m_inputs.clusterAbort));
        if (prepared && !m_error && firstPass()) {
            rows = m_rows.size() + m_spill.rows() + m_clusterRows;
            secondPass();
        }
        releaseRows();
        // The optional builders run after a failed check too, as they always have; not after an
        // input that could not be read or an output that could not be written.
        if (prepared && (!m_error || m_error->failure == Failure::Validation)) {
            if (!m_inputs.groups.isEmpty())
                buildGroups();
            if (!m_inputs.genes.isEmpty())
                buildGenes();
        }
    } catch (const std::bad_alloc &) {
        releaseRows();
        m_traitNames = {};
        m_snpCount = 0;
        fail(Failure::OutOfMemory, "error : there is not enough memory to import these files!", true,
             QStringLiteral("error : there is not enough memory to import these files!"));
    }
    // Written last: only now may line 6 say the dataset is complete. When it cannot be written
    // the folder keeps the unfinished mark, and the import has failed.
    if (!m_summaryHead.isEmpty())
        writeSummary();

    ImportResult result;
    for (size_t k = 0; k < m_lostCount.size(); ++k) {
        if (m_lostCount[k] > 0)
            result.lost.append(
                {QString::fromUtf8(m_layout.header.value(qsizetype(k))), m_lostCount[k], m_lostFirst[k]});
    }
    if (m_error) {
        result.failed = true;
        result.failure = m_error->failure;
        result.errorText = m_error->text;
    } else {
        result.rows = rows;
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

void setImportRangeBytesForTesting(qint64 bytes)
{
    g_rangeBytes = bytes;
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
    Import import(folder, inputs, progress);
    return import.run();
}

ImportResult runImport(const QString &folder, const ImportInputs &inputs, ResultFeed &feed,
                       const ImportProgress &progress)
{
    Import import(folder, inputs, progress, &feed);
    return import.run();
}

} // namespace quillmap
