#pragma once

#include "dataset/result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QtGlobal>

#include <memory>
#include <utility>
#include <vector>

class QFile;

// Linkage disequilibrium from a PLINK 1 binary fileset (PREFIX.bed, .bim, .fam: the study's own
// genotypes or a reference panel). The .bim and .fam are read whole when the fileset is opened;
// of the .bed (often tens of GB) only the rows of the variants asked for are read. GUI-free.
namespace quillmap {

class LdReference final
{
public:
    // One variant of the .bim: chromosome 1..23 (X = 23; 0 for Y, MT and the like), position in
    // bp, ID and the two alleles as written.
    struct Variant {
        int chromosome = 0;
        qint64 bp = 0;
        double cm = 0; // genetic distance; 0 where the .bim leaves it out
        QByteArray id;
        QByteArray allele1;
        QByteArray allele2;
    };

    // Opens PREFIX.bed/.bim/.fam. Fails (kind MissingFile or Damaged, with the message a user
    // sees) when a file is missing, the .bed is not in variant-major mode or its size is not
    // that of the variants and samples the .bim and .fam list, or a .bim line has fewer than six
    // fields or a position that is not a whole number.
    static Result<std::shared_ptr<const LdReference>> open(const QString &prefix);

    // The fileset an import recorded for a dataset folder in RecordFile (one line: the prefix,
    // absolute); empty when none is recorded.
    static constexpr char RecordFile[] = "ld_reference.txt";
    static QString recordedPrefix(const QString &folder);
    // Records `prefix` (made absolute) in `folder`; an empty prefix removes the record.
    static Status record(const QString &folder, const QString &prefix);

    ~LdReference();
    LdReference(const LdReference &) = delete;
    LdReference &operator=(const LdReference &) = delete;

    QString prefix() const { return m_prefix; }
    qint64 sampleCount() const { return m_samples; }
    const std::vector<Variant> &variants() const { return m_variants; }

    // The variant of a dataset SNP: by ID; else by chromosome and position, with the same two
    // alleles in either order when `a1` and `a2` are given, or the only variant there when they
    // are not. -1 when none matches.
    int find(QByteArrayView id, int chromosome, qint64 bp, QByteArrayView a1 = {},
             QByteArrayView a2 = {}) const;

    // r2 of variant `index` with each of `others` (indexes into variants(); -1 gives NaN): the
    // squared Pearson correlation of allele counts over the samples with both genotypes
    // called, NaN where either variant does not vary among them or no sample has both. Reads
    // the rows asked for from the .bed in file order, in a few large reads. Fails (Damaged)
    // when the .bed cannot be read.
    Result<std::vector<double>> r2(int index, const std::vector<int> &others) const;

    // The recombination rate in cM/Mb between each variant of `chromosome` from the last one at
    // or before `fromBp` to `toBp` and the next one: (bp, rate) pairs in position order, each
    // rate holding until the next pair. Empty when the .bim gives no genetic distances there.
    std::vector<std::pair<qint64, double>> recombinationRates(int chromosome, qint64 fromBp,
                                                              qint64 toBp) const;

private:
    LdReference() = default;
    // The genotypes of one variant as bit planes over the samples: called, one copy of the
    // second allele (heterozygous), two copies.
    struct Planes {
        std::vector<quint64> called, one, two;
    };
    void planesOf(const char *row, Planes &planes) const;

    QString m_prefix;
    std::unique_ptr<QFile> m_bed;
    qint64 m_samples = 0;
    qint64 m_rowBytes = 0;
    std::vector<Variant> m_variants;
    std::vector<int> m_byPosition;                   // variants by chromosome and position
    QHash<QByteArray, int> m_byId;                   // first variant of each ID
    QHash<QPair<int, qint64>, QList<int>> m_byPlace; // (chromosome, bp) -> variants there
};

} // namespace quillmap
