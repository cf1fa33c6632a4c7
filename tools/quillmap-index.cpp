// quillmap-index: builds a dataset folder from the input files without the desktop program.

#include "browse/studysummaries.h"
#include "dataset/datasetregistry.h"
#include "dataset/genomebuild.h"
#include "dataset/ldreference.h"
#include "import/clusterbuild.h"
#include "import/folderlock.h"
#include "import/importer.h"
#include "import/runspill.h"
#include "import/toolimport.h"
#include "io/linereader.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringList>

#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

using namespace quillmap;

namespace {

// Laid out as help2man reads it: the manual page is made from this text.
constexpr char Usage[] = "Usage: quillmap-index --results R --snps S --traits T --out DIR [OPTION]...\n"
                         "  or:  quillmap-index --format FORMAT --build NAME --out DIR [OPTION]... FILE...\n";

constexpr char Help[] =
    "Builds a Quillmap dataset folder from five tab-delimited text files, exactly as the\n"
    "program's LOAD DATA does. Every file starts with a header line. Files ending in .gz are\n"
    "read through gzip.\n"
    "\n"
    "  --results R     results: trait, SNP, first statistic, extra statistics... The header's\n"
    "                  column count fixes every line's width.\n"
    "  --snps S        SNP information: SNP, chromosome (1-23 or X), position in Mb with at\n"
    "                  least one digit after the decimal point, extra columns...\n"
    "  --traits T      trait information: trait, trait columns...\n"
    "  --groups G      optional trait groups: trait, then one group name per field.\n"
    "  --genes P       optional gene positions: gene, chromosome, start, end (bp or Mb).\n"
    "  --out DIR       dataset folder, created when missing; an earlier dataset in it is\n"
    "                  replaced.\n"
    "  --neglog10 COL  store the results column named COL (a p-value) as -log10 of its value,\n"
    "                  named -log10(COL); repeatable. Computed from the text, so p-values\n"
    "                  below 1e-308 keep their strength. A p-value of 0, below 0 or above 1\n"
    "                  is an error.\n"
    "  --build NAME    genome build of the positions: hg18, hg19 or hg38; recorded in the\n"
    "                  dataset for the UCSC links and chromosome ends (default hg18).\n"
    "  --ld PREFIX     a PLINK 1 binary fileset PREFIX.bed/.bim/.fam (the study's genotypes or\n"
    "                  a reference panel) for the Locus tab's r2; recorded in the dataset.\n"
    "  --format FORMAT\n"
    "                  read association tool output FILE... (see below) instead of\n"
    "                  --results and --snps; --traits is then optional.\n"
    "  --keep-derived  with --format, also write DIR/quillmap-results.txt, a text copy of\n"
    "                  the rows imported.\n"
    "  --memory SIZE   memory the result rows may take (e.g. 100M, 2G; K, M, G, T are\n"
    "                  powers of 1024); beyond it they go to sorted runs in DIR, merged\n"
    "                  while the tables are written. Default: a quarter of physical memory,\n"
    "                  at least 256M and at most 2G. The dataset is the same byte for\n"
    "                  byte.\n"
    "  --files-from LIST\n"
    "                  with --format, also read the FILEs named in LIST, one a line (- for\n"
    "                  standard input), for more files than a command line holds.\n"
    "  --no-register   do not add DIR to the program's list of datasets (by default a\n"
    "                  successful import adds it, as LOAD DATA does).\n"
    "  -h, --help      show this help and exit.\n"
    "\n"
    "The input paths are recorded in DIR/summary.txt as absolute paths; the SNP, trait and\n"
    "group files must stay there, the browser reads them again.\n"
    "\n"
    "With --format, association tool output is read as it is, one trait per FILE (shell\n"
    "globs work; gzip and zstd files accepted), and --build is required. FORMAT is one of:\n"
    "  plink2          PLINK 2 --glm: PREFIX.PHENO.glm.linear, .glm.logistic,\n"
    "                  .glm.logistic.hybrid, .glm.firth (trait PHENO); rows whose TEST is\n"
    "                  not ADD are left out.\n"
    "  plink1          PLINK 1.9: .assoc, .qassoc, .assoc.linear, .assoc.logistic (trait:\n"
    "                  the name up to its first dot); TEST == ADD kept where there is one.\n"
    "  regenie         REGENIE step 2: PREFIX_PHENO.regenie (trait PHENO), LOG10P.\n"
    "  gwas-ssf        GWAS-SSF TSV (trait: the name up to its first dot), p_value or\n"
    "                  neg_log_10_p_value.\n"
    "PREFIX is what the names of all FILEs share. Chromosomes 1-22 and X (23, chr prefixes)\n"
    "are kept; Y, MT, XY, PAR and contigs, and rows with a missing p-value, are skipped and\n"
    "counted. The statistics are -log10(P), P, then the effect columns the tool wrote (BETA\n"
    "or OR, SE, test statistic, allele frequency); every file must have the same ones. A SNP\n"
    "ID of . becomes CHR:POS:REF:ALT; an ID seen again with other alleles is another SNP,\n"
    "named ID:REF:ALT (the closing notes say how many). DIR receives quillmap-snpinfo.txt and,\n"
    "without --traits, quillmap-traitinfo.txt (per trait: source file, rows kept and skipped,\n"
    "best P and its SNP), which the browser reads and which must stay there. The rows are\n"
    "imported as they are read; a text copy of them, quillmap-results.txt, is written only\n"
    "with --keep-derived (the browser never reads it).\n"
    "\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  the files failed a check (DIR/summary.txt holds the error line, which is also\n"
    "     printed)\n"
    "  2  usage error, an input file that cannot be opened or read, or a path holding a tab\n"
    "     or a line break\n"
    "  3  the dataset folder cannot be written, another import into it is running, memory\n"
    "     ran out, or the finished dataset could not be added to the program's list of\n"
    "     datasets (the message says which)\n";

void printError(const QString &text)
{
    std::fprintf(stderr, "quillmap-index: %s\n", qPrintable(text));
}

int usageError(const QString &text)
{
    printError(text);
    std::fputs(Usage, stderr);
    return 2;
}

// Progress on a terminal: the stage and its rows, rewritten in place a few times a second.
class ProgressLine final
{
public:
    explicit ProgressLine(bool enabled)
        : m_enabled(enabled)
    {
        m_clock.start();
    }

