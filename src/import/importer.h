#pragma once

#include <QString>

#include <functional>

// Paths of the five input files of an import; an empty optional path means "not chosen".
struct ImportInputs {
    QString results;    // required: trait, SNP, statistics...
    QString snpInfo;    // required: SNP, chromosome, position (Mb), extra columns...
    QString traitInfo;  // required: trait, trait columns...
    QString groups;     // optional: trait, group names...
    QString genes;      // optional: gene, chromosome, start, end
};

// Outcome of an import. On failure errorText is the text shown to the user (after "There is
// error when loading the data, please check summary.txt for details.\n"), and summary.txt holds
// lines 1 to 5 and the error line.
struct ImportResult {
    bool failed = false;
    QString errorText;
};

// Called now and then while the builders run: a short stage text and the data lines read so far
// in that stage. Runs on the importing thread.
using ImportProgress = std::function<void(const QString &stage, qint64 rowsRead)>;

// Runs the whole import into `folder` (which must exist): first pass, second pass, then the group
// builder when inputs.groups is set and the gene builder when inputs.genes is set. Paths are
// written to summary.txt line 1 exactly as given.
ImportResult runImport(const QString &folder, const ImportInputs &inputs,
                       const ImportProgress &progress = {});
