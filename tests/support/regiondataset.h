#pragma once

#include "dataset/genomebuild.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace quillmap {
class Dataset;
}

// Small datasets for the position panel's tests: the input files are written into a folder and
// imported with the program's own import, then loaded as the program loads them.
struct TestSnp {
    QString name;
    QString chromosome;
    double position = 0.0; // Mb
    QStringList extra;
};

struct TestResult {
    QString trait;
    QString snp;
    QList<double> stats; // first statistic, then the extra ones
};

struct TestDataset {
    QStringList statNames{QStringLiteral("pvalue")};
    QStringList snpExtraNames;
    QList<TestSnp> snps;
    QList<TestResult> results;
    // trait -> its groups; a trait group file is imported only when this is set.
    QList<QPair<QString, QStringList>> groups;
    bool withGroups = false;
    // Written verbatim as pos2gene.dat after the import when not empty.
    QString binGenes;
    // Written verbatim as the trait information file when not empty.
    QString traitInfo;
    // Recorded after the import, as the indexer's --build does.
    std::optional<quillmap::GenomeBuild> build;
};

// Imports `data` into `dir`/dataset and loads it into `loaded`; the folder becomes the current
// dataset folder. Returns an empty string on success, otherwise what went wrong.
QString buildDataset(const QString &dir, const TestDataset &data,
                     std::shared_ptr<const quillmap::Dataset> &loaded);

// Path of the built dataset folder in `dir`.
QString datasetFolder(const QString &dir);

// Writes a PLINK 1 binary fileset: PREFIX.bim as `bim`, PREFIX.fam of `samples` samples and
// PREFIX.bed of the variant-major `rows` (each row's bytes as PLINK writes them) after its magic.
// Returns an empty string on success, otherwise what went wrong.
QString writeLdFileset(const QString &prefix, const QByteArray &bim, int samples, const QByteArray &rows);
