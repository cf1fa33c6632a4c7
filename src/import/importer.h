#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include "import/importerror.h"

#include <functional>
#include <optional>

namespace quillmap {

// Paths of the five input files of an import; an empty optional path means "not chosen".
struct ImportInputs {
    QString results;   // required: trait, SNP, statistics...
    QString snpInfo;   // required: SNP, chromosome, position (Mb), extra columns...
    QString traitInfo; // required: trait, trait columns...
    QString groups;    // optional: trait, group names...
    QString genes;     // optional: gene, chromosome, start, end
    // Results columns (header names, statistics only) stored as -log10 of their p-values and
    // named "-log10(NAME)" in the dataset; computed from the text, so values below the double
    // range keep their magnitude. A value of 0, below 0 or above 1 fails the import.
    QStringList negLog10Columns;
    // Bytes the result rows may take in memory; beyond it they are spilled to sorted runs in the
    // dataset folder and merged while the tables are written (the same bytes either way).
    // 0: a quarter of physical memory, at least 256 MiB.
    qint64 memoryLimit = 0;
    // Tests and fuzzers: inputs held in memory, by path. A path found here is read from these
    // bytes (as they are, never decompressed) and not opened; summary.txt records it as given.
    QHash<QString, QByteArray> inMemory = {};
};

// A statistics column some of whose nonzero values single precision keeps only as 0 or as a
// subnormal: how many, and the first data line (1-based) holding one.
struct LostValues {
    QString column;
    qint64 count = 0;
    qint64 firstLine = 0;
};

// Outcome of an import. On failure errorText is the text shown to the user (after "There is
// error when loading the data, please check summary.txt for details.\n"), and summary.txt holds
// lines 1 to 5 and the error line.
struct ImportResult {
    // Why an import failed (see ImportFailure).
    using Failure = ImportFailure;

