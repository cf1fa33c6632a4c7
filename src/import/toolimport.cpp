#include "import/toolimport.h"

#include "import/folderlock.h"
#include "import/importplan.h"
#include "import/snptable.h"
#include "import/workqueue.h"

#include "io/atomicfile.h"
#include "dataset/chromosome.h"
#include "dataset/datasetfiles.h"
#include "dataset/positionbin.h"
#include "io/linereader.h"
#include "import/numberparse.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QFileInfo>

#include <charconv>
#include <stop_token>
#include <thread>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace quillmap {

namespace {

// The derived inputs replace earlier ones only on commit.
using DerivedFile = AtomicFile;

// A whole number of base pairs; nothing when the text is not one.
std::optional<qint64> parseBasePairs(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 12)
        return std::nullopt;
    qint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

void appendNumber(std::string &out, qint64 value)
{
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, size_t(end - digits));
}

// Base pairs as Mb with exactly six decimals: 14181 gives "0.014181".
void appendMegabases(std::string &out, qint64 basePairs)
{
    appendNumber(out, basePairs / 1000000);
    char fraction[8];
    qint64 rest = basePairs % 1000000;
    fraction[0] = '.';
    for (int k = 6; k >= 1; --k) {
        fraction[k] = char('0' + rest % 10);
        rest /= 10;
    }
    out.append(fraction, 7);
}

// The shortest text that reads back as the same single-precision value.
void appendFloat(std::string &out, float value)
{
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    out.append(text, size_t(end - text));
}

// P = 10^-x written in decimal, also where it is below the double range.
void appendPFromNegLog10(std::string &out, double x)
{
    char text[96]; // room for an exponent of up to 39 digits
    int size;
    if (x < 300.0) {
        const auto [end, ec] = std::to_chars(text, text + sizeof text, std::pow(10.0, -x),
                                             std::chars_format::general, 6);
        size = int(end - text);
    } else {
        // The exponent stays a double: -log10(P) may be far beyond any integer type.
        const double whole = std::floor(x);
        double mantissa = std::pow(10.0, 1.0 - (x - whole)); // in (1, 10]
        double exponent = whole + 1.0;
        if (mantissa >= 9.999995) {
            mantissa = 1.0;
            exponent -= 1.0;
        }
        size = std::snprintf(text, sizeof text, "%.5fe-%.0f", mantissa, exponent);
    }
    out.append(text, size_t(size));
}

// A trait's file as it is read.
struct TraitFile {
    QString path;
    QString trait;
    QByteArray traitBytes; // the trait as the results file writes it
    qint32 traitId = -1;   // traits with kept rows before this one's first
    ToolColumns columns;
    QByteArray header; // the line the columns were read from
    qint64 kept = 0;
    SkippedRows skipped;
    double bestNegLog10 = -1.0;
    QByteArray bestP;
    QByteArray bestSnp;
};

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

