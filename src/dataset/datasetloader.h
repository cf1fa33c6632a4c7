#pragma once

#include <QString>

#include <vector>

namespace quillmap {

class DatasetTables;

// Loads a dataset folder into DatasetTables in three steps: the description (summary.txt lines
// 1 to 5), opening every dataset file in the fixed order, then reading them. A failure carries
// the exact message the user sees (e.g. "The file table1.dat is not found! Please reload the
// dataset!"); the caller shows it. Nothing here shows a dialog.
struct LoadOutcome {
    bool ok = true;
    QString message;
};

// "The dataset in FOLDER is damaged: DETAIL Please reload the dataset!" (DETAIL ends with a
// full stop). Used for files whose content contradicts the other files.
QString damagedDatasetMessage(const QString &folder, const QString &detail);

class DatasetLoader
{
public:
    explicit DatasetLoader(QString folder);

    // Clears `tables`, then fills E, M, the record size, the column headers, the statistic
    // names, the group flag and the three input file paths. Fails when summary.txt is missing,
    // has fewer than five lines, fewer than three paths on line 1, counts on lines 4 and 5 that
    // are not numbers or do not match the headers, or lacks the two count lines of a finished
    // import (lines 6 and 7).
    LoadOutcome readDescription(DatasetTables &tables);
    // Opens every dataset file in the fixed order (trait group file and Gene2ID.dat when the
    // group flag is set, ID_Line.dat, trait information, SNP information, Pos_Line.dat,
    // SNPlist.dat, IDlist.dat) and reports the first that cannot be opened. Reads nothing.
    LoadOutcome openDatasetFiles(const DatasetTables &tables) const;
    // Opens and reads all files; stops at the first that cannot be opened or is damaged. Damaged
    // means anything the offset rule could not trust: a count line that is not "name<TAB>count"
    // or "bin<TAB>count", ID_Line.dat and IDlist.dat listing different traits, name lists of
    // another length than summary.txt counts, a SNP without a line in the SNP information file,
    // count files with different totals, table1.dat / table2.dat of another length than their
    // counts (when present), or a trait's or bin's first or last record not being its own.
    // On failure the tables keep their description and nothing else (never half a dataset).
    LoadOutcome readDatasetFiles(DatasetTables &tables);
    // Both steps.
    LoadOutcome load(DatasetTables &tables);

private:
    struct Wanted {
        QString path;
        QString message;
    };
    std::vector<Wanted> wantedFiles(const DatasetTables &tables) const;

    QString m_folder;
};

} // namespace quillmap
