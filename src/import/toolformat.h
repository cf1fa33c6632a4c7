#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <limits>
#include <optional>
#include <vector>

// The association tools' own output formats: names, header recognition, column layout, line
// splitting and trait names. The reading of whole files is in toolimport.h.
namespace quillmap {

enum class ToolFormat {
    Plink2,  // --glm: PREFIX.PHENO.glm.linear, .glm.logistic, .glm.logistic.hybrid, .glm.firth
    Plink1,  // .assoc, .qassoc, .assoc.linear, .assoc.logistic (blank-aligned)
    Regenie, // step 2: PREFIX_PHENO.regenie (blank-separated, LOG10P and no P)
    GwasSsf, // the GWAS summary statistics format (TSV, "#NA" for missing values)
};

// "plink2", "plink1", "regenie" and "gwas-ssf", in the order of ToolFormat.
QStringList toolFormatNames();
QString toolFormatName(ToolFormat format);
std::optional<ToolFormat> toolFormatNamed(QStringView name);

// Splits a line as the format writes it: PLINK 2 and GWAS-SSF at every tab, PLINK 1 and REGENIE
// at runs of blanks and tabs, blanks before the first field ignored. After `maxFields` fields
// the rest of the line is one more field, so a line of millions of tabs costs no more than a
// good one; toolFieldCount counts them all without storing them.
void splitToolLine(ToolFormat format, QByteArrayView line, std::vector<QByteArrayView> &fields,
                   qsizetype maxFields = std::numeric_limits<qsizetype>::max());
qsizetype toolFieldCount(ToolFormat format, QByteArrayView line);

// True for the texts the tools write for a value they do not have: NA, ".", "#NA", "nan",
// "inf" (any case, signed) and an empty field.
bool isToolMissing(QByteArrayView field);

// Where one file's columns are, found by name in its header. -1: the file has no such column.
struct ToolColumns {
    int fieldCount = 0;
    int chromosome = -1;
    int position = -1; // base pairs
    int id = -1;       // GWAS-SSF: rsid
    int otherId = -1;  // GWAS-SSF: variant_id, used where rsid is missing
    int ref = -1;      // reference (other) allele
    int alt = -1;      // alternative (effect) allele
    int test = -1;     // rows whose TEST is not ADD are left out
    int p = -1;
    int negLog10P = -1; // -log10(P) as the tool wrote it
    // The effect columns the tool wrote, in this order when present: BETA or OR, its standard
    // error, the test statistic, the allele frequency. Header names as written.
    std::vector<int> effects;
    QList<QByteArray> effectNames;
    // The allele columns (ref, alt) present, with their header names.
    std::vector<int> alleles;
    QList<QByteArray> alleleNames;
};

// The columns of a header line in `format`. Without a value, `*missing` names what the header
// lacks to be that format's (for example "#CHROM").
std::optional<ToolColumns> toolColumns(ToolFormat format, QByteArrayView header, QString *missing);

// The format a file whose first line is `header` is written in, if any of the four.
std::optional<ToolFormat> recogniseToolFormat(QByteArrayView header);

// The format of the file at `path` (gzip or zstd decompressed), judged by its header line (the
// first line not starting with "##"); nothing when it is none of the four or cannot be read.
std::optional<ToolFormat> recogniseToolFile(const QString &path);

// The trait each file holds, named after the file: PLINK 2 PREFIX.PHENO.glm.* and REGENIE
// PREFIX_PHENO.regenie give PHENO (PREFIX is what all the files' names share; a single file's
// PHENO is the text after its last "." or "_"; PLINK 2 files sharing no prefix each lose theirs
// up to the first "."), other files their name up to the first dot.
// A ".gz" or ".zst" ending is ignored.
QStringList toolTraitNames(ToolFormat format, const QStringList &paths);

} // namespace quillmap
