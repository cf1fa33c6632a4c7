#pragma once

#include "dataset/genomebuild.h"
#include "import/importer.h"
#include "import/toolformat.h"

#include <QList>
#include <QString>
#include <QStringList>

// Import of association tool output: each file one trait. The files are turned into the
// five-file layout (results, SNP information and, unless given, trait information, written into
// the dataset folder, where the browser reads them again) and imported as runImport imports
// those files, the rows handed over already parsed rather than read back: the dataset is byte
// for byte the five-file import's.
namespace quillmap {

// File names of the derived inputs in the dataset folder.
inline constexpr char DerivedResults[] = "quillmap-results.txt";
inline constexpr char DerivedSnpInfo[] = "quillmap-snpinfo.txt";
inline constexpr char DerivedTraitInfo[] = "quillmap-traitinfo.txt";

struct ToolImportInputs {
    ToolFormat format = ToolFormat::Plink2;
    QStringList files; // one trait each; gzip and zstd files are decompressed
    // Per file, where it is read when not at its name (a name that is not UTF-8, which a QString
    // cannot hold, is opened by its bytes and read through /proc/self/fd); empty: at its name.
    QStringList readFrom;
    QString traitInfo; // optional: used instead of the derived trait information
    QString groups;    // optional, as for runImport
    QString genes;     // optional, as for runImport
    // Recorded in the dataset once the files are converted; none removes an earlier record.
    std::optional<GenomeBuild> build;
    qint64 memoryLimit = 0; // as ImportInputs::memoryLimit
    // The text copy of the rows (DerivedResults) is written only on request: the browser never
    // reads it, and it is most of the folder. Without it an earlier copy is removed.
    bool keepDerivedResults = false;
};

// Rows a file held that the dataset leaves out, by reason.
struct SkippedRows {
    enum Reason {
        MissingP,        // P (or LOG10P) written NA, "." or "#NA"
        OtherChromosome, // not 1-22 or X: Y, MT, XY, PAR, contigs
        NotAdditive,     // a TEST column other than ADD
        MissingPosition, // no position
        MissingEffect,   // P given, an effect column NA or infinite
        ReasonCount
    };
    qint64 count[ReasonCount] = {};
    static constexpr int OtherChromosomesShown = 6;
    QStringList otherChromosomes; // the first few names seen (up to 6), for the message

    qint64 total() const;
    void add(const SkippedRows &other);
};

// What each reason reads as in messages ("P missing (NA)").
QString skipReasonText(SkippedRows::Reason reason);

struct ToolImportResult {
    // The import of the derived inputs. A failure in a file's header, or of its opening, leaves
    // the folder as it was; one in its rows fails the import as a bad results line does, the
    // earlier derived inputs and genome build staying in place.
    ImportResult import;
    qint64 rowsKept = 0;
    SkippedRows skipped;
    QStringList traits;              // per file, in file order
    bool derivedResultsKept = false; // DerivedResults written
    // SNPs whose ID another row wrote with other alleles, named ID:alleles; the first such row.
    qint64 renamedSnps = 0;
    QString firstRenamed;
};

// Converts and imports. `progress` sees the stage "Reading the association files" with the rows
// read, then runImport's stages. Rows a tool marks missing are skipped and counted, never an
// error; a line with a wrong field count, a number that is none, a p-value of 0, below 0 or
// above 1, two files giving one trait name, files whose columns differ, and a SNP ID found at
// two positions with the same alleles are errors naming the file(s) and line(s) (1-based, the
// header being line 1). An ID seen again with other alleles names another SNP, ID:alleles
// (rs1:A:T), so no row's effect is shown under another row's alleles.
ToolImportResult runToolImport(const QString &folder, const ToolImportInputs &inputs,
                               const ImportProgress &progress = {});

// The closing report of a tool import: the rows kept and, per reason, the rows skipped; then
// for the p-values that single precision stores as 0 under P, that -log10(P) keeps them.
// Lines end with "\n".
QString toolImportReport(const ToolImportResult &result);

} // namespace quillmap
