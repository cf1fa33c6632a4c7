// The dataset loader on a damaged dataset folder, then every trait and every bin read through the
// offset rule as the panels read them, and the region ranking with its legend. The folder starts
// as a real import of small fixed inputs; the fuzzer's bytes are sections cut at form feeds, each
// a file number byte followed by that file's new content ("@IN@" in summary.txt stands for the
// folder of the recorded input files). File number 12 deletes the file its next byte names.
// Nothing may crash or read outside an array; a dataset the loader accepts reads back in full.

#include "fuzzsupport.h"

#include "dataset/regionsearch.h"
#include "dataset/datasetloader.h"
#include "dataset/dataset.h"
#include "import/importer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

using namespace quillmap;

namespace {

constexpr int FileCount = 12;
// Dataset files first, then the three input files that summary.txt points at.
const char *const Names[FileCount] = {"summary.txt",  "IDlist.dat",  "SNPlist.dat",   "table1.dat",
                                      "ID_Line.dat",  "table2.dat",  "Pos_Line.dat",  "Gene2ID.dat",
                                      "pos2gene.dat", "in/snps.txt", "in/traits.txt", "in/groups.txt"};

QString inputFolder()
{
    return fuzz::scratchPath(QStringLiteral("in"));
}
QString folder()
{
    return fuzz::scratchPath(QStringLiteral("dataset"));
}
QString pathOf(int k)
{
    return k >= 9 ? fuzz::scratchPath(QLatin1String(Names[k]))
                  : folder() + QLatin1Char('/') + QLatin1String(Names[k]);
}

QByteArray Template[FileCount];

// A real import of small inputs. Statistics avoid the byte 0x0C so that a table survives the
// cut at form feeds in a seed.
void makeTemplate()
{
    QDir().mkpath(inputFolder());
    QDir().mkpath(folder());
    const QString results = fuzz::scratchPath(QStringLiteral("in/results.txt"));
    fuzz::writeFile(results,
                    "T\tS\tp\tb\nT1\trs1\t0.5\t1\nT2\trs2\t0.25\t2\nT1\trs3\t0.125\t3\n"
                    "T3\trs1\t1.5\t4\nT2\trs3\t2.5\t5\n");
    fuzz::writeFile(pathOf(9), "S\tchr\tpos\tg\nrs1\t1\t1.5\ta\nrs2\tX\t2.5\tb\nrs3\t1\t1.75\tc\n");
    fuzz::writeFile(pathOf(10), "T\tx\nT1\ta\nT2\t<b>\nT3\tc\n");
    fuzz::writeFile(pathOf(11), "T\tG\nT1\tG1\nT2\tG1\tG2\n");
    const QString genes = fuzz::scratchPath(QStringLiteral("in/genes.txt"));
    fuzz::writeFile(genes, "G\tC\tS\tE\ng1\t1\t1.2\t1.3\ng2\tX\t2.1\t2.9\n");
    const ImportResult r = runImport(folder(),
                                     ImportInputs{results, pathOf(9), pathOf(10), pathOf(11), genes, {}});
    fuzz::check(!r.failed, "the template import failed", r.errorText);
    for (int k = 0; k < FileCount; ++k)
        Template[k] = fuzz::readFile(pathOf(k));
    Template[0].replace(inputFolder().toUtf8(), "@IN@");
    fuzz::check(!Template[3].contains('\f') && !Template[5].contains('\f'),
                "a template table holds a form feed");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    makeTemplate();
    // QUILLMAP_FUZZ_SEED=file writes the unchanged folder as one input (for the seed corpus).
    if (const char *seed = std::getenv("QUILLMAP_FUZZ_SEED")) {
        QByteArray all;
        for (int k = 0; k < FileCount; ++k) {
            if (k)
                all += '\f';
            all += char(k) + Template[k];
        }
        fuzz::writeFile(QString::fromLocal8Bit(seed), all);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray content[FileCount];
    bool present[FileCount];
    for (int k = 0; k < FileCount; ++k) {
        content[k] = Template[k];
        present[k] = true;
    }
    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QByteArray &section : fuzz::splitParts(input, 64)) {
        if (section.isEmpty())
            continue;
        const int k = uchar(section.at(0));
        if (k < FileCount)
            content[k] = section.mid(1);
        else if (k == FileCount && section.size() > 1)
            present[uchar(section.at(1)) % FileCount] = false;
    }
    // Recorded input paths must stay inside the scratch folder: the loader reads what summary.txt
    // names, and this run must not read the rest of the machine.
    const qsizetype firstLineEnd = content[0].indexOf('\n');
    const QByteArray paths = content[0].left(firstLineEnd < 0 ? content[0].size() : firstLineEnd);
    for (const QByteArray &path : paths.split('\t'))
        if (!path.startsWith("@IN@/") || path.contains("/.."))
            return 0;
    content[0].replace("@IN@", inputFolder().toUtf8());

    for (int k = 0; k < FileCount; ++k) {
        if (present[k])
            fuzz::writeFile(pathOf(k), content[k]);
        else
            QFile::remove(pathOf(k));
    }

    DatasetTables tables;
    const Status outcome = DatasetLoader(folder()).load(tables);
    if (!outcome.ok()) {
        fuzz::check(!tables.loaded && tables.traitNames.isEmpty() && tables.snpLineCount() == 0,
                    "a failed load left part of a dataset", outcome.message());
        fuzz::check(!outcome.message().isEmpty(), "a failed load without a message");
        return 0;
    }
    // What the loader accepted, the panels can read without running off a table's end.
    const auto dataset = Dataset::load(folder());
    fuzz::check(dataset.ok(), "a dataset loaded once does not load again", dataset.message());
    fuzz::readEveryTrait(**dataset, false);
    for (int line = -1; line <= tables.snpLineCount(); ++line) {
        (void)tables.snpFields(line);
        (void)tables.snpChromosome(line);
    }
    for (const QString &name : std::as_const(tables.snpNames))
        (void)tables.snpIndexOf(name);
    for (auto it = tables.binRecordCounts.cbegin(); it != tables.binRecordCounts.cend(); ++it) {
        const auto read = quillmap::bypos::readRegion(**dataset, it.key());
        if (!read)
            continue;
        for (int statistic = 0; statistic <= tables.extraStats && statistic < 3; ++statistic) {
            const auto ranking = quillmap::bypos::rankTraits(*read, tables, statistic, 2);
            (void)quillmap::bypos::legendHtml(ranking, tables);
        }
    }
    return 0;
}
