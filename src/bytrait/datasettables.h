#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <vector>

// The in-memory tables of an opened dataset, read once when the dataset is opened and read-only
// afterwards. Positions are in Mb; chromosome numbers are 1..23 ("X" is 23).
class DatasetTables
{
public:
    // ---- from summary.txt lines 1 to 5
    int extraStats = 0;          // E: statistic columns after the first
    int extraSnpColumns = 0;     // M: SNP information columns after SNP, chromosome, position
    qint64 recordSize = 12;      // 12 + 4E bytes
    QStringList columnHeaders;   // trait, SNP, "Chr", "Pos", M extra SNP titles, E+1 statistic names
    int tableColumnCount = 5;    // M + E + 5
    QStringList statisticNames;  // the E+1 statistic column names
    bool hasGroups = false;      // a trait group file is recorded on line 1
    QString resultsPath, snpInfoPath, traitInfoPath, groupPath;
    QStringList resultsHeader, snpInfoHeader;

    // ---- from the index files and the recorded input files
    QMap<QString, int> traitRecordCounts;       // ID_Line.dat: trait name -> records in table1.dat
    QMap<int, int> binRecordCounts;             // Pos_Line.dat: bin -> records in table2.dat
    QMap<QString, QStringList> traitGroupMap;   // trait group file: trait -> its groups
    QMap<QString, QStringList> groupTraitMap;   // Gene2ID.dat: group -> its traits
    QStringList snpNames;                       // SNPlist.dat; index = SNP index
    QStringList traitNames;                     // IDlist.dat; index = trait index
    QStringList traitInfoHeader;                // trait information file header fields
    QMap<QString, QStringList> traitInfoMap;    // trait -> the other fields of its line

    // ---- SNP information file, data line i (0-based)
    int snpLineCount() const;
    // Data line of a SNP name (the last line naming it); -1 when the name is not there.
    int snpLine(const QString &snpName) const;
    // The line's fields after the SNP name: [0] chromosome as written, [1] position text, then
    // the M extra columns. Empty for a line outside the file.
    QStringList snpFields(int line) const;
    int snpChromosome(int line) const;   // 23 for "X"
    double snpPosition(int line) const;  // Mb

    // SNP index (line of SNPlist.dat) of an exact name; -1 when absent.
    int snpIndexOf(const QString &snpName) const;

    // Offset rule: records of trait `traitIndex` in table1.dat start at record
    // traitFirstRecord() and number traitRecordCount(); the same for a bin in table2.dat.
    // Records are counted, not bytes: multiply by recordSize for the byte offset.
    qint64 traitFirstRecord(int traitIndex) const;
    int traitRecordCount(int traitIndex) const;
    qint64 binFirstRecord(int bin) const;   // records of all smaller bins
    int binRecordCount(int bin) const;      // 0 when the bin has no records

    // Storage of the SNP information file and the prefix sums, filled by DatasetLoader.
    QString snpInfoText;                    // all data lines concatenated, without line ends
    std::vector<qint64> snpLineOffsets;     // line i spans [offsets[i], offsets[i+1])
    std::vector<int> snpChromosomes;
    std::vector<double> snpPositions;
    QMap<QString, int> snpLineMap;          // SNP name -> data line
    std::vector<qint64> traitPrefix;        // traitPrefix[i] = records of traits 0..i-1
};

// The tables of the dataset being browsed: one set per run, filled by the trait panel.
DatasetTables &datasetTables();