    bool failed = false;
    QString errorText;
    Failure failure = Failure::None;
    // Counts of a successful import: results data lines, distinct traits, distinct SNPs.
    qint64 rows = 0;
    qint64 traits = 0;
    qint64 snps = 0;
    // Statistics columns that lost values to single precision, in column order; set also
    // when the import failed after reading the whole results file.
    QList<LostValues> lost;
};

// The closing warning about `lost` (empty when nothing was lost): per column its count and
// first line, and the --neglog10 option that keeps such p-values. Lines end with "\n".
QString lostValuesNotice(const QList<LostValues> &lost);

// The stages of an import, in the order they run: Results to Genes (Groups and Genes only when
// their file was chosen), led by ToolFiles in a tool import (reading the association files into
// the files the import then reads).
enum class ImportStage { ToolFiles, Results, TraitInfo, SnpInfo, Tables, Groups, Genes };

// A short text naming the stage for a progress display, e.g. "Reading the results file".
QString importStageText(ImportStage stage);

// Called now and then while the builders run: the stage and the data lines read so far in it.
// Runs on the importing thread. Each stage is announced once with 0 rows before its first line;
// then the count goes up in steps of 65536 data lines (for Tables: records written to table1.dat
// and table2.dat together, 2R in all).
using ImportProgress = std::function<void(ImportStage stage, qint64 rowsRead)>;

// Runs the whole import into `folder` (which must exist): first pass, second pass, then the group
// builder when inputs.groups is set and the gene builder when inputs.genes is set. Paths are
// written to summary.txt line 1 exactly as given.
//
// Every dataset file is written through a temporary file renamed into place (AtomicFile): a
// symbolic link planted in the folder is replaced, never written through, and a write that
// fails (a full disk) fails the import. The folder is locked for the whole import (the lock file
// .quillmap-import.lock, removed at the end). Gene2ID.dat and pos2gene.dat are removed when their
// input was not chosen. While the import
// runs, summary.txt holds lines 1 to 5 and an error line, so an interrupted import never leaves
// a folder that looks complete; its final form is written last. The results file is read once:
// the result rows are held in memory (8 + 4 x (E + 1) bytes each) up to the memory limit and
// spilled to sorted runs beyond it (RunSpill) until the tables are written.
ImportResult runImport(const QString &folder, const ImportInputs &inputs,
                       const ImportProgress &progress = {});

// One result row as a results file line would give it: the trait and SNP names, then the E + 1
// statistics and, per statistic, whether single precision kept a nonzero value only as 0 or as
// a subnormal. Valid until the next row is asked for.
struct ResultRow {
    QByteArrayView trait;
    QByteArrayView snp;
    const float *stats = nullptr;
    const char *lost = nullptr;
    // Ids a feed may know, so the import need not look the names up: the number of distinct
    // trait (SNP) names in the rows before the name's first row. -1: look the name up.
    qint32 traitId = -1;
    qint32 snpId = -1;
};

// Rows handed to the import in place of its reading the results file, by a caller that has
// parsed them already. The files named in ImportInputs stay those summary.txt records: the feed
// writes the results file (the same rows in the same order, their numbers as the text gives
// them) and the SNP information file as it hands the rows, so that the dataset is byte for byte
// what an import of those files gives.
class ResultFeed
{
public:
    virtual ~ResultFeed() = default;
    // The first lines of the results and SNP information files, without their line feeds.
    virtual QByteArray resultsHeader() const = 0;
    virtual QByteArray snpInfoHeader() const = 0;
    // The next row; false at the end of the rows or on a failure.
    virtual bool next(ResultRow &row) = 0;
    // Once next() returned false: true when every row was handed and the results, SNP
    // information and trait information files are now whole on disk; otherwise error() says why
    // (its report line may hold line breaks, which summary.txt gets as spaces).
    virtual bool finish() = 0;
    virtual ImportError error() const = 0;
};

// runImport with the results rows from `feed`. The trait information file is opened once the
// rows are read, when the feed has written it.
ImportResult runImport(const QString &folder, const ImportInputs &inputs, ResultFeed &feed,
                       const ImportProgress &progress = {});

// Called with the folder at the end of every import that finished (summary.txt complete), to
// write what the readers cache beside the dataset files (the per-trait summaries). The programs
// set it: the import cannot reach the listings' code. Null: nothing is called.
using ImportFinishedHook = void (*)(const QString &folder);
void setImportFinishedHook(ImportFinishedHook hook);

// False for a path that holds a tab, line feed or carriage return: summary.txt could record it
// but not give it back, so the import refuses such folders and inputs.
bool importPathUsable(const QString &path);

// The most results data lines an import accepts: 2^31 - 1, as row numbers are 32-bit. Beyond it
// the import fails with "error : the results file has more than N data lines!". Tests lower the
// limit to reach that refusal without billions of lines; a value below 1 restores it.
qint64 maxResultRows();
void setMaxResultRowsForTesting(qint64 rows);
// Tests set the memory limit in rows held before a run is spilled, and the rows of a run sorted
// after the spill (0: as many); 0 goes back to the limit in bytes.
void setImportMemoryRowsForTesting(qint64 rows, qint64 sortedRunRows = 0);
// Tests make the spill bypass the page cache (1) or keep it (0); -1 goes back to the rule of its
// size (spillBypassesCache).
void setImportSpillBypassForTesting(int bypass);
// Tests set the bytes of the ranges a plain results file is parsed in on worker threads; -1
// reads it line by line on one thread, 0 goes back to the size from the memory limit.
void setImportRangeBytesForTesting(qint64 bytes);
// Tests set the free disk space the import sees before it spills or writes the tables; -1 goes
// back to the file system's figure.
void setFreeDiskBytesForTesting(qint64 bytes);
// Tests set the bytes of the window a table held in memory is encoded in (0: 32 MiB).
void setTableWindowBytesForTesting(qint64 bytes);
// Tests make the import run out of memory (std::bad_alloc) as it begins `stage`; nothing turns
// it off. quillmap-index takes the stage's number from QUILLMAP_TEST_OUT_OF_MEMORY.
void setImportOutOfMemoryForTesting(ImportStage stage);

} // namespace quillmap
