#pragma once

#include "dataset/datasettables.h"
#include "dataset/genomebuild.h"
#include "dataset/result.h"

#include <QString>
#include <QtGlobal>

#include <memory>

namespace quillmap {

// The two result tables of a dataset folder: table1.dat (records by trait) and table2.dat
// (records by position bin).
enum class ResultTable { Traits, Bins };

// One opened dataset: its tables, names, SNP index and genome build, and its two result tables
// held open from the load on. Immutable and shared: the main window, every panel, the table
// model and the tools get the same value; two datasets may be open at once.
//
// Every read of records goes through the held tables, so a reader never joins the names of one
// import to the records of another. A folder imported again after the load is noticed at the
// next read (the table's path names another file than the one held) and refused with "The
// dataset in FOLDER was imported again; reload it".
class Dataset final
{
public:
    // Loads `folder` with DatasetLoader's checks and messages and keeps table1.dat and
    // table2.dat open. Fails with the loader's error, or when the folder was imported again
    // while it was being loaded.
    static Result<std::shared_ptr<const Dataset>> load(const QString &folder);
    // A dataset that could not be loaded: no tables, no records; every read says the table is
    // not found. Lets a window stand inert after the load failure was reported.
    static std::shared_ptr<const Dataset> unloaded(const QString &folder);

    Dataset(const Dataset &) = delete;
    Dataset &operator=(const Dataset &) = delete;
    ~Dataset();

    const QString &folder() const { return m_folder; }
    const DatasetTables &tables() const { return m_tables; }
    GenomeBuild build() const { return m_tables.build; }
    bool isLoaded() const { return m_tables.loaded; }

    // The held table, after checking that its path still names it.
    struct OpenTable {
        int fd = -1;
        qint64 size = 0; // bytes
    };
    // MissingFile ("The file table1.dat is not found! Please reload the dataset!") when the
    // table's path names no regular file; Reimported when it names another file than the one
    // opened at load (or one appeared where none was).
    Result<OpenTable> table(ResultTable which) const;

    // "The dataset in FOLDER was imported again; reload it"
    static QString reimportedMessage(const QString &folder);

private:
    explicit Dataset(QString folder);

    // Who a file is: device, inode, size and modification time as stat gives them.
    struct Identity {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = -1;
        qint64 modifiedNs = 0;
        bool operator==(const Identity &) const = default;
    };
    struct Held {
        int fd = -1; // -1: there was no table at load
        Identity identity;
    };
    void hold(ResultTable which);
    // Whether each table's path still names what is held (or still nothing).
    bool stillHeld() const;
    const Held &held(ResultTable which) const;

    QString m_folder;
    DatasetTables m_tables;
    Held m_traitTable;
    Held m_binTable;
};

} // namespace quillmap
