#include "dataset/regionsearch.h"

#include "dataset/chromosome.h"
#include "dataset/datasetloader.h"
#include "dataset/datasettables.h"
#include "dataset/transform.h"
#include "dataset/indexsort.h"
#include "dataset/datasetfiles.h"
#include "dataset/positionbin.h"
#include "dataset/resultrecord.h"
#include "io/positionedio.h"
#include "io/vectorstorage.h"

#include <algorithm>
#include <new>
#include <thread>
#include <numeric>

namespace quillmap {

namespace {

// Whole megabase at which each chromosome ends, 1..22 then X.
constexpr int ChromosomeEnds[23] = {247, 243, 200, 192, 181, 171, 159, 147, 140, 136, 135, 133,
                                    115, 107, 101, 89,  79,  77,  64,  63,  47,  50,  155};

// Lengths in base pairs of chromosomes 1..22 then X on hg19 and on hg38.
constexpr qint64 Hg19Lengths[23] = {249250621, 243199373, 198022430, 191154276, 180915260, 171115067,
                                    159138663, 146364022, 141213431, 135534747, 135006516, 133851895,
                                    115169878, 107349540, 102531392, 90354753,  81195210,  78077248,
                                    59128983,  63025520,  48129895,  51304566,  155270560};
constexpr qint64 Hg38Lengths[23] = {248956422, 242193529, 198295559, 190214555, 181538259, 170805979,
                                    159345973, 145138636, 138394717, 133797422, 135086622, 133275309,
                                    114364328, 107043718, 101991189, 90338345,  83257441,  80373285,
                                    58617616,  64444167,  46709983,  50818468,  156040895};

// Index of a chromosome name in ChromosomeEnds; -1 when it has none.
int chromosomeSlot(const QString &chromosome)
{
    const std::optional<int> number = parseChromosome(QStringView(chromosome));
    return number ? *number - 1 : -1;
}

} // namespace

float ResultRows::statistic(int k, int s) const
{
    if (s <= 0 || s > extraCount)
        return rows[size_t(k)].firstStat;
    return extraStats[size_t(k) * size_t(extraCount) + size_t(s - 1)];
}

float *ResultRows::extraOf(int k)
{
    return extraCount > 0 ? extraStats.data() + size_t(k) * size_t(extraCount) : nullptr;
}

std::optional<Error> readRecordRun(const Dataset &dataset, const RecordRun &run, ResultRows &out,
                                   QByteArray &scratch, const Dataset::OpenTable *opened)
{
    const DatasetTables &tables = dataset.tables();
    const bool traits = run.table == RecordRun::Table::Traits;
    int movedSnp = -1;
    enum class Fault { Short, Unlisted, Misplaced, Moved, Memory };
    const auto damaged = [&](Fault fault) {
        QString detail;
        switch (fault) {
        case Fault::Short:
            detail = traits ? QStringLiteral("table1.dat holds fewer records than ID_Line.dat lists.")
                            : QStringLiteral("table2.dat holds fewer records than Pos_Line.dat lists.");
            break;
        case Fault::Unlisted:
            detail = traits ? QStringLiteral("table1.dat refers to a trait or SNP that is not listed.")
                            : QStringLiteral("table2.dat refers to a trait or SNP that is not listed.");
            break;
        case Fault::Misplaced:
            detail = traits ? QStringLiteral("table1.dat holds a record of another trait where ID_Line.dat "
                                             "places %1.")
                                  .arg(tables.traitNames.value(run.key))
                            : QStringLiteral("table2.dat holds a record of another region where "
                                             "Pos_Line.dat places this one.");
            break;
        case Fault::Moved:
            detail = QStringLiteral("the SNP information file %1 places the SNP %2 where Pos_Line.dat has "
                                    "no records; it changed after the import.")
                         .arg(tables.snpInfoPath, tables.snpNames.value(movedSnp));
            break;
        case Fault::Memory:
            detail = traits ? QStringLiteral("the trait has more records than memory can hold.")
                            : QStringLiteral("the region has more records than memory can hold.");
            break;
        }
        out.rows.clear();
        out.extraStats.clear();
        out.chromosomes.clear();
        out.positions.clear();
        return Error{ErrorKind::Damaged, damagedDatasetMessage(dataset.folder(), detail)};
    };
    const Result<Dataset::OpenTable> table = opened ? Result<Dataset::OpenTable>(*opened)
                                                    : dataset.table(run.table);
    if (!table) {
        out.rows.clear();
        out.extraStats.clear();
        out.chromosomes.clear();
        out.positions.clear();
        return table.error();
    }
    const int extra = tables.extraStats;
    const qint64 size = recordSize(extra);
    // Counts come from the index files: a table that does not hold them is refused before
    // anything is allocated.
    const qint64 held = table->size / size;
    if (run.first < 0 || run.count < 0 || extra < 0 || run.first > held || run.count > held - run.first)
        return damaged(Fault::Short);

    try {
        out.extraCount = extra;
        resizeForOverwrite(out.rows, size_t(run.count));
        resizeForOverwrite(out.chromosomes, size_t(run.count));
        resizeForOverwrite(out.positions, size_t(run.count));
        resizeForOverwrite(out.extraStats, size_t(run.count) * size_t(extra));
    } catch (const std::bad_alloc &) {
        return damaged(Fault::Memory);
    }
    // The records are read a block at a time into a buffer that stays in cache, decoded, checked
    // and placed while hot: a trait of ten million rows would otherwise need a copy of its
    // bytes besides the rows, and place them in another pass. Each half of a big run goes to
    // one core: placing is a wait on memory (random lines of the mapped SNP index).
    struct Part {
        int from = 0;
        int to = 0;
        bool readFailed = false;
        int faultAt = -1; // the first row with a fault, and which
        Fault fault = Fault::Unlisted;
        int movedSnp = -1;
    };
    const int fd = table->fd;
    const qsizetype traitTotal = tables.traitNames.size();
    const qsizetype snpTotal = tables.snpNames.size();
    constexpr int NoBin = 1 << 20; // outside every bin: bins are 16-bit
    constexpr int Block = 1024;
    const auto readPart = [&](Part &part, QByteArray &buffer) {
        int chromosomes[Block];
        double positions[Block];
        buffer.resize(qsizetype(Block) * size);
        for (int from = part.from; from < part.to; from += Block) {
            const int n = std::min(Block, part.to - from);
            if (!readAt(fd, buffer.data(), qint64(n) * size, (run.first + from) * size)) {
                part.readFailed = true;
                return;
            }
            // First the records themselves, then where the SNP information file places the
            // SNPs of those before the first bad one; the first fault in record order counts.
            int valid = n;
            const char *in = buffer.constData();
            for (int j = 0; j < n; ++j, in += size) {
                const int k = from + j;
                const RecordHead head = decodeRecord(in, out.extraOf(k), extra);
                if (head.traitIndex < 0 || head.traitIndex >= traitTotal || head.snpIndex < 0
                    || head.snpIndex >= snpTotal) {
                    valid = j;
                    part.fault = Fault::Unlisted;
                    break;
                }
                if (traits && head.traitIndex != run.key) {
                    valid = j;
                    part.fault = Fault::Misplaced;
                    break;
                }
                out.rows[size_t(k)] = RowRecord{head.traitIndex, head.snpIndex, head.firstStat, k};
            }
            // A record damaged inside the table would otherwise show in the wrong place, and a
            // SNP information file edited since the import would show a SNP where its record
            // was not filed.
            tables.placeRows(out.rows.data() + from, size_t(valid), chromosomes, positions);
            for (int j = 0; j < valid; ++j) {
                const int bin = positionBin(chromosomes[j], positions[j]).value_or(NoBin);
                if (traits && !tables.binHasRecords(bin)) {
                    part.faultAt = from + j;
                    part.fault = Fault::Moved;
                    part.movedSnp = out.rows[size_t(from + j)].snpIndex;
                    return;
                }
                if (!traits && bin != run.key) {
                    part.faultAt = from + j;
                    part.fault = Fault::Misplaced;
                    return;
                }
                const int c = chromosomes[j];
                out.chromosomes[size_t(from + j)] = quint8(c >= 0 && c <= 255 ? c : 0);
                out.positions[size_t(from + j)] = float(positions[j]);
            }
            if (valid < n) {
                part.faultAt = from + valid;
                return;
            }
        }
    };
    Part parts[2];
    constexpr int SplitAbove = 1 << 16;
    const bool split = run.count > SplitAbove && std::thread::hardware_concurrency() > 1;
    parts[0].to = split ? run.count / 2 : run.count;
    parts[1].from = parts[0].to;
    parts[1].to = run.count;
    if (split) {
        QByteArray second;
        std::thread worker([&] { readPart(parts[1], second); });
        readPart(parts[0], scratch);
        worker.join();
    } else {
        readPart(parts[0], scratch);
    }
    for (const Part &part : parts) {
        if (part.readFailed)
            return damaged(Fault::Short);
    }
    for (const Part &part : parts) {
        if (part.faultAt >= 0) {
            movedSnp = part.movedSnp;
            return damaged(part.fault);
        }
    }
    return std::nullopt;
}

namespace {

// Reads one run of the dataset's held table into `out`; a missing table is named before an
// empty run, which leaves `out` as it was.
std::optional<Error> readRunInto(const Dataset &dataset, const RecordRun &run, ResultRows &out)
{
    if (run.count <= 0) {
        const Result<Dataset::OpenTable> table = dataset.table(run.table);
        if (!table)
            return table.error();
        return Error{ErrorKind::NoRecords, {}};
    }
    QByteArray scratch;
    return readRecordRun(dataset, run, out, scratch);
}

Result<ResultRows> readOneRun(const Dataset &dataset, const RecordRun &run)
{
    ResultRows rows;
    if (std::optional<Error> error = readRunInto(dataset, run, rows))
        return std::move(*error);
    return rows;
}

RecordRun traitRun(const DatasetTables &tables, const QString &traitName)
{
    // The name list is sorted, so the trait's index is found by bisection.
    const auto named = std::lower_bound(tables.traitNames.cbegin(), tables.traitNames.cend(), traitName);
    const int traitIndex = named != tables.traitNames.cend() && *named == traitName
        ? int(named - tables.traitNames.cbegin())
        : -1;
    return RecordRun{RecordRun::Table::Traits, traitIndex, tables.traitFirstRecord(traitName),
                     tables.traitRecordCounts.value(traitName, 0)};
}

} // namespace

Result<ResultRows> readTrait(const Dataset &dataset, const QString &traitName)
{
    return readOneRun(dataset, traitRun(dataset.tables(), traitName));
}

std::optional<Error> readTraitInto(const Dataset &dataset, const QString &traitName, ResultRows &out)
{
    return readRunInto(dataset, traitRun(dataset.tables(), traitName), out);
}

namespace bypos {

Result<ResultRows> readRegion(const Dataset &dataset, int bin)
{
    const DatasetTables &tables = dataset.tables();
    Result<ResultRows> read = readOneRun(
        dataset,
        RecordRun{RecordRun::Table::Bins, bin, tables.binFirstRecord(bin), tables.binRecordCount(bin)});
    if (!read && read.kind() == ErrorKind::NoRecords)
        return Error{ErrorKind::NoRecords, QStringLiteral("There are no SNPs in this region!")};
    return read;
}

QStringList chromosomeNames()
{
    QStringList names;
    for (int c = 1; c <= 22; ++c)
        names << QString::number(c);
    names << QStringLiteral("X");
    return names;
}

int chromosomeEnd(const QString &chromosome, GenomeBuild build)
{
    const int slot = chromosomeSlot(chromosome);
    if (slot < 0)
        return -1;
    switch (build) {
    case GenomeBuild::Hg19:
        return int((Hg19Lengths[slot] + 999999) / 1000000);
    case GenomeBuild::Hg38:
        return int((Hg38Lengths[slot] + 999999) / 1000000);
    case GenomeBuild::Hg18:
        break;
    }
    return ChromosomeEnds[slot];
}

QString chromosomeEndMessage(const QString &chromosome, GenomeBuild build)
{
    const QString end = QString::number(chromosomeEnd(chromosome, build));
    if (chromosome == QLatin1String("X"))
        return QStringLiteral("Chromosome X ends at position") + QLatin1Char(' ') + end;
    return QStringLiteral("Chromosome") + chromosome + QStringLiteral(" ends at position") + QLatin1Char(' ')
        + end;
}

int regionBin(const QString &chromosome, int region)
{
    return parseChromosome(QStringView(chromosome)).value_or(0) * 1000 + region;
}

QUrl genomeBrowserUrl(const QString &chromosome, qint64 region, GenomeBuild build)
{
    const qint64 start = region * 1000000;
    const qint64 end = start + 1000000;
    return QUrl(QStringLiteral("https://genome.ucsc.edu/cgi-bin/hgTracks?org=Human&db=")
                + genomeBuildName(build) + QStringLiteral("&position=chr") + chromosome + QLatin1Char(':')
                + QString::number(start) + QLatin1Char('-') + QString::number(end));
}

TraitRanking rankTraits(const RegionRows &region, const DatasetTables &tables, int statistic, int transform,
                        int substitute)
{
    TraitRanking ranking;
    const int n = region.count();
    if (n == 0)
        return ranking;

    // The rows grouped by trait index; within a trait the file order is kept.
    std::vector<int> sorted(static_cast<size_t>(n));
    std::iota(sorted.begin(), sorted.end(), 0);
    std::stable_sort(sorted.begin(), sorted.end(), [&region](int a, int b) {
        return region.rows[size_t(a)].traitIndex < region.rows[size_t(b)].traitIndex;
    });

    ranking.valueMax = -9999999.0;
    const auto valueOf = [&](int k) {
        if (substitute < 0)
            return double(applyTransform(region.statistic(k, statistic), transform));
        const float stood = region.statistic(k, substitute);
        bool substituted = false;
        const float v = transformWithSubstitute(region.statistic(k, statistic), transform, &stood,
                                                &substituted);
        ranking.substituted += substituted ? 1 : 0;
        return double(v);
    };
    const double first = valueOf(sorted[0]);
    ranking.substituted = 0; // the loop below counts the first row again
    ranking.valueMin = first;
    if (first == double(MissingValue)) {
        ranking.missingValue = true;
        ranking.missingFrom = region.statistic(sorted[0], statistic);
        return ranking;
    }

    std::vector<double> maxima{first};
    int currentTrait = region.rows[size_t(sorted[0])].traitIndex;
    ranking.positions.emplace_back();
    ranking.values.emplace_back();
    ranking.records.emplace_back();
    for (const int k : sorted) {
        const RowRecord &row = region.rows[size_t(k)];
        const double v = valueOf(k);
        if (row.traitIndex == currentTrait) {
            if (v > maxima.back())
                maxima.back() = v;
        } else {
            ranking.groupNames << tables.traitNames.value(currentTrait);
            maxima.push_back(v);
            ranking.positions.emplace_back();
            ranking.values.emplace_back();
            ranking.records.emplace_back();
        }
        if (v < ranking.valueMin)
            ranking.valueMin = v;
        currentTrait = row.traitIndex;
        ranking.positions.back().push_back(tables.snpPosition(tables.snpLineOfIndex(row.snpIndex)));
        ranking.values.back().push_back(v);
        ranking.records.back().push_back(k);
        if (v == double(MissingValue)) {
            ranking.missingValue = true;
            ranking.missingFrom = region.statistic(k, statistic);
            return ranking;
        }
    }
    ranking.groupNames << tables.traitNames.value(currentTrait);

    const int groups = int(maxima.size());
    ranking.order.resize(size_t(groups));
    std::iota(ranking.order.begin(), ranking.order.end(), 0);
    sortDescendingWithIndex(maxima.data(), ranking.order.data(), 0, groups - 1);
    ranking.maxima = std::move(maxima);
    ranking.valueMax = ranking.maxima[0];
    return ranking;
}

std::vector<LegendEntry> legendEntries(const TraitRanking &ranking, const DatasetTables &tables)
{
    std::vector<LegendEntry> entries;
    const int rows = std::min(ranking.traitCount(), 9);
    for (int l = 0; l < rows; ++l) {
        const QString name = ranking.groupNames.value(ranking.order[size_t(l)]);
        entries.push_back({name, tables.traitGroupMap.value(name).join(QStringLiteral(", "))});
    }
    return entries;
}

QString legendHtml(const TraitRanking &ranking, const DatasetTables &tables)
{
    QString html = QStringLiteral("<FONT COLOR=blue><h2><br> Legend</br></h2>"
                                  "<table border=\"1\" cellpadding=\"5\" cellspacing=\"0\">"
                                  "<tr bgcolor=\"#DDFFFF\"><td>LABEL</td><td>Trait</td><td>Group</td></tr>");
    const std::vector<LegendEntry> entries = legendEntries(ranking, tables);
    for (size_t l = 0; l < entries.size(); ++l) {
        html += QStringLiteral("<tr><td>") + QString::number(l + 1) + QStringLiteral("</td><td>")
            + entries[l].trait.toHtmlEscaped() + QStringLiteral("</td><td>")
            + entries[l].groups.toHtmlEscaped() + QStringLiteral("</td></tr>");
    }
    html += QStringLiteral("</table>");
    return html;
}

QString helpHtml()
{
    return QStringLiteral(
        "<font color=blue><h1> About Quillmap v 0.0.2 Help Document</h1>"
        "<p>1. To display the association results in the spefic region, choose chr name and region (in Mb) </p>"
        "<p>2. To plot different statistics, choose from 'plot' box </p>"
        "<p>3. To find the SNP of interest, click 'Find SNP' button. </p>"
        "<p>4. To sort a specific column in the table, click the horizontal header.</p>"
        "<p>5. To highlight the SNPs of interest in the graph, click the row or the corresponding vertical header. Use 'Ctrl' or 'Shift' key to select multiple SNPs.</p>"
        "<p>6. To save the current graph, click 'SaveImage' button.</p>"
        "<p>7. The number in the graph is the rank of traits with maximum association results within each trait ordered in the region. Only top 9 traits are listed. </p>"
        "<p></p><p><h3>        More questions?         Email:  quillmap@diravizi.org </h3></p>");
}

} // namespace bypos

} // namespace quillmap
