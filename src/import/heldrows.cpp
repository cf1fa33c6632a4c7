#include "import/heldrows.h"

#include "dataset/datasetfiles.h"
#include "dataset/resultrecord.h"
#include "import/importer.h"

#include <QFile>
#include <QFileInfo>

#include <sys/statvfs.h>

#include <algorithm>

namespace quillmap {

namespace {

constexpr qint64 ProgressMask = (qint64(1) << 16) - 1;
// Records on disk at once at the most when rows are spilled: two sorted copies, two tables.
constexpr qint64 SpilledCopies = 4;
qint64 g_memoryRows = 0; // rows held before a run is spilled, set by tests; 0: from the limit
qint64 g_sortRows = 0;   // rows of a sorted run, set by tests; 0: as g_memoryRows
int g_spillBypass = -1;  // tests: 1 or 0 bypasses the page cache or not; -1: by the spill's size
qint64 g_freeDisk = -1;  // free disk bytes, set by tests; -1: the file system's figure

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
    return QByteArray::number((bytes + 1023) / 1024) + " KB";
}

} // namespace

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

// An import of hours should not fail at its end for want of room.
std::optional<ImportError> diskRoomError(const QString &folder, qint64 needed)
{
    const qint64 free = freeDiskBytes(folder);
    if (free < 0 || needed <= free)
        return std::nullopt;
    return ImportError::of(ImportFailure::WriteFailure,
                           "error : the import needs about " + diskSize(needed)
                               + " of free disk space in the folder " + folder.toUtf8() + ", but only "
                               + diskSize(free) + " is free there!");
}

void HeldRows::start(const QString &folder, int statsPerRow, qint64 memoryLimit)
{
    m_folder = folder;
    m_statsPerRow = statsPerRow;
    m_memoryLimit = memoryLimit;
    m_rows.reset(statsPerRow);
    m_spill.start(folder, statsPerRow);
}

// Half the memory limit is for the rows: the name sets, the bins and the buffers take the rest.
qint64 HeldRows::rowsPerRun() const
{
    if (g_memoryRows > 0)
        return g_memoryRows;
    const qint64 memory = m_memoryLimit > 0 ? m_memoryLimit : defaultImportMemory();
    return std::max<qint64>(qint64(1) << 16, memory / 2 / importBytesPerRow(m_statsPerRow));
}

// A run sorted after the spill and its two sorted copies take three eighths of the limit, the
// name lists, indexes and bins the rest.
qint64 HeldRows::rowsPerSortedRun() const
{
    if (g_memoryRows > 0)
        return g_sortRows > 0 ? g_sortRows : g_memoryRows;
    const qint64 memory = m_memoryLimit > 0 ? m_memoryLimit : defaultImportMemory();
    return std::max<qint64>(qint64(1) << 16, memory / 8 * 3 / (3 * RunSpill::rowBytes(m_statsPerRow)));
}

std::optional<ImportError> HeldRows::append(const RowBatch &batch, qint64 before, bool estimate,
                                            const std::function<void(qint64)> &tick)
{
    const size_t width = size_t(m_statsPerRow);
    const qint64 runRows = rowsPerRun();
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
        if (m_rows.size() >= runRows) {
            if (std::optional<ImportError> error = spill(estimate))
                return error;
        }
        if (tick)
            tick(before + r);
    }
    return std::nullopt;
}

std::optional<ImportError> HeldRows::spill(bool estimate)
{
    const int extra = m_statsPerRow - 1;
    // Before the first run, from the part of the results file read: the rows file and both
    // sorted copies, then both tables written at once beside the copies (the rows file removed
    // by then) need about four times the records at once. The old table1.dat is emptied before
    // that.
    const double read = !estimate || m_spill.active() ? 0.0 : m_readFraction;
    if (read > 0.0) {
        const QFileInfo oldTable(files::datasetFilePath(m_folder, files::TraitTable));
        const qint64 rows = qint64(double(m_rows.size()) / read);
        if (std::optional<ImportError> error = diskRoomError(
                m_folder,
                SpilledCopies * rows * recordSize(extra)
                    - (oldTable.isFile() && !oldTable.isSymLink() ? oldTable.size() : 0)))
            return error;
        const qint64 spillBytes = rows * (RunSpill::rowBytes(m_statsPerRow) + 2 * recordSize(extra));
        m_spill.setBypassCache(spillBypassesCache(spillBytes, physicalMemory()));
    }
    if (!m_spill.active() && g_spillBypass >= 0)
        m_spill.setBypassCache(g_spillBypass == 1);
    const bool ok = m_spill.addRows(m_rows);
    m_rows.reset(m_statsPerRow);
    if (!ok)
        return ImportError::cannotWrite(m_spill.errorPath());
    return std::nullopt;
}

std::optional<ImportError> HeldRows::renumber(const std::vector<qint32> &traitIndex,
                                              const std::vector<qint32> &snpIndex)
{
    if (m_spill.active()) {
        // The rows still held make the last run when it fits beside its sorted copies; otherwise
        // they join the spilled rows, which take their indexes when they are sorted.
        if (m_rows.size() > rowsPerSortedRun()) {
            if (std::optional<ImportError> error = spill(false))
                return error;
        }
        m_spill.setIndexes(traitIndex, snpIndex);
    }
    for (qint64 r = 0; r < m_rows.size(); ++r) {
        m_rows.trait(r) = traitIndex[size_t(m_rows.trait(r))];
        m_rows.snp(r) = snpIndex[size_t(m_rows.snp(r))];
    }
    return std::nullopt;
}

// When rows were spilled, both sorted copies of them beside both tables (the rows file already
// on disk is removed before the tables are written).
std::optional<ImportError> HeldRows::roomForTables() const
{
    const qint64 records = (m_rows.size() + m_spill.rows()) * recordSize(m_statsPerRow - 1);
    return diskRoomError(m_folder,
                         m_spill.active()
                             ? SpilledCopies * records - m_spill.rows() * RunSpill::rowBytes(m_statsPerRow)
                             : 2 * records);
}

std::optional<ImportError> HeldRows::tables(const std::vector<qint16> &bins, const NameList &traits,
                                            std::unique_ptr<TableWriter> &writer)
{
    if (!m_spill.active()) {
        writer = std::make_unique<HeldTableWriter>(m_folder, m_rows, bins, traits, m_statsPerRow - 1);
        return std::nullopt;
    }
    if (!m_spill.sortRuns(m_rows, rowsPerSortedRun(), bins, traits.size()))
        return ImportError::cannotWrite(m_spill.errorPath());
    writer = std::make_unique<SpilledTableWriter>(m_folder, m_spill, traits, m_statsPerRow - 1);
    return std::nullopt;
}

void HeldRows::clear()
{
    m_rows.reset(1);
    m_spill.clear();
}

} // namespace quillmap
