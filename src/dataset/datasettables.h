#pragma once

#include "dataset/genomebuild.h"

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "dataset/snpinfoindex.h"

#include <functional>
#include <memory>
#include <vector>

namespace quillmap {

// The in-memory tables of an opened dataset, read once when the dataset is opened and read-only
// afterwards (a Dataset holds them). Positions are in Mb; chromosome numbers are 1..23 ("X" is 23).
class DatasetTables
{
public:
    // ---- from summary.txt lines 1 to 5
    int extraStats = 0;         // E: statistic columns after the first
    int extraSnpColumns = 0;    // M: SNP information columns after SNP, chromosome, position
    qint64 recordSize = 12;     // 12 + 4E bytes
    QStringList columnHeaders;  // trait, SNP, "Chr", "Pos", M extra SNP titles, E+1 statistic names
    int tableColumnCount = 5;   // M + E + 5
    QStringList statisticNames; // the E+1 statistic column names
    bool hasGroups = false;     // a trait group file is recorded on line 1
    QString folder;             // the dataset folder
    QString resultsPath, snpInfoPath, traitInfoPath, groupPath;
    QStringList resultsHeader, snpInfoHeader;
    qint64 summaryTraitCount = -1;                             // "Trait Num" of line 6
    qint64 summarySnpCount = -1;                               // "SNP Num" of line 7
    quillmap::GenomeBuild build = quillmap::GenomeBuild::Hg18; // genome_build.txt

    // ---- from the index files and the recorded input files
    QMap<QString, int> traitRecordCounts;     // ID_Line.dat: trait name -> records in table1.dat
    QMap<int, int> binRecordCounts;           // Pos_Line.dat: bin -> records in table2.dat
    QMap<QString, QStringList> traitGroupMap; // trait group file: trait -> its groups
    QMap<QString, QStringList> groupTraitMap; // Gene2ID.dat: group -> its traits
    quillmap::SnpNameList snpNames;           // SNPlist.dat; index = SNP index
    QStringList traitNames;                   // IDlist.dat; index = trait index
    QStringList traitInfoHeader;              // trait information file header fields
    QMap<QString, QStringList> traitInfoMap;  // trait -> the other fields of its line

    // True once a dataset was read completely.
    bool loaded = false;

    // ---- SNP information file, data line i (0-based)
    int snpLineCount() const;
    // Data line of a SNP name (the last line naming it); -1 when the name is not there.
    int snpLine(const QString &snpName) const;
    // Data line of the SNP with this SNP index (line of SNPlist.dat); -1 when the index is out of
    // range or the SNP has no line in the SNP information file.
    int snpLineOfIndex(int snpIndex) const;
    // The line's fields after the SNP name: [0] chromosome as written, [1] position text, then
    // the M extra columns. Empty for a line outside the file.
    QStringList snpFields(int line) const;
    // The whole data line as read (fields joined by tabs, no line end); empty outside the file.
    QString snpLineText(int line) const;
    int snpChromosome(int line) const;  // 23 for "X"; 0 outside the file
    double snpPosition(int line) const; // Mb; 0 outside the file
    // snpChromosome() and snpPosition() of each row's SNP at once; NaN Mb for a SNP without a line.
    void placeRows(const RowRecord *rows, size_t count, int *chromosomes, double *positions) const;

    // Many at once, for a sort over a whole trait: read in file order, a few large reads
    // instead of one a line. The names of `snpIndexes` (empty for an index out of range), and
    // the data lines `lines` handed to `use` with their place in `lines` (empty outside the file).
    std::vector<QString> snpNamesOf(const std::vector<qint32> &snpIndexes) const;
    void readSnpLines(const std::vector<qint32> &lines,
                      const std::function<void(size_t, QByteArrayView)> &use) const;

    // True when SNP index order is name order (SNPlist.dat strictly ascending in code units, as
    // the import writes it), so a sort by SNP name can sort indexes. Read once, on first call.
    bool snpIndexIsNameOrder() const;

    // The SNP information index behind the calls above; null before loading.
    const quillmap::SnpInfoIndex *snpInfoIndex() const { return m_snp.get(); }

    // SNP index (line of SNPlist.dat) of an exact name; -1 when absent.
    int snpIndexOf(const QString &snpName) const;

    // Offset rule: records of trait `traitIndex` in table1.dat start at record
    // traitFirstRecord() and number traitRecordCount(); the same for a bin in table2.dat.
    // Records are counted, not bytes: multiply by recordSize for the byte offset.
    // A trait is found by name in ID_Line.dat; the first record is the sum of the counts of all
    // names that sort before it. -1 / 0 for a trait index or name without counts.
    qint64 traitFirstRecord(int traitIndex) const;
    int traitRecordCount(int traitIndex) const;
    qint64 traitFirstRecord(const QString &traitName) const;
    qint64 binFirstRecord(int bin) const; // records of all smaller bins
    int binRecordCount(int bin) const;    // 0 when the bin has no records
    // Whether Pos_Line.dat gives `bin` records; as binRecordCount(bin) > 0, without a search.
    bool binHasRecords(int bin) const
    {
        const size_t slot = size_t(qint64(bin) + 32768);
        return slot < m_binHasRecords.size() && m_binHasRecords[slot];
    }

    // Total records listed by ID_Line.dat and Pos_Line.dat.
    qint64 traitRecordTotal() const { return m_traitTotal; }
    qint64 binRecordTotal() const { return m_binTotal; }

    // Forgets everything (a fresh, unloaded set).
    void clear();

private:
    friend class DatasetLoader;

    // Called by the loader once every table is read: prefix sums and lookup tables.
    void finishLoading();

    // The SNP information file and SNPlist.dat, mapped from the dataset folder's cache.
    std::shared_ptr<const quillmap::SnpInfoIndex> m_snp;
    QHash<QString, qint64> m_traitFirst; // trait name -> first record in table1.dat
    std::vector<int> m_bins;             // bins of Pos_Line.dat, ascending
    std::vector<qint64> m_binFirst;      // parallel: first record of each bin
    mutable int m_snpNameOrder = -1;     // snpIndexIsNameOrder(): -1 not yet known
    std::vector<bool> m_binHasRecords;   // by bin + 32768 (bins are 16-bit)
    qint64 m_traitTotal = 0;
    qint64 m_binTotal = 0;
};

} // namespace quillmap
