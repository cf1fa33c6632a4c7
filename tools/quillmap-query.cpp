// quillmap-query: listings of a dataset folder for pipelines and servers, as TSV on stdout.

#include "browse/tabletext.h"
#include "browse/significance.h"
#include "browse/studysummaries.h"
#include "dataset/dataset.h"
#include "dataset/regionsearch.h"
#include "import/workqueue.h"
#include "querycommon.h"
#include "querylocus.h"
#include "queryplot.h"
#include "querysnp.h"

#include <QGuiApplication>

#include <fcntl.h>
#include <unistd.h>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

using namespace quillmap;
using namespace quillmap::query;

namespace {

// Laid out as help2man reads it: the manual page is made from this text.
constexpr char Usage[] = "Usage: quillmap-query DIR trait NAME\n"
                         "  or:  quillmap-query DIR region CHR MB\n"
                         "  or:  quillmap-query DIR lambda [--trait NAME] [--stat S]\n"
                         "  or:  quillmap-query DIR top-loci [--p 5e-8] [--window 500000] [--stat S]\n"
                         "  or:  quillmap-query DIR locus SNP|CHR:BP|GENE [--trait NAME] [--window BP]\n"
                         "         [--ld PREFIX]\n"
                         "  or:  quillmap-query DIR snp SNP|CHR:BP|GENE [--window BP]\n"
                         "  or:  quillmap-query DIR gene NAME [--window BP]\n"
                         "  or:  quillmap-query DIR plot trait NAME|region CHR MB|locus NAME|snp NAME\n"
                         "         --out FILE [--stat S] [--transform T] [--width W] [--height H] [--dpi D]\n"
                         "         [--sigline P] [--trait NAME] [--window BP] [--ld PREFIX]\n";

constexpr char Help[] =
    "Lists what the Quillmap window shows of the dataset folder DIR, as tab-separated text\n"
    "with a header line on standard output.\n"
    "\n"
    "  trait NAME       every row of the trait, as the By Trait table shows them\n"
    "  region CHR MB    every row in [MB, MB + 1) Mb of chromosome CHR (1-22 or X), as the\n"
    "                   By Position table shows them\n"
    "  lambda           per trait: trait, rows, lambda_gc (genomic control of its p-values);\n"
    "                   --trait NAME lists one trait\n"
    "  top-loci         independent loci of every trait: trait, snp, chr, pos (bp), p, n.\n"
    "                   Per trait the smallest p at or below --p (default 5e-8) is a lead and\n"
    "                   every SNP on its chromosome within --window bp (default 500000) joins\n"
    "                   its locus; repeated until none is left. n counts the locus's SNPs at or\n"
    "                   below the threshold, the lead included.\n"
    "  locus SNP        every row of one trait within --window bp (default 1000000, from\n"
    "                   20000 to 10000000) centred on a SNP, a position CHR:BP or a gene, in\n"
    "                   position order, as the By Trait table shows them plus a column r2:\n"
    "                   the linkage disequilibrium of each SNP with the centre SNP (with the\n"
    "                   window's best SNP for a position or a gene) from the PLINK 1 fileset\n"
    "                   PREFIX.bed/.bim/.fam of --ld, or the one the import recorded; NA where\n"
    "                   the fileset lacks a SNP. --trait names the trait (default the trait\n"
    "                   with the smallest p at the centre)\n"
    "  snp SNP          every trait's row at a SNP (a name in any case, or CHR:BP[:A1:A2]\n"
    "                   with or without chr), at the SNP nearest a position CHR:BP, or\n"
    "                   each trait's best row in a gene --window bp (default 0) on each\n"
    "                   side, as the By SNP tab lists them: trait, groups, snp, pos,\n"
    "                   -log10(p), every statistic as stored; the smallest p first. What\n"
    "                   was found and how many traits have no row there go to standard\n"
    "                   error\n"
    "  gene NAME        as snp, for a gene of the dataset's gene file only\n"
    "  plot             draws the trait's genome-wide plot, the region plot, the locus (as\n"
    "                   the Locus tab does, with --trait, --window and --ld as for locus) or\n"
    "                   the By SNP tab's plot of every trait at a SNP (--window as for snp)\n"
    "                   into FILE as PDF, SVG or PNG (by its extension); --stat names\n"
    "                   the statistic (default the first), --transform one of NoTransformation,\n"
    "                   log(10), -log(10), log(2), -log(2), abs, or as none, log10, -log10,\n"
    "                   log2, -log2; --width and --height in\n"
    "                   pixels (default 1000 x 400 for a trait, 1000 x 600 for a region),\n"
    "                   --dpi the resolution (default 96; a PNG looks like the screen at\n"
    "                   WIDTH x 96 / DPI pixels, drawn finer). Where the plotted values are\n"
    "                   -log10 p-values, --sigline P draws the dashed significance line at\n"
    "                   p-value P (default 5e-8; none for no line). Needs no display.\n"
    "\n"
    "The p-values are the first statistic named -log10(...), LOG10P or the like (read as\n"
    "-log10 p; thresholds still apply as p-values), else the first named P, pval, p_value or\n"
    "the like; --stat names another.\n"
    "\n"
    "  --trait NAME     lambda: this trait only\n"
    "  --stat S         lambda, top-loci: the statistic holding the p-values\n"
    "  --p P            top-loci: the largest p of a lead (default 5e-8)\n"
    "  --window BP      top-loci: how far a locus reaches each side of its lead, in bp\n"
    "                   (default 500000); snp: bp added on each side of a gene\n"
    "  -h, --help       show this help and exit\n"
    "\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  a trait, region or statistic not in the dataset\n"
    "  2  usage error\n"
    "  3  the dataset cannot be read or the output cannot be written\n";

int notInDataset(const QString &text)
{
    printError(text);
    return 1;
}

// The p-value statistic: --stat when given, else the dataset's own.
std::optional<PValueColumn> pValueColumn(const DatasetTables &tables, const QString &stat)
{
    const PValueColumn column = stat.isEmpty() ? findPValueColumn(tables.statisticNames)
                                               : pValueColumnNamed(tables.statisticNames, stat);
    if (column.valid())
        return column;
    if (stat.isEmpty())
        printError(QStringLiteral("no statistic of the dataset holds p-values; name one with --stat"));
    else
        printError(QStringLiteral("the statistic %1 is not in the dataset").arg(stat));
    return std::nullopt;
}

// Rows as the window's table shows them, written in bulk.
bool writeRows(TsvWriter &out, const DatasetTables &tables, const ResultRows &rows)
{
    // The text costs far more than the write: a second thread makes every other block, each
    // thread with its own TableText (which caches trait names).
    const TableText text(tables), otherText(tables);
    if (!out.lines(text.header()))
        return false;
    QByteArray block, otherBlock;
    constexpr int RowsPerBlock = 16384;
    const bool twoThreads = rows.count() > 4 * RowsPerBlock && std::thread::hardware_concurrency() > 1;
    for (int begin = 0; begin < rows.count(); begin += 2 * RowsPerBlock) {
        const int middle = begin + RowsPerBlock;
        block.clear();
        otherBlock.clear();
        std::thread other;
        if (twoThreads)
            other = std::thread(
                [&] { otherText.appendRows(rows, middle, middle + RowsPerBlock, otherBlock); });
        text.appendRows(rows, begin, middle, block);
        if (other.joinable())
            other.join();
        else
            otherText.appendRows(rows, middle, middle + RowsPerBlock, otherBlock);
        if (!out.lines(block) || !out.lines(otherBlock))
            return false;
    }
    return out.finish();
}

// A trait's rows in parts: each part read and turned into text on one of two threads while the
// parts before it are written, so the first rows go out at once and the trait is never held
// whole. The table is the one found at the start throughout.
int traitCommand(const std::shared_ptr<const Dataset> &dataset, const QString &name)
{
    const DatasetTables &tables = dataset->tables();
    const int index = traitIndexOf(tables, name);
    if (index < 0)
        return notInDataset(QStringLiteral("the trait %1 is not in the dataset").arg(name));
    const Result<Dataset::OpenTable> table = dataset->table(ResultTable::Traits);
    if (!table)
        return datasetError(table.message());
    const qint64 first = tables.traitFirstRecord(name);
    const int count = tables.traitRecordCounts.value(name, 0);
    constexpr int PartRows = 8192;
    const int parts = count <= 0 ? 0 : int((qint64(count) + PartRows - 1) / PartRows);
    struct Part {
        QByteArray text;
        std::optional<Error> error;
    };
    WorkQueue<Part> done(8);
    const int workers = parts > 1 && std::thread::hardware_concurrency() > 1 ? 2 : 1;
    std::vector<std::jthread> threads;
    for (int w = 0; w < workers; ++w)
        threads.emplace_back([&, w](std::stop_token stop) {
            const TableText text(tables);
            ResultRows rows;
            QByteArray scratch;
            for (int i = w; i < parts; i += workers) {
                const RecordRun run{RecordRun::Table::Traits, index, first + qint64(i) * PartRows,
                                    std::min(PartRows, count - i * PartRows)};
                Part part;
                part.error = readRecordRun(*dataset, run, rows, scratch, &*table);
                if (!part.error)
                    text.appendRows(rows, 0, rows.count(), part.text);
                const bool failed = part.error.has_value();
                if (!done.put(i, std::move(part), stop) || failed)
                    return;
            }
        });
    // A reader at the other end of a pipe then wakes a sixteenth as often.
    ::fcntl(STDOUT_FILENO, F_SETPIPE_SZ, 1 << 20);
    TsvWriter out;
    for (int i = 0; i < parts; ++i) {
        const Part part = done.take();
        if (part.error)
            return datasetError(part.error->message);
        if ((i == 0 && !out.lines(TableText(tables).header())) || !out.lines(part.text))
            return outputError();
    }
    return out.finish() ? 0 : outputError();
}

int regionCommand(const std::shared_ptr<const Dataset> &dataset, const QString &chromosome,
                  const QString &megabase)
{
    const std::optional<int> bin = regionBinOf(chromosome, megabase);
    if (!bin)
        return usageError(QStringLiteral("a region is a chromosome (1-22 or X) and a whole Mb from 0 to 999"),
                          Usage);
    const auto read = bypos::readRegion(*dataset, *bin);
    if (!read && read.kind() == ErrorKind::NoRecords)
        return notInDataset(
            QStringLiteral("chromosome %1 at %2 Mb: %3").arg(chromosome, megabase, read.message()));
    if (!read)
        return datasetError(read.message());
    TsvWriter out;
    return writeRows(out, dataset->tables(), *read) ? 0 : outputError();
}

int lambdaCommand(const Dataset &dataset, const Options &options)
{
    const DatasetTables &tables = dataset.tables();
    const auto column = pValueColumn(tables, options.value(QStringLiteral("--stat")));
    if (!column)
        return 1;
    int first = 0, last = int(tables.traitNames.size());
    if (options.contains(QStringLiteral("--trait"))) {
        const QString name = options.value(QStringLiteral("--trait"));
        first = traitIndexOf(tables, name);
        if (first < 0)
            return notInDataset(QStringLiteral("the trait %1 is not in the dataset").arg(name));
        last = first + 1;
    }
    const TraitSummaries summaries = StudySummaries::listTraits(dataset, *column, first, last);
    if (!summaries.outcome)
        return datasetError(summaries.outcome.message());
    TsvWriter out;
    out.row(traitSummaryHeader());
    for (const TraitSummary &s : summaries.traits) {
        if (!out.row(traitSummaryFields(tables, s)))
            return outputError();
    }
    return out.finish() ? 0 : outputError();
}

int topLociCommand(const Dataset &dataset, const Options &options)
{
    const DatasetTables &tables = dataset.tables();
    const auto column = pValueColumn(tables, options.value(QStringLiteral("--stat")));
    if (!column)
        return 1;
    const std::optional<double> threshold = options.contains(QStringLiteral("--p"))
        ? parsePValue(options.value(QStringLiteral("--p")))
        : GenomeWideP;
    if (!threshold)
        return usageError(QStringLiteral("--p takes a p-value above 0 and at most 1"), Usage);
    const std::optional<qint64> window = windowOption(options, StudySummaries::DefaultWindowBp);
    if (!window)
        return usageError(QStringLiteral("--window takes a whole number of bp, 0 or more"), Usage);

    const TopLociResult result = StudySummaries::listLoci(dataset, *column, *threshold, *window);
    if (!result.outcome)
        return datasetError(result.outcome.message());
    TsvWriter out;
    out.row(topLociHeader());
    for (const QStringList &fields : topLocusFields(tables, result.loci)) {
        if (!out.row(fields))
            return outputError();
    }
    return out.finish() ? 0 : outputError();
}

} // namespace

