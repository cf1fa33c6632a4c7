#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Writes a small dataset folder the way an import would: summary.txt, the name lists, both
// result tables with their count files, the SNP and trait information files (and the trait group
// file with Gene2ID.dat when groups are given). Tests then damage or delete files on purpose.
struct DatasetFixture {
    struct Row {
        QString trait;
        QString snp;
        float stat = 0.0f;
        QList<float> extra; // E values
    };
    struct Snp {
        QString name;
        QString chromosome; // as written: "1".."23" or "X"
        QString position;   // Mb, as written
        QStringList extra;  // M values
    };

    QStringList resultsHeader{QStringLiteral("trait"), QStringLiteral("snp"), QStringLiteral("p")};
    QStringList snpHeader{QStringLiteral("SNP"), QStringLiteral("chr"), QStringLiteral("pos")};
    QList<Snp> snps;
    QList<Row> rows;
    QStringList traitInfoHeader{QStringLiteral("Trait"), QStringLiteral("Description")};
    QList<QStringList> traitInfo;  // lines after the header
    QList<QStringList> groupLines; // trait group file lines (trait, groups...)
    bool withGroups = false;

    // Writes everything into `folder` (created if needed); inputs go to folder + "/inputs".
    // Returns the dataset folder.
    QString write(const QString &folder) const;
    // Paths of the input files written by write().
    static QString snpInfoPath(const QString &folder);
    static QString traitInfoPath(const QString &folder);
    static QString groupPath(const QString &folder);

    // A fixture with two traits, three SNPs (one on X), E = 1, M = 1 and a group file.
    static DatasetFixture small();
};
