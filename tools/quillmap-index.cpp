// quillmap-index: builds a dataset folder from the input files without the desktop program.

#include "dataset/datasetregistry.h"
#include "import/importer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>
#include <unistd.h>

namespace {

// Laid out as help2man reads it: the manual page is made from this text.
constexpr char Usage[] =
    "Usage: quillmap-index --results R --snps S --traits T --out DIR [OPTION]...\n";

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
    "  --no-register   do not add DIR to the program's list of datasets (by default a\n"
    "                  successful import adds it, as LOAD DATA does).\n"
    "  -h, --help      show this help and exit.\n"
    "\n"
    "The input paths are recorded in DIR/summary.txt as absolute paths; the SNP, trait and\n"
    "group files must stay there, the browser reads them again.\n"
    "\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  the files failed a check (DIR/summary.txt holds the error line, which is also\n"
    "     printed)\n"
    "  2  usage error, or an input file that cannot be opened or read\n"
    "  3  the dataset folder cannot be written, or memory ran out\n";

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
    explicit ProgressLine(bool enabled) : m_enabled(enabled) { m_clock.start(); }

    void update(const QString &stage, qint64 rows)
    {
        if (!m_enabled)
            return;
        const bool newStage = stage != m_stage;
        if (!newStage && m_clock.elapsed() < 200)
            return;
        if (newStage && !m_stage.isEmpty())
            std::fputc('\n', stderr);
        m_stage = stage;
        m_clock.restart();
        const bool tables = stage == QLatin1String(importstage::Tables);
        std::fprintf(stderr, "\r%s: %lld %s", qPrintable(stage), static_cast<long long>(rows),
                     tables ? "records" : "lines");
        std::fflush(stderr);
    }

    void finish()
    {
        if (m_enabled && !m_stage.isEmpty())
            std::fputc('\n', stderr);
        m_stage.clear();
    }

private:
    bool m_enabled;
    QString m_stage;
    QElapsedTimer m_clock;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();

    ImportInputs inputs;
    QString out;
    bool registerFolder = true;
    const struct {
        const char *option;
        QString *value;
    } options[] = {{"--results", &inputs.results}, {"--snps", &inputs.snpInfo},
                   {"--traits", &inputs.traitInfo}, {"--groups", &inputs.groups},
                   {"--genes", &inputs.genes},      {"--out", &out}};

    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            std::fputs(Usage, stdout);
            std::fputs("\n", stdout);
            std::fputs(Help, stdout);
            return 0;
        }
        if (arg == QLatin1String("--neglog10")) {
            if (i + 1 >= args.size() || args.at(i + 1).isEmpty())
                return usageError(QStringLiteral("--neglog10 needs a column name"));
            inputs.negLog10Columns.append(args.at(++i));
            continue;
        }
        if (arg == QLatin1String("--no-register")) {
            registerFolder = false;
            continue;
        }
        bool known = false;
        for (const auto &option : options) {
            if (arg != QLatin1String(option.option))
                continue;
            known = true;
            if (i + 1 >= args.size() || args.at(i + 1).isEmpty())
                return usageError(QStringLiteral("%1 needs a file name").arg(arg));
            if (!option.value->isEmpty())
                return usageError(QStringLiteral("%1 given twice").arg(arg));
            *option.value = args.at(++i);
        }
        if (!known)
            return usageError(QStringLiteral("unknown argument %1").arg(arg));
    }
    if (inputs.results.isEmpty() || inputs.snpInfo.isEmpty() || inputs.traitInfo.isEmpty()
        || out.isEmpty())
        return usageError(QStringLiteral("--results, --snps, --traits and --out are required"));

    for (QString *path : {&inputs.results, &inputs.snpInfo, &inputs.traitInfo, &inputs.groups,
                          &inputs.genes}) {
        if (!path->isEmpty())
            *path = QDir::cleanPath(QFileInfo(*path).absoluteFilePath());
    }
    // Refused before the folder is made: nothing is written or registered.
    for (const QString &path : {QDir(out).absolutePath(), inputs.results, inputs.snpInfo,
                                inputs.traitInfo, inputs.groups, inputs.genes}) {
        if (!importPathUsable(path))
            return usageError(QStringLiteral("the path %1 holds a tab or a line break, please rename it")
                                  .arg(QString(path).replace(QLatin1Char('\t'), QStringLiteral("\\t"))
                                           .replace(QLatin1Char('\n'), QStringLiteral("\\n"))
                                           .replace(QLatin1Char('\r'), QStringLiteral("\\r"))));
    }
    if (!QDir().mkpath(out)) {
        printError(QStringLiteral("cannot create the folder %1").arg(out));
        return 3;
    }

    ProgressLine progress(isatty(2) != 0);
    const ImportResult result = runImport(
        QDir(out).absolutePath(), inputs,
        [&progress](const QString &stage, qint64 rows) { progress.update(stage, rows); });
    progress.finish();
    // Said whatever the outcome: a failed import may have read all its values first.
    const QString lost = lostValuesNotice(result.lost);
    if (!lost.isEmpty())
        std::fputs(qPrintable(lost), stderr);

    if (!result.failed) {
        // So that the startup dialog lists the folder, as after an import through the window.
        if (registerFolder) {
            QStringList folders = registrystore::read();
            const QString folder = QDir(out).absolutePath();
            if (!folders.contains(folder)) {
                folders.append(folder);
                registrystore::write(folders);
            }
        }
        if (isatty(2))
            std::fprintf(stderr, "%lld rows, %lld traits, %lld SNPs\n",
                         static_cast<long long>(result.rows), static_cast<long long>(result.traits),
                         static_cast<long long>(result.snps));
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
