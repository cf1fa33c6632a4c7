#pragma once

#include "browse/significance.h"
#include "dataset/dataset.h"
#include "dataset/result.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <vector>

// Every trait at one variant or gene: what the user typed resolved to SNPs, and each trait's
// best row among them. Reads only the position bins the SNPs lie in. GUI-free.
namespace quillmap {

class VariantQuery final
{
public:
    enum class Kind { None, Snp, NearestSnp, Gene };

    // What a typed text names: a SNP (by a name the dataset holds, in any case, or written as
    // CHR:BP[:A1:A2] with or without "chr"), the nearest SNP to a position, or a gene of
    // pos2gene.dat with `windowBp` on both sides.
    struct Target {
        Kind kind = Kind::None;
        QString message;   // what was found (or why nothing), for the status line
        int snpIndex = -1; // Snp and NearestSnp
        QString snpName;
        QString geneName;
        int chromosome = 0; // 23 for X
        qint64 startBp = 0; // the SNP's position, or the gene's start minus the window
        qint64 endBp = 0;   // inclusive
    };

    // One trait's row: its best at the target (the smallest p, else the first row read).
    struct TraitRow {
        int traitIndex = 0;
        QString trait;
        QString groups; // joined by ", "
        int snpIndex = 0;
        QString snp;
        int chromosome = 0; // 23 for X
        qint64 positionBp = 0;
        std::vector<float> statistics; // every statistic as stored, first statistic first
        double score = 0.0;            // -log10 p; NaN without a p-value
    };

    struct Table {
        std::vector<TraitRow> rows; // by score, largest first; no p-value last
        int traitsWithout = 0;      // traits of the dataset without a row there
        PValueColumn pColumn;
    };

    static Target resolve(const Dataset &dataset, const QString &typed, qint64 windowBp = 0);
    // A gene of pos2gene.dat named `name` (any case) with `windowBp` on both sides; kind None
    // when the dataset has no such gene.
    static Target geneTarget(const Dataset &dataset, const QString &name, qint64 windowBp = 0);
    // Fails as the bin reads fail; an empty table (all traits without) is not a failure.
    static Result<Table> traitRows(const Dataset &dataset, const Target &target);

    // Up to `limit` SNP names that start with `prefix` (as typed, else in lower case), in name
    // order: a binary search in SNPlist.dat's sorted names (as snpIndexOf relies on), so a box
    // can complete on millions of names without listing them.
    static QStringList snpNamesStartingWith(const DatasetTables &tables, const QString &prefix, int limit);

    // The gene names of pos2gene.dat, sorted and each once, for completion.
    static QStringList geneNames(const QString &folder);

    // "chr19:45417984" for chromosome 19; "chrX:..." for 23.
    static QString locationText(int chromosome, qint64 bp);
};

} // namespace quillmap