// Reads the files on a thread of its own while the import stores the rows: each kept row is
// written to the derived files and handed over with its numbers parsed from the very text
// written, so the import stores what it would store reading the derived files.
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
    QString at(int file, qint64 line) const
    {
        return QStringLiteral("%1 line %2")
            .arg(QDir::toNativeSeparators(m_files[size_t(file)].path))
            .arg(line);
    }

    bool readHeaders();
    bool nextKept(); // the reading thread's next kept row, in m_id, m_stats and m_lost
    void readRows(std::stop_token stop);
    void stopReading();
    bool readRow(int file, qint64 line, bool &kept);
    bool writeTraitInfo(DerivedFile &out);

    QString m_folder;
    ToolImportInputs m_inputs;
    ImportProgress m_progress;

    QString m_error;
    Failure m_failure = Failure::None;
    std::vector<TraitFile> m_files;
    LineReader m_reader;
    std::vector<QByteArrayView> m_fields;
    QByteArrayView m_text; // the line m_fields are of
    SnpTable m_snps;
    std::unique_ptr<DerivedFile> m_results;
    std::unique_ptr<DerivedFile> m_snpInfo;
    std::string m_resultLine;
    std::string m_snpLine;
    std::string m_id;
    std::string m_alleles; // the row's alleles, each after a ':'
    qint64 m_renamed = 0;  // SNPs named ID:alleles as their ID was another's
    QString m_firstRenamed;
    QByteArray m_resultsHeader;
    QByteArray m_snpInfoHeader;
    std::vector<float> m_stats; // the row handed over: -log10(P), P, the effect columns
    std::vector<char> m_lost;
    int m_file = -1;   // the file being read
    qint64 m_line = 0; // its last line read
    bool m_headerSeen = false;
    size_t m_width = 0; // statistics per row
    qint32 m_snpId = 0; // the kept row's SNP: its entry in m_snps
    qint32 m_traitsKept = 0;

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
        TraitFile file;
        file.path = m_inputs.files[f];
        file.trait = traits.value(f);
        file.traitBytes = file.trait.toUtf8();
        // Opened first: two paths of files that do not exist compare equal.
        if (!m_reader.open(file.path))
            return fail(Failure::UnreadableInput,
                        QStringLiteral("error : can't open the %1 file %2!").arg(format, file.path));
        for (const QString &output : outputs) {
            if (QFileInfo(file.path) == QFileInfo(QDir(m_folder).filePath(output)))
                return invalid(QStringLiteral("the import would overwrite its input %1, please move"
                                              " it out of the dataset folder!")
                                   .arg(file.path));
        }
        QByteArrayView header;
        bool gotHeader = false;
        while ((gotHeader = m_reader.readLine(header)) && header.startsWith("##")) { }
        if (m_reader.failed())
            return fail(
                Failure::UnreadableInput,
                QStringLiteral("error : can't read the %1 file %2 to its end!").arg(format, file.path));
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
    const TraitFile &file = m_files[size_t(m_batch.files[k])];
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
                batch.snpIds.push_back(m_snpId);
                batch.names.append(m_id);
                batch.snpEnds.push_back(batch.names.size());
                batch.stats.insert(batch.stats.end(), m_stats.begin(), m_stats.end());
                batch.lost.insert(batch.lost.end(), m_lost.begin(), m_lost.end());
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
                    return fail(Failure::UnreadableInput,
                                QStringLiteral("error : can't read the %1 file %2 to its end!")
                                    .arg(toolFormatName(m_inputs.format), m_files[size_t(m_file)].path));
                m_reader.close();
            }
            if (++m_file >= int(m_files.size()))
                return false;
            if (!m_reader.open(m_files[size_t(m_file)].path))
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
        m_text = line;
        splitToolLine(m_inputs.format, line, m_fields, m_files[size_t(m_file)].columns.fieldCount);
        bool kept = false;
        if (!readRow(m_file, m_line, kept))
            return false;
        if (kept)
            return true;
    }
}