    void update(ImportStage stage, qint64 rows)
    {
        if (!m_enabled)
            return;
        const bool newStage = stage != m_stage;
        if (!newStage && m_clock.elapsed() < 200)
            return;
        if (newStage && m_stage)
            std::fputc('\n', stderr);
        m_stage = stage;
        m_clock.restart();
        std::fprintf(stderr, "\r%s: %lld %s", qPrintable(importStageText(stage)),
                     static_cast<long long>(rows), stage == ImportStage::Tables ? "records" : "lines");
        std::fflush(stderr);
    }

    void finish()
    {
        if (m_enabled && m_stage)
            std::fputc('\n', stderr);
        m_stage.reset();
    }

private:
    bool m_enabled;
    std::optional<ImportStage> m_stage;
    QElapsedTimer m_clock;
};

// The steps of a cluster build (quillmap-dask), left out of the help: files in, files out.
struct StepOptions {
    QCommandLineOption step{QStringLiteral("step"), {}, QStringLiteral("NAME")};
    QCommandLineOption work{QStringLiteral("work"), {}, QStringLiteral("DIR")};
    QCommandLineOption range{QStringLiteral("range"), {}, QStringLiteral("I")};
    QCommandLineOption begin{QStringLiteral("begin"), {}, QStringLiteral("BYTE")};
    QCommandLineOption end{QStringLiteral("end"), {}, QStringLiteral("BYTE")};
    QCommandLineOption ranges{QStringLiteral("ranges"), {}, QStringLiteral("N")};
    QCommandLineOption abort{QStringLiteral("abort"), {}, QStringLiteral("LINE")};
};

// The folder's lock for the whole cluster build, then the checks before the results lines.
// Says "ok", "failed" (the finish step reports it) or "abort LINE" on stdout, then holds the
// lock until stdin closes: the build's driver ending for any reason frees the folder.
int holdFolder(const QString &out, ImportInputs inputs)
{
    const quillmap::FolderLock lock = quillmap::lockImportFolder(out);
    if (lock.outcome != quillmap::FolderLock::Outcome::Locked) {
        printError(lock.error);
        return 3;
    }
    const ImportResult begun = quillmap::runBeginStep(out, inputs);
    const QString work = quillmap::clusterWorkPath(out);
    if (begun.failed)
        std::fputs("failed\n", stdout);
    else if (!QDir().mkpath(work))
        std::printf("abort error : can't write the file %s!\n", qPrintable(work));
    else
        std::fputs("ok\n", stdout);
    std::fflush(stdout);
    char buffer[256];
    while (std::fread(buffer, 1, sizeof buffer, stdin) > 0) { }
    return 0;
}

int runStep(const QCommandLineParser &parser, const StepOptions &o, const QString &name,
            const ImportInputs &inputs)
{
    const QString work = parser.value(o.work);
    auto integer = [&parser](const QCommandLineOption &option) { return parser.value(option).toLongLong(); };
    if (name == QLatin1String("parse"))
        return quillmap::runParseStep(inputs.results, work, int(integer(o.range)), integer(o.begin),
                                      integer(o.end));
    if (name == QLatin1String("names"))
        return quillmap::runNamesStep(work, int(integer(o.ranges)));
    if (name == QLatin1String("bins"))
        return quillmap::runBinsStep(inputs.snpInfo, work, int(integer(o.ranges)));
    if (name == QLatin1String("place"))
        return quillmap::runPlaceStep(work, int(integer(o.range)));
    return usageError(QStringLiteral("unknown step %1").arg(name));
}

// A QString cannot hold a file name that is not UTF-8: such a file is opened here by its bytes and
// read through /proc/self/fd. Empty when `name` is UTF-8 or the file cannot be opened (which
// the import then says, naming the file as well as it can).
QString openedByBytes(const QByteArray &name)
{
    if (QFile::encodeName(QFile::decodeName(name)) == name)
        return {};
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    return fd < 0 ? QString() : QStringLiteral("/proc/self/fd/%1").arg(fd);
}

// So that the startup dialog lists the folder, as after an import through the window. Merged with
// the list on disk under its lock, so imports running at once lose nothing.
int registerDataset(const QString &out)
{
    const registrystore::Update update = registrystore::add(QDir(out).absolutePath());
    if (update.saved)
        return 0;
    printError(QStringLiteral("the dataset is complete, but it could not be added to the"
                              " program's list of datasets: %1")
                   .arg(update.error));
    return 3;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    quillmap::setImportFinishedHook(&quillmap::StudySummaries::prepare);
    if (const QByteArray stage = qgetenv("QUILLMAP_TEST_OUT_OF_MEMORY"); !stage.isEmpty())
        quillmap::setImportOutOfMemoryForTesting(quillmap::ImportStage(stage.toInt()));
    // The help text above is our own (help2man reads it); the parser only reads the arguments.
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption negLog10(QStringLiteral("neglog10"), {}, QStringLiteral("COL"));
    const QCommandLineOption noRegister(QStringLiteral("no-register"));
    const QCommandLineOption keepDerived(QStringLiteral("keep-derived"));
    const QCommandLineOption memory(QStringLiteral("memory"), {}, QStringLiteral("SIZE"));
    ImportInputs inputs;
    QString out;
    QString formatName;
    QString buildName;
    QString filesFrom;
    QString ldPrefix;
    const struct {
        QCommandLineOption option;
        QString *value;
    } single[] = {{QCommandLineOption(QStringLiteral("results"), {}, QStringLiteral("R")), &inputs.results},
                  {QCommandLineOption(QStringLiteral("snps"), {}, QStringLiteral("S")), &inputs.snpInfo},
                  {QCommandLineOption(QStringLiteral("traits"), {}, QStringLiteral("T")), &inputs.traitInfo},
                  {QCommandLineOption(QStringLiteral("groups"), {}, QStringLiteral("G")), &inputs.groups},
                  {QCommandLineOption(QStringLiteral("genes"), {}, QStringLiteral("P")), &inputs.genes},
                  {QCommandLineOption(QStringLiteral("out"), {}, QStringLiteral("DIR")), &out},
                  {QCommandLineOption(QStringLiteral("format"), {}, QStringLiteral("FORMAT")), &formatName},
                  {QCommandLineOption(QStringLiteral("build"), {}, QStringLiteral("NAME")), &buildName},
                  {QCommandLineOption(QStringLiteral("files-from"), {}, QStringLiteral("LIST")), &filesFrom},
                  {QCommandLineOption(QStringLiteral("ld"), {}, QStringLiteral("PREFIX")), &ldPrefix}};
    parser.addOptions({help, negLog10, noRegister, memory, keepDerived});
    const StepOptions stepOptions;
    parser.addOptions({stepOptions.step, stepOptions.work, stepOptions.range, stepOptions.begin,
                       stepOptions.end, stepOptions.ranges, stepOptions.abort});
    for (const auto &option : single)
        parser.addOption(option.option);
    if (!parser.parse(app.arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(Usage, stdout);
        std::fputs("\n", stdout);
        std::fputs(Help, stdout);
        return 0;
    }
    for (const auto &option : single) {
        const QStringList values = parser.values(option.option);
        const QString name = QStringLiteral("--") + option.option.names().constFirst();
        if (values.size() > 1)
            return usageError(QStringLiteral("%1 given twice").arg(name));
        if (values.size() == 1 && values.constFirst().isEmpty())
            return usageError(QStringLiteral("%1 needs a file name").arg(name));
        *option.value = values.value(0);
    }
    inputs.negLog10Columns = parser.values(negLog10);
    if (inputs.negLog10Columns.contains(QString()))
        return usageError(QStringLiteral("--neglog10 needs a column name"));
    if (parser.isSet(memory)) {
        const QStringList values = parser.values(memory);
        inputs.memoryLimit = values.size() == 1 ? quillmap::parseMemorySize(values.constFirst().toUtf8())
                                                : -1;
        if (inputs.memoryLimit <= 0)
            return usageError(QStringLiteral("--memory needs one size such as 100M or 2G"));
    }
    bool registerFolder = !parser.isSet(noRegister);
    QStringList files = parser.positionalArguments();
    QStringList readFrom;
    {
        QHash<QString, QString> opened; // by the name as decoded
        for (int i = 1; i < argc; ++i) {
            const QString path = openedByBytes(argv[i]);
            if (!path.isEmpty())
                opened.insert(QFile::decodeName(argv[i]), path);
        }
        for (const QString &file : std::as_const(files))
            readFrom.append(opened.value(file));
    }
    // Studies of more files than a command line holds.
    if (!filesFrom.isEmpty()) {
        QFile list(filesFrom);
        const bool opened = filesFrom == QLatin1String("-") ? list.open(stdin, QIODevice::ReadOnly)
                                                            : list.open(QIODevice::ReadOnly);
        if (!opened) {
            printError(QStringLiteral("error : can't open the file list %1!").arg(filesFrom));
            return 2;
        }
        forEachLine(list.readAll(), [&files, &readFrom](const char *p, qsizetype n) {
            if (n > 0) {
                files.append(QFile::decodeName(QByteArray(p, n)));
                readFrom.append(openedByBytes(QByteArray(p, n)));
            }
        });
    }
    const QString step = parser.value(stepOptions.step);
    // The steps that work on files of the work folder only.
    if (!step.isEmpty() && step != QLatin1String("hold") && step != QLatin1String("finish")
        && step != QLatin1String("register")) {
        for (QString *path : {&inputs.results, &inputs.snpInfo})
            *path = QDir::cleanPath(QFileInfo(*path).absoluteFilePath());
        return runStep(parser, stepOptions, step, inputs);
    }
    if (step == QLatin1String("register"))
        return registerDataset(out);

    std::optional<quillmap::GenomeBuild> build;
    if (!buildName.isEmpty()) {
        build = quillmap::genomeBuildNamed(buildName);
        if (!build)
            return usageError(QStringLiteral("unknown build %1: use hg18, hg19 or hg38").arg(buildName));
    }
    std::optional<quillmap::ToolFormat> format;
    if (!formatName.isEmpty()) {
        format = quillmap::toolFormatNamed(formatName);
        if (!format)
            return usageError(QStringLiteral("unknown format %1: use %2")
                                  .arg(formatName, quillmap::toolFormatNames().join(QStringLiteral(", "))));
        if (!inputs.results.isEmpty() || !inputs.snpInfo.isEmpty() || !inputs.negLog10Columns.isEmpty())
            return usageError(
                QStringLiteral("--format reads FILE... instead of --results, --snps and --neglog10"));
        if (files.isEmpty() || out.isEmpty() || !build)
            return usageError(QStringLiteral("--format needs --build, --out and at least one FILE"));
    } else if (parser.isSet(keepDerived)) {
        return usageError(QStringLiteral("--keep-derived goes with --format"));
    } else {
        if (!files.isEmpty())
            return usageError(
                QStringLiteral("unknown argument %1 (files are given without an option only with --format)")
                    .arg(files.first()));
        if (inputs.results.isEmpty() || inputs.snpInfo.isEmpty() || inputs.traitInfo.isEmpty()
            || out.isEmpty())
            return usageError(QStringLiteral("--results, --snps, --traits and --out are required"));
    }

    for (QString *path :
         {&inputs.results, &inputs.snpInfo, &inputs.traitInfo, &inputs.groups, &inputs.genes}) {
        if (!path->isEmpty())
            *path = QDir::cleanPath(QFileInfo(*path).absoluteFilePath());
    }
    for (QString &path : files)
        path = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    // Refused before the folder is made: nothing is written or registered.
    for (const QString &path : {QDir(out).absolutePath(), inputs.results, inputs.snpInfo, inputs.traitInfo,
                                inputs.groups, inputs.genes}) {
        if (!importPathUsable(path))
            return usageError(QStringLiteral("the path %1 holds a tab or a line break, please rename it")
                                  .arg(QString(path)
                                           .replace(QLatin1Char('\t'), QStringLiteral("\\t"))
                                           .replace(QLatin1Char('\n'), QStringLiteral("\\n"))
                                           .replace(QLatin1Char('\r'), QStringLiteral("\\r"))));
    }
    if (!ldPrefix.isEmpty()) {
        ldPrefix = QFileInfo(ldPrefix).absoluteFilePath();
        const auto ld = quillmap::LdReference::open(ldPrefix);
        if (!ld) {
            printError(ld.message());
            return 2;
        }
    }
    if (!QDir().mkpath(out)) {
        printError(QStringLiteral("cannot create the folder %1").arg(out));
        return 3;
    }

    ProgressLine progress(isatty(2) != 0);
    const auto onProgress = [&progress](ImportStage stage, qint64 rows) { progress.update(stage, rows); };
    ImportResult result;
    if (format) {
        quillmap::ToolImportInputs tool;
        tool.format = *format;
        tool.files = files;
        tool.readFrom = readFrom;
        tool.traitInfo = inputs.traitInfo;
        tool.groups = inputs.groups;
        tool.genes = inputs.genes;
        tool.build = build;
        tool.memoryLimit = inputs.memoryLimit;
        tool.keepDerivedResults = parser.isSet(keepDerived);
        const quillmap::ToolImportResult converted = quillmap::runToolImport(QDir(out).absolutePath(), tool,
                                                                             onProgress);
        progress.finish();
        std::fputs(qPrintable(quillmap::toolImportReport(converted)), stderr);
        result = converted.import;
    } else {
        const quillmap::Status recorded = quillmap::writeGenomeBuild(QDir(out).absolutePath(), build);
        if (!recorded) {
            printError(recorded.message());
            return 3;
        }
        if (step == QLatin1String("hold"))
            return holdFolder(QDir(out).absolutePath(), inputs);
        if (step == QLatin1String("finish")) {
            // The build's driver adds the folder to the list, on the user's machine.
            registerFolder = false;
            result = quillmap::runFinishStep(QDir(out).absolutePath(), inputs,
                                             quillmap::clusterWorkPath(QDir(out).absolutePath()),
                                             int(parser.value(stepOptions.ranges).toLongLong()),
                                             parser.value(stepOptions.abort).toUtf8(), onProgress);
        } else {
            result = runImport(QDir(out).absolutePath(), inputs, onProgress);
        }
        progress.finish();
        // Said whatever the outcome: a failed import may have read all its values first.
        const QString lost = lostValuesNotice(result.lost);
        if (!lost.isEmpty())
            std::fputs(qPrintable(lost), stderr);
    }

    if (!result.failed) {
        const quillmap::Status ld = quillmap::LdReference::record(QDir(out).absolutePath(), ldPrefix);
        if (!ld) {
            printError(ld.message());
            return 3;
        }
        if (registerFolder && registerDataset(out) != 0)
            return 3;
        if (isatty(2))
            std::fprintf(stderr, "%lld rows, %lld traits, %lld SNPs\n", static_cast<long long>(result.rows),
                         static_cast<long long>(result.traits), static_cast<long long>(result.snps));
        return 0;
    }
    printError(result.errorText);
    switch (result.failure) {
    case ImportResult::Failure::Validation:
        return 1;
    case ImportResult::Failure::UnreadableInput:
    case ImportResult::Failure::UnusablePath:
        return 2;
    default:
        return 3;
    }
}
