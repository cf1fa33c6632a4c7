#pragma once

#include "dataset/dataset.h"
#include "dataset/genomebuild.h"
#include "dataset/result.h"
#include "dataset/rowrecord.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QtGlobal>

#include <optional>
#include <vector>

// The reads of the result tables (one trait's records from table1.dat, one region's from
// table2.dat) and the region search of the position panel: one whole megabase of one
// chromosome, every result record of table2.dat whose SNP lies in it, ranked by trait. No
// dialogs here: failures carry the exact message the panel shows.
namespace quillmap {

// The records of one trait or one region, in file order. Row k has rowNumber k; its E extra
// statistics are extraStats[k * E .. k * E + E - 1].
struct ResultRows {
    std::vector<RowRecord> rows;
    std::vector<float> extraStats;
    int extraCount = 0;
    // Where the SNP information file places row k's SNP: chromosome (23 for X; 0 for none) and
    // Mb. Filled by the reads, which place every SNP for their checks; empty in rows made
    // otherwise.
    std::vector<quint8> chromosomes;
    std::vector<float> positions;

    int count() const { return int(rows.size()); }
    // Statistic s of row k: the first statistic for s = 0, extra statistic s otherwise.
    float statistic(int k, int s) const;
    // Row k's extra statistics (null when there are none).
    float *extraOf(int k);
};

// One run of records of a result table: trait `key`'s in table1.dat or bin `key`'s in
// table2.dat, `count` records from record `first` (the offset rule).
struct RecordRun {
    using Table = ResultTable;
    Table table = Table::Traits;
    int key = 0;
    qint64 first = 0;
    int count = 0;
};

// The one read behind every reader of the result tables: reads `run` from the dataset's held
// table into `out`, reusing its vectors and `scratch`, and checks every record: its trait and SNP
// are listed, it belongs to the run's trait or bin, and its SNP lies where the SNP information
// file placed it at import (a trait's SNP in a bin that has records, a bin's SNP in that bin).
// The table's errors (MissingFile, Reimported; see Dataset::table), or Damaged naming the
// dataset folder for a run the table does not hold or a record that fails a check. `opened`,
// when given, is the table as an earlier call found it: a read in parts then reads one file
// throughout, even when the folder is imported again meanwhile.
std::optional<Error> readRecordRun(const Dataset &dataset, const RecordRun &run, ResultRows &out,
                                   QByteArray &scratch, const Dataset::OpenTable *opened = nullptr);

// Reads the records of trait `traitName` from table1.dat by the offset rule (ID_Line.dat
// counts). Fails as readRecordRun, and with NoRecords for a name without counts.
Result<ResultRows> readTrait(const Dataset &dataset, const QString &traitName);
// The same into `out`, reusing its vectors (a panel showing one trait after another); NoRecords
// leaves `out` as it was.
std::optional<Error> readTraitInto(const Dataset &dataset, const QString &traitName, ResultRows &out);

} // namespace quillmap

namespace quillmap::bypos {

using RegionRows = ResultRows;

// Chromosome names of the panel's chromosome choice, in order: "1".."22", "X".
QStringList chromosomeNames();

// The whole megabase at which chromosome `chromosome` ("1".."22" or "X") ends on `build`; a
// region at or beyond it is past the end. hg18 keeps the program's own table; on hg19 and hg38
// it is the chromosome's length rounded up to whole Mb, so the last partial megabase is inside.
// -1 for a name outside the table.
int chromosomeEnd(const QString &chromosome, GenomeBuild build = GenomeBuild::Hg18);

// "Chromosome1 ends at position 247", "Chromosome X ends at position 155".
QString chromosomeEndMessage(const QString &chromosome, GenomeBuild build = GenomeBuild::Hg18);

// Position bin of a region: 23000 + region for "X", otherwise chromosome x 1000 + region.
// `region` is in whole Mb.
int regionBin(const QString &chromosome, int region);

// The genome browser's view of the region [region Mb, region + 1 Mb) of a chromosome, on the
// UCSC database named after `build`.
QUrl genomeBrowserUrl(const QString &chromosome, qint64 region, GenomeBuild build = GenomeBuild::Hg18);

// Reads the records of `bin` from table2.dat: skips the records of all smaller bins
// (Pos_Line.dat counts) and reads the bin's own. Fails as readRecordRun, and with NoRecords
// ("There are no SNPs in this region!") for a bin without records.
Result<ResultRows> readRegion(const Dataset &dataset, int bin);

// The region's traits ranked by their largest transformed value. Group g is the g-th distinct
// trait index in ascending order; rank r (0-based) belongs to group order[r].
struct TraitRanking {
    std::vector<std::vector<double>> positions; // per group: positions in Mb of its points
    std::vector<std::vector<double>> values;    // per group: transformed values, parallel
    std::vector<std::vector<int>> records;      // per group: each point's row, parallel
    std::vector<double> maxima;                 // per rank: the group's largest value
    std::vector<int> order;                     // rank -> group
    QStringList groupNames;                     // per group: trait name
    double valueMax = -100.0;
    double valueMin = 100.0;
    // A transformed value was the missing value; the ranking is then incomplete.
    bool missingValue = false;
    float missingFrom = 0.0f; // the statistic whose transform gave it
    qint64 substituted = 0;   // rows plotted from the -log10 statistic standing in for p = 0

    int traitCount() const { return int(order.size()); }
};

// Ranks the rows for statistic choice `statistic` under transform `transform` (codes of
// applyTransform). A value of 0 that has no logarithm is taken from statistic `substitute`
// (a -log10 column of the same p-values, transformScore) when it is given. Empty rows give an
// empty ranking.
TraitRanking rankTraits(const RegionRows &region, const DatasetTables &tables, int statistic, int transform,
                        int substitute = -1);

// One line of the legend: the trait of a rank label and its groups from the trait group map,
// joined by ", ".
struct LegendEntry {
    QString trait;
    QString groups;
};
// The legend of the nine best-ranked traits, best first (entry k names label k + 1).
std::vector<LegendEntry> legendEntries(const TraitRanking &ranking, const DatasetTables &tables);

// legendEntries as an HTML table. Names are escaped.
QString legendHtml(const TraitRanking &ranking, const DatasetTables &tables);

// The panel's help page.
QString helpHtml();

} // namespace quillmap::bypos