// An exception escaping (Qt's bad_alloc) ends the program as an abort would; nothing to catch.
int main(int argc, char *argv[]) // NOLINT(bugprone-exception-escape)
{
    // Only plot draws; it needs fonts but no display, so it runs on servers as well.
    const bool plotting = argc > 2 && std::strcmp(argv[2], "plot") == 0;
    if (plotting && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app;
    if (plotting)
        app = std::make_unique<QGuiApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(Usage, stdout);
        std::fputs("\n", stdout);
        std::fputs(Help, stdout);
        return 0;
    }
    if (args.size() < 2)
        return usageError(QStringLiteral("a dataset folder and a command are needed"), Usage);
    const QString folder = args.takeFirst();
    const QString command = args.takeFirst();

    struct Shape {
        const char *name;
        int positionals;
        QStringList options; // options taking a value
    };
    const Shape shapes[] = {
        {"trait", 1, {}},
        {"region", 2, {}},
        {"lambda", 0, {QStringLiteral("--trait"), QStringLiteral("--stat")}},
        {"top-loci", 0, {QStringLiteral("--p"), QStringLiteral("--window"), QStringLiteral("--stat")}},
        {"locus", 1, {QStringLiteral("--trait"), QStringLiteral("--window"), QStringLiteral("--ld")}},
        {"snp", 1, {QStringLiteral("--window")}},
        {"gene", 1, {QStringLiteral("--window")}},
        {"plot", -1, plotOptions()},
    };
    const auto shape = std::find_if(std::begin(shapes), std::end(shapes),
                                    [&](const Shape &s) { return command == QLatin1StringView(s.name); });
    if (shape == std::end(shapes))
        return usageError(QStringLiteral("unknown command %1").arg(command), Usage);
    QString problem;
    const std::optional<Options> options = parseOptions(args, shape->options, &problem);
    if (!options)
        return usageError(problem, Usage);
    const QStringList &positional = options->positional;
    if (shape->positionals >= 0 && positional.size() != shape->positionals)
        return usageError(QStringLiteral("%1 takes %2 argument(s)").arg(command).arg(shape->positionals),
                          Usage);

    const Result<std::shared_ptr<const Dataset>> loaded = Dataset::load(folder);
    if (!loaded)
        return datasetError(loaded.message());
    const std::shared_ptr<const Dataset> &dataset = *loaded;

    if (command == u"trait")
        return traitCommand(dataset, positional[0]);
    if (command == u"region")
        return regionCommand(dataset, positional[0], positional[1]);
    if (command == u"lambda")
        return lambdaCommand(*dataset, *options);
    if (command == u"top-loci")
        return topLociCommand(*dataset, *options);
    if (command == u"locus")
        return locusCommand(*dataset, *options, Usage);
    if (command == u"snp" || command == u"gene")
        return snpCommand(*dataset, *options, Usage, command == u"gene");
    return plotCommand(*dataset, *options, Usage);
}
