#include "import/toolimport.h"

#include "import/folderlock.h"
#include "import/importplan.h"
#include "import/toolrowconverter.h"
#include "import/workqueue.h"

#include "dataset/datasetfiles.h"
#include "io/atomicfile.h"
#include "io/linereader.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QFileInfo>

#include <memory>
#include <new>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace quillmap {

namespace {

// The derived inputs replace earlier ones only on commit.
using DerivedFile = AtomicFile;

// Kept rows on their way from the reading thread to the import.
struct RowBatch {
    std::vector<int> files;      // per row: its trait file
    std::vector<qint32> snpIds;  // per row: SNPs first kept before this one's first row
    std::vector<size_t> snpEnds; // per row: where its SNP ID ends in `names`
    std::string names;
    std::vector<float> stats; // per row: -log10(P), P, the effect columns
    std::vector<char> lost;
    bool last = false; // no rows follow
    size_t size() const { return files.size(); }
};

// Reads the files on a thread of its own while the import stores the rows, each kept row
// converted (ToolRowConverter) and handed over.
class ToolImport final : public ResultFeed
{
public:
    ToolImport(const QString &folder, const ToolImportInputs &inputs, const ImportProgress &progress)
        : m_folder(folder),
          m_inputs(inputs),
          m_progress(progress)
    {
    }
    ~ToolImport() override { stopReading(); }
    ToolImport(const ToolImport &) = delete;
    ToolImport &operator=(const ToolImport &) = delete;

    ToolImportResult run();

    QByteArray resultsHeader() const override { return m_resultsHeader; }
    QByteArray snpInfoHeader() const override { return m_snpInfoHeader; }
    bool next(ResultRow &row) override;
    bool finish() override;
    ImportError error() const override { return {m_failure, m_error.toUtf8(), true, m_error}; }

private:
    using Failure = ImportResult::Failure;

    bool fail(Failure failure, const QString &text)
    {
        if (m_error.isEmpty()) {
            m_error = text;
            m_failure = failure;
        }
        return false;
    }
    bool invalid(const QString &text) { return fail(Failure::Validation, QStringLiteral("error : ") + text); }
    // m_reader failed on `path`.
    bool cannotRead(const QString &path)
    {
        const ImportError error = ImportError::cannotRead(qPrintable(toolFormatName(m_inputs.format)), path,
                                                          m_reader);
        return fail(error.failure, error.text);
    }

    bool readHeaders();
    bool nextKept(); // the reading thread's next kept row, in m_rows
    void readRows(std::stop_token stop);
    void stopReading();
    bool writeTraitInfo(DerivedFile &out);

    QString m_folder;
    ToolImportInputs m_inputs;
    ImportProgress m_progress;

    QString m_error;
    Failure m_failure = Failure::None;
    std::vector<ToolTraitFile> m_files;
    LineReader m_reader;
    std::unique_ptr<DerivedFile> m_results;
    std::unique_ptr<DerivedFile> m_snpInfo;
    std::unique_ptr<ToolRowConverter> m_rows;
    QByteArray m_resultsHeader;
    QByteArray m_snpInfoHeader;
    int m_file = -1;   // the file being read
    qint64 m_line = 0; // its last line read
    bool m_headerSeen = false;
    size_t m_width = 0; // statistics per row

