#pragma once

#include <QString>

class DatasetTables;

// Loads a dataset folder into DatasetTables in three steps: the description (summary.txt lines
// 1 to 5), opening every dataset file in the fixed order, then reading them. A failure carries
// the exact message the user sees (e.g. "The file table1.dat is not found! Please reload the
// dataset!"); the caller shows it. Nothing here shows a dialog.
struct LoadOutcome {
    bool ok = true;
    QString message;
};

class DatasetLoader
{
public:
    explicit DatasetLoader(QString folder);

    LoadOutcome readDescription(DatasetTables &tables);
    // Opens and reads all files; stops at the first that cannot be opened or is damaged.
    LoadOutcome readDatasetFiles(DatasetTables &tables);

private:
    QString m_folder;
};