bool ToolImport::readRow(int file, qint64 line, bool &kept)
{
    TraitFile &trait = m_files[size_t(file)];
    const ToolColumns &c = trait.columns;
    SkippedRows &skipped = trait.skipped;
    if (int(m_fields.size()) != c.fieldCount) {
        if (m_fields.empty() || (m_fields.size() == 1 && m_fields[0].isEmpty())) {
            return true; // a blank line holds no row
        }
        return invalid(QStringLiteral("%1 has %2 columns, its header %3!")
                           .arg(at(file, line))
                           .arg(toolFieldCount(m_inputs.format, m_text))
                           .arg(c.fieldCount));
    }
    if (c.test >= 0 && m_fields[size_t(c.test)] != "ADD") {
        ++skipped.count[SkippedRows::NotAdditive];
        return true;
    }
    const QByteArrayView chromosomeText = m_fields[size_t(c.chromosome)];
    const std::optional<int> chromosome = parseChromosome(chromosomeText, ChromosomeSpelling::Tool);
    if (!chromosome) {
        ++skipped.count[SkippedRows::OtherChromosome];
        const QString name = QString::fromUtf8(chromosomeText);
        if (skipped.otherChromosomes.size() < SkippedRows::OtherChromosomesShown
            && !skipped.otherChromosomes.contains(name))
            skipped.otherChromosomes.append(name);
        return true;
    }

    // -log10(P) from the tool's own column when it wrote one, else from P's text.
    double negLog10P = 0.0;
    if (c.negLog10P >= 0) {
        const QByteArrayView text = m_fields[size_t(c.negLog10P)];
        if (isToolMissing(text)) {
            ++skipped.count[SkippedRows::MissingP];
            return true;
        }
        const std::optional<double> value = parseDouble(text);
        if (!value || *value < 0.0 || *value > 3.4e38)
            return invalid(QStringLiteral("%1 has %2 where a -log10 p-value belongs, which is not one!")
                               .arg(at(file, line), QString::fromUtf8(text)));
        negLog10P = *value + 0.0; // "-0" is stored as 0
    }
    if (c.p >= 0) {
        const QByteArrayView text = m_fields[size_t(c.p)];
        // No p-value is infinite, however it is spelled; inf is missing only in effect columns.
        const QByteArrayView bare = text.startsWith('+') || text.startsWith('-') ? text.sliced(1) : text;
        const bool infinite = (bare.size() == 3 && qstrnicmp(bare.data(), "inf", 3) == 0)
            || (bare.size() == 8 && qstrnicmp(bare.data(), "infinity", 8) == 0);
        if (!infinite && isToolMissing(text)) {
            ++skipped.count[SkippedRows::MissingP];
            return true;
        }
        const NegLog10 p = quillmap::negLog10(text);
        if (p.status == NegLog10::Status::Zero)
            return invalid(QStringLiteral("%1 has a p-value of 0, which has no -log10!").arg(at(file, line)));
        if (p.status != NegLog10::Status::Ok)
            return invalid(QStringLiteral("%1 has the p-value %2, which is not a number between 0 and 1!")
                               .arg(at(file, line), QString::fromUtf8(text)));
        if (c.negLog10P < 0)
            negLog10P = p.value;
    }

    const QByteArrayView positionText = m_fields[size_t(c.position)];
    const std::optional<qint64> position = parseBasePairs(positionText);
    if (!position) {
        if (isToolMissing(positionText)) {
            ++skipped.count[SkippedRows::MissingPosition];
            return true;
        }
        return invalid(QStringLiteral("%1 has the position %2, which is not a whole number of base pairs!")
                           .arg(at(file, line), QString::fromUtf8(positionText)));
    }
    // Checked here, where the line is known, rather than in the derived SNP information file.
    if (!positionBin(*chromosome, double(*position) / 1e6))
        return invalid(
            QStringLiteral("%1 has the position %2, too far along chromosome %3 for a dataset"
                           " (chromosome x 1000 + position in Mb must lie between -32768 and"
                           " 32767)!")
                .arg(at(file, line), QString::fromUtf8(positionText), chromosomeName(*chromosome)));
    m_stats.resize(m_width);
    m_lost.resize(m_width);
    for (size_t j = 0; j < c.effects.size(); ++j) {
        const QByteArrayView text = m_fields[size_t(c.effects[j])];
        bool lost = false;
        if (const std::optional<float> value = parseStatistic(text, &lost)) {
            m_stats[2 + j] = *value;
            m_lost[2 + j] = lost;
            continue;
        }
        if (isToolMissing(text) || isCNumber(text)) {
            ++skipped.count[SkippedRows::MissingEffect];
            return true;
        }
        return invalid(QStringLiteral("%1 has %2 in a statistic column, which is not a number!")
                           .arg(at(file, line), QString::fromUtf8(text)));
    }

    // The SNP ID, made of its place and alleles where the tool wrote none.
    QByteArrayView id = c.id >= 0 ? m_fields[size_t(c.id)] : QByteArrayView();
    if (isToolMissing(id) && c.otherId >= 0)
        id = m_fields[size_t(c.otherId)];
    if (!isToolMissing(id)) {
        m_id.assign(id.data(), size_t(id.size()));
    } else {
        m_id.assign(chromosomeText.data(), size_t(chromosomeText.size()));
        m_id += ':';
        m_id.append(positionText.data(), size_t(positionText.size()));
        for (int k : c.alleles) {
            m_id += ':';
            m_id.append(m_fields[size_t(k)].data(), size_t(m_fields[size_t(k)].size()));
        }
    }
    id = QByteArrayView(m_id.data(), qsizetype(m_id.size()));
    if (id.contains('\t') || id.endsWith('\r'))
        return invalid(QStringLiteral("%1 has a SNP ID with a tab or carriage return!").arg(at(file, line)));
    m_alleles.clear();
    for (int k : c.alleles) {
        m_alleles += ':';
        m_alleles.append(m_fields[size_t(k)].data(), size_t(m_fields[size_t(k)].size()));
    }
    const QByteArrayView alleles(m_alleles.data(), qsizetype(m_alleles.size()));

    qint64 known = m_snps.find(id);
    // An ID another row wrote with other alleles is another variant (a split multi-allelic site,
    // or the alleles swapped): it gets a name of its own, never the other's effect direction.
    if (known >= 0 && m_snps.allelesOf(known) != alleles) {
        m_id += m_alleles;
        id = QByteArrayView(m_id.data(), qsizetype(m_id.size()));
        known = m_snps.find(id);
        if (known < 0 && m_renamed++ == 0)
            m_firstRenamed = QStringLiteral("%1 as %2").arg(at(file, line), QString::fromUtf8(id));
        if (known >= 0 && m_snps.allelesOf(known) != alleles)
            return invalid(QStringLiteral("%1 has the SNP %2, a name another SNP's other alleles took!")
                               .arg(at(file, line), QString::fromUtf8(id)));
    }
    m_snpId = qint32(known < 0 ? m_snps.size() : known);
    if (known < 0) {
        m_snps.add(id, alleles, *chromosome, *position, file, line);
        m_snpLine.assign(id.data(), size_t(id.size()));
        m_snpLine += '\t';
        if (*chromosome == 23)
            m_snpLine += 'X';
        else
            appendNumber(m_snpLine, *chromosome);
        m_snpLine += '\t';
        appendMegabases(m_snpLine, *position);
        for (int k : c.alleles) {
            m_snpLine += '\t';
            m_snpLine.append(m_fields[size_t(k)].data(), size_t(m_fields[size_t(k)].size()));
        }
        m_snpLine += '\n';
        m_snpInfo->write(QByteArrayView(m_snpLine.data(), qsizetype(m_snpLine.size())));
    } else {
        const SnpTable::Entry &entry = m_snps.at(known);
        if (entry.chromosome != *chromosome || entry.position != *position) {
            auto place = [](int chr, qint64 bp) {
                return QStringLiteral("%1:%2").arg(chromosomeName(chr)).arg(bp);
            };
            return invalid(QStringLiteral("the SNP %1 is at %2 in %3 but at %4 in %5!")
                               .arg(QString::fromUtf8(id), place(entry.chromosome, entry.position),
                                    at(entry.file, entry.line), place(*chromosome, *position),
                                    at(file, line)));
        }
    }

    // The two numbers written here are handed over as read back from their text.
    auto readBack = [this](size_t begin, size_t k) {
        bool lost = false;
        const std::optional<float> value = parseStatistic(
            QByteArrayView(m_resultLine.data() + begin, qsizetype(m_resultLine.size() - begin)), &lost);
        m_stats[k] = value.value_or(0.0f);
        m_lost[k] = lost;
        return value.has_value();
    };
    m_resultLine.clear();
    m_resultLine.append(trait.traitBytes.constData(), size_t(trait.traitBytes.size()));
    m_resultLine += '\t';
    m_resultLine.append(id.data(), size_t(id.size()));
    m_resultLine += '\t';
    const size_t negLog10Begin = m_resultLine.size();
    appendFloat(m_resultLine, float(negLog10P));
    const bool negLog10Read = readBack(negLog10Begin, 0);
    m_resultLine += '\t';
    const size_t pBegin = m_resultLine.size();
    if (c.p >= 0)
        m_resultLine.append(m_fields[size_t(c.p)].data(), size_t(m_fields[size_t(c.p)].size()));
    else
        appendPFromNegLog10(m_resultLine, negLog10P);
    const size_t pEnd = m_resultLine.size();
    if (!readBack(pBegin, 1) || !negLog10Read)
        return invalid(QStringLiteral("%1 has a p-value that cannot be stored!").arg(at(file, line)));
    for (int k : c.effects) {
        m_resultLine += '\t';
        m_resultLine.append(m_fields[size_t(k)].data(), size_t(m_fields[size_t(k)].size()));
    }
    m_resultLine += '\n';
    if (m_results)
        m_results->write(QByteArrayView(m_resultLine.data(), qsizetype(m_resultLine.size())));

    if (trait.kept++ == 0)
        trait.traitId = m_traitsKept++;
    kept = true;
    if (negLog10P > trait.bestNegLog10) {
        trait.bestNegLog10 = negLog10P;
        trait.bestP = QByteArray(m_resultLine.data() + pBegin, qsizetype(pEnd - pBegin));
        trait.bestSnp = id.toByteArray();
    }
    return true;
}

bool ToolImport::writeTraitInfo(DerivedFile &out)
{
    out.write("Trait\tsource file\trows kept\trows skipped\tskipped why\tbest P\tbest SNP\n");
    for (const TraitFile &file : m_files) {
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
    for (const TraitFile &file : m_files)
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
    m_results.reset();
    m_snpInfo.reset();
    m_snps = SnpTable();
    result.derivedResultsKept = m_inputs.keepDerivedResults;
    for (const TraitFile &file : m_files) {
        result.rowsKept += file.kept;
        result.skipped.add(file.skipped);
        result.traits.append(file.trait);
    }
    result.renamedSnps = m_renamed;
    result.firstRenamed = m_firstRenamed;
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