    // Between the reading thread and the import. The reading thread alone touches the files,
    // the tables and the error until it has handed over its last batch.
    WorkQueue<RowBatch> m_queue{8};
    std::jthread m_readingThread;
    RowBatch m_batch; // the import's current batch
    size_t m_next = 0;
    bool m_ended = false;
};

// Every file opens, its header is its format's, the columns match the first file's and the
// trait names are distinct.
bool ToolImport::readHeaders()
{
    const QStringList traits = toolTraitNames(m_inputs.format, m_inputs.files);
    const QString format = toolFormatName(m_inputs.format);
    const QStringList outputs = {QLatin1StringView(DerivedResults), QLatin1StringView(DerivedSnpInfo),
                                 QLatin1StringView(DerivedTraitInfo)};
    QHash<QString, qsizetype> fileOfTrait;
    for (qsizetype f = 0; f < m_inputs.files.size(); ++f) {
        ToolTraitFile file;
        file.path = m_inputs.files[f];
        file.readFrom = m_inputs.readFrom.value(f);
        if (file.readFrom.isEmpty())
            file.readFrom = file.path;
        file.trait = traits.value(f);
        file.traitBytes = file.trait.toUtf8();
        // Opened first: two paths of files that do not exist compare equal.
        if (!m_reader.open(file.readFrom))
            return fail(Failure::UnreadableInput,
                        QStringLiteral("error : can't open the %1 file %2!").arg(format, file.path));
        // A file read by its bytes has a name no output has (theirs are UTF-8).
        for (const QString &output : file.readFrom == file.path ? outputs : QStringList()) {
            if (QFileInfo(file.path) == QFileInfo(QDir(m_folder).filePath(output)))
                return invalid(QStringLiteral("the import would overwrite its input %1, please move"
                                              " it out of the dataset folder!")
                                   .arg(file.path));
        }
        QByteArrayView header;
        bool gotHeader = false;
        while ((gotHeader = m_reader.readLine(header)) && header.startsWith("##")) { }
        if (m_reader.failed())
            return cannotRead(file.path);
        QString lacking;
        const std::optional<ToolColumns> columns = gotHeader ? toolColumns(m_inputs.format, header, &lacking)
                                                             : std::nullopt;
        if (!columns)
            return invalid(QStringLiteral("%1 is not %2 output: its header has no column %3!")
                               .arg(file.path, format, gotHeader ? lacking : QStringLiteral("at all")));
        file.columns = *columns;
        file.header = header.toByteArray();
        m_reader.close();
        if (file.trait.isEmpty() || file.trait.contains(QLatin1Char('\t'))
            || file.trait.contains(QLatin1Char('\n')) || file.trait.contains(QLatin1Char('\r')))
            return invalid(QStringLiteral("the file name %1 gives no usable trait name!").arg(file.path));
        // Hashed: a study may have tens of thousands of files.
        const auto other = fileOfTrait.constFind(file.trait);
        if (other != fileOfTrait.cend())
            return invalid(QStringLiteral("%1 and %2 both hold the trait %3!")
                               .arg(m_files[size_t(*other)].path, file.path, file.trait));
        fileOfTrait.insert(file.trait, qsizetype(m_files.size()));
        if (!m_files.empty()) {
            const ToolColumns &first = m_files.front().columns;
            if (first.effectNames != file.columns.effectNames || first.alleleNames != file.columns.alleleNames
                || (first.p >= 0) != (file.columns.p >= 0)) {
                return invalid(QStringLiteral("%1 has other columns than %2 (%3 against %4); one"
                                              " dataset holds files with the same columns, please"
                                              " import the others into another folder!")
                                   .arg(file.path, m_files.front().path,
                                        QString::fromUtf8(file.columns.effectNames.join(' ')),
                                        QString::fromUtf8(first.effectNames.join(' '))));
            }
        }
        m_files.push_back(std::move(file));
    }
    if (m_files.empty())
        return invalid(QStringLiteral("no %1 files were given!").arg(format));
    return true;
}

bool ToolImport::next(ResultRow &row)
{
    if (!m_readingThread.joinable() && !m_ended)
        m_readingThread = std::jthread([this](std::stop_token stop) { readRows(std::move(stop)); });
    while (m_next >= m_batch.size()) {
        if (m_ended)
            return false;
        m_batch = m_queue.take();
        m_next = 0;
        if (m_batch.last) {
            m_readingThread.join();
            m_ended = true;
        }
    }
    const size_t k = m_next++;
    const size_t width = m_width;
    const size_t begin = k == 0 ? 0 : m_batch.snpEnds[k - 1];
    const ToolTraitFile &file = m_files[size_t(m_batch.files[k])];
    row.trait = file.traitBytes;
    row.traitId = file.traitId;
    row.snpId = m_batch.snpIds[k];
    row.snp = QByteArrayView(m_batch.names.data() + begin, qsizetype(m_batch.snpEnds[k] - begin));
    row.stats = m_batch.stats.data() + k * width;
    row.lost = m_batch.lost.data() + k * width;
    return true;
}

void ToolImport::readRows(std::stop_token stop)
{
    constexpr size_t BatchRows = 4096;
    bool more = true;
    while (more) {
        RowBatch batch;
        try {
            batch.files.reserve(BatchRows);
            batch.snpEnds.reserve(BatchRows);
            batch.snpIds.reserve(BatchRows);
            while (batch.size() < BatchRows && (more = nextKept())) {
                batch.files.push_back(m_file);
                batch.snpIds.push_back(m_rows->snpId());
                batch.names.append(m_rows->id());
                batch.snpEnds.push_back(batch.names.size());
                batch.stats.insert(batch.stats.end(), m_rows->stats().begin(), m_rows->stats().end());
                batch.lost.insert(batch.lost.end(), m_rows->lost().begin(), m_rows->lost().end());
            }
        } catch (const std::bad_alloc &) {
            // The import fails; a row half added must not reach it.
            batch = RowBatch();
            fail(Failure::OutOfMemory,
                 QStringLiteral("error : there is not enough memory to import these files!"));
            more = false;
        }
        batch.last = !more;
        if (!m_queue.put(std::move(batch), stop))
            return;
    }
}

// The import may stop asking for rows (a failure of its own): the reading thread then ends.
void ToolImport::stopReading()
{
    if (!m_readingThread.joinable())
        return;
    m_readingThread.request_stop();
    m_readingThread.join();
    m_ended = true;
}

bool ToolImport::nextKept()
{
    if (!m_error.isEmpty())
        return false;
    QByteArrayView line;
    for (;;) {
        if (m_file < 0 || !m_reader.readLine(line)) {
            if (m_file >= 0) {
                if (m_reader.failed())
                    return cannotRead(m_files[size_t(m_file)].path);
                m_reader.close();
            }
            if (++m_file >= int(m_files.size()))
                return false;
            if (!m_reader.open(m_files[size_t(m_file)].readFrom))
                return fail(Failure::UnreadableInput,
                            QStringLiteral("error : can't open the %1 file %2!")
                                .arg(toolFormatName(m_inputs.format), m_files[size_t(m_file)].path));
            m_line = 0;
            m_headerSeen = false;
            continue;
        }
        ++m_line;
        if (!m_headerSeen) {
            m_headerSeen = !line.startsWith("##");
            // The file is opened again for its rows: one replaced meanwhile could put them
            // under another column order.
            if (m_headerSeen && line != m_files[size_t(m_file)].header)
                return fail(Failure::UnreadableInput,
                            QStringLiteral("error : the %1 file %2 changed while it was imported, please"
                                           " import it again!")
                                .arg(toolFormatName(m_inputs.format), m_files[size_t(m_file)].path));
            continue;
        }
        bool kept = false;
        if (!m_rows->convert(m_file, m_line, line, kept))
            return invalid(m_rows->error());
        if (kept)
            return true;
    }
}

bool ToolImport::writeTraitInfo(DerivedFile &out)
{
    out.write("Trait\tsource file\trows kept\trows skipped\tskipped why\tbest P\tbest SNP\n");
    for (const ToolTraitFile &file : m_files) {
        QStringList why;
        for (int r = 0; r < SkippedRows::ReasonCount; ++r) {
            if (file.skipped.count[r] > 0)
                why.append(QStringLiteral("%1 %2")
                               .arg(file.skipped.count[r])
                               .arg(skipReasonText(SkippedRows::Reason(r))));
        }
        QStringList fields{file.trait,
                           file.path,
                           QString::number(file.kept),
                           QString::number(file.skipped.total()),
                           why.isEmpty() ? QStringLiteral("-") : why.join(QStringLiteral("; ")),
                           file.kept ? QString::fromUtf8(file.bestP) : QStringLiteral("-"),
                           file.kept ? QString::fromUtf8(file.bestSnp) : QStringLiteral("-")};
        // A path may hold what would break the file's columns or lines.
        for (QString &field : fields) {
            for (QChar c : {QLatin1Char('\t'), QLatin1Char('\n'), QLatin1Char('\r')})
                field.replace(c, QLatin1Char(' '));
        }
        const QString clean = fields.join(QLatin1Char('\t'));
        out.write(clean.toUtf8());
        out.write('\n');
    }
    return out.commit();
}

bool ToolImport::finish()
{
    stopReading();
    if (!m_error.isEmpty())
        return false;
    qint64 kept = 0;
    for (const ToolTraitFile &file : m_files)
        kept += file.kept;
    if (kept == 0)
        return invalid(QStringLiteral("the files hold no row on chromosomes 1-22 or X with a p-value!"));
    auto cannotWrite = [this](const QString &path) {
        return fail(Failure::WriteFailure, QStringLiteral("error : can't write the file %1!").arg(path));
    };
    if (m_inputs.traitInfo.isEmpty()) {
        DerivedFile traits(QDir(m_folder).filePath(QString::fromLatin1(DerivedTraitInfo)));
        if (!traits.open() || !writeTraitInfo(traits))
            return cannotWrite(traits.path());
    }
    // The derived inputs replace earlier ones only once all of them are whole.
    if (!m_snpInfo->commit())
        return cannotWrite(m_snpInfo->path());
    if (m_results && !m_results->commit())
        return cannotWrite(m_results->path());
    const QString staleCopy = QDir(m_folder).filePath(QString::fromLatin1(DerivedResults));
    if (!m_results && QFileInfo::exists(staleCopy) && !QFile::remove(staleCopy))
        return cannotWrite(staleCopy);
    const Status recorded = writeGenomeBuild(m_folder, m_inputs.build);
    if (!recorded)
        return fail(Failure::WriteFailure, recorded.message());
    return true;
}

ToolImportResult ToolImport::run()
{
    ToolImportResult result;
    const QDir folder(m_folder);
    ImportInputs five;
    five.results = folder.filePath(QString::fromLatin1(DerivedResults));
    five.snpInfo = folder.filePath(QString::fromLatin1(DerivedSnpInfo));
    five.traitInfo = m_inputs.traitInfo.isEmpty() ? folder.filePath(QString::fromLatin1(DerivedTraitInfo))
                                                  : m_inputs.traitInfo;
    five.groups = m_inputs.groups;
    five.genes = m_inputs.genes;
    five.memoryLimit = m_inputs.memoryLimit;
    auto cannotWrite = [this](const QString &path) {
        return fail(Failure::WriteFailure, QStringLiteral("error : can't write the file %1!").arg(path));
    };
    try {
        if (m_progress)
            m_progress(ImportStage::ToolFiles, 0);
        bool ok = readHeaders();
        // A trait information file given is read only after all the rows: refused before them.
        if (ok && !m_inputs.traitInfo.isEmpty() && !m_reader.open(m_inputs.traitInfo))
            ok = fail(
                Failure::UnreadableInput,
                QStringLiteral("error : can't open the trait information file %1!").arg(m_inputs.traitInfo));
        m_reader.close();
        // Held from before the derived inputs are written, so that no other import's
        // temporary files are taken for a killed one's.
        std::unique_ptr<QLockFile> lock;
        if (ok) {
            FolderLock held = lockImportFolder(m_folder);
            if (held.outcome == FolderLock::Outcome::Locked)
                lock = std::move(held.lock);
            else
                ok = fail(held.outcome == FolderLock::Outcome::Busy ? Failure::Busy : Failure::WriteFailure,
                          held.error);
        }
        if (ok) {
            if (m_inputs.keepDerivedResults)
                m_results = std::make_unique<DerivedFile>(five.results);
            m_snpInfo = std::make_unique<DerivedFile>(five.snpInfo);
            if (m_results && !m_results->open())
                ok = cannotWrite(m_results->path());
            else if (!m_snpInfo->open())
                ok = cannotWrite(m_snpInfo->path());
        }
        if (ok) {
            const ToolColumns &c = m_files.front().columns;
            m_resultsHeader = "Trait\tSNP\t-log10(P)\tP";
            for (const QByteArray &name : c.effectNames)
                m_resultsHeader += '\t' + name;
            if (m_results)
                m_results->write(m_resultsHeader + '\n');
            m_snpInfoHeader = "SNP\tchr\tpos";
            for (const QByteArray &name : c.alleleNames)
                m_snpInfoHeader += '\t' + name;
            m_snpInfo->write(m_snpInfoHeader + '\n');
            // The import reads the rows through next() and calls finish() after the last.
            m_width = 2 + c.effects.size();
            m_rows = std::make_unique<ToolRowConverter>(m_inputs.format, m_files, m_results.get(),
                                                        *m_snpInfo);
            ImportPlan plan;
            plan.lockFolder = false;
            result.import = runImport(m_folder, five, *this, plan, m_progress);
        }
    } catch (const std::bad_alloc &) {
        stopReading();
        fail(Failure::OutOfMemory,
             QStringLiteral("error : there is not enough memory to import these files!"));
    }
    stopReading();
    m_reader.close();
    std::unique_ptr<ToolRowConverter> rows = std::move(m_rows);
    m_results.reset();
    m_snpInfo.reset();
    result.derivedResultsKept = m_inputs.keepDerivedResults;
    for (const ToolTraitFile &file : m_files) {
        result.rowsKept += file.kept;
        result.skipped.add(file.skipped);
        result.traits.append(file.trait);
    }
    if (rows) {
        result.renamedSnps = rows->renamed();
        result.firstRenamed = rows->firstRenamed();
    }
    // A failure before the import ran: nothing in the folder has changed.
    if (!m_error.isEmpty() && !result.import.failed) {
        result.import = ImportResult();
        result.import.failed = true;
        result.import.failure = m_failure;
        result.import.errorText = m_error;
    }
    return result;
}

} // namespace

ToolImportResult runToolImport(const QString &folder, const ToolImportInputs &inputs,
                               const ImportProgress &progress)
{
    ToolImport import(folder, inputs, progress);
    return import.run();
}

} // namespace quillmap
