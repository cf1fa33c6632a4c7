#pragma once

#include <QHash>
#include <QString>
#include <QtGlobal>

#include <utility>

// Where each trait itself lies (an expression trait's gene, say), read from the trait
// information file's columns named like chr/chrom and start/pos/position/tss, and whether a
// variant lies near it (cis) or not (trans). GUI-free.
namespace quillmap {

class DatasetTables;

class TraitLocations final
{
public:
    enum class Relation { Unknown, Cis, Trans };

    // A variant's place relative to a trait: cis within the window on the trait's chromosome,
    // trans elsewhere; the distance in bp on the same chromosome (-1 on another or unknown).
    struct Placement {
        Relation relation = Relation::Unknown;
        qint64 distanceBp = -1;
    };

    static constexpr qint64 DefaultCisWindowBp = 1000000;

    // The locations of the dataset's trait information file; none when it lacks either column.
    // A position below 1,000 is read in Mb, the dataset's own unit; a larger one in bp.
    static TraitLocations fromTables(const DatasetTables &tables);

    bool available() const { return !m_locations.isEmpty(); }
    // The chromosome (1-23) and bp of trait `trait`; chromosome 0 when unknown.
    std::pair<int, qint64> locationOf(const QString &trait) const;
    // Where a variant on `chromosome` at `bp` stands to trait `trait`: cis when the distance is
    // at most `cisWindowBp`.
    Placement place(const QString &trait, int chromosome, qint64 bp, qint64 cisWindowBp) const;

    // "cis", "trans" or "" for unknown.
    static QString relationText(Relation relation);

private:
    QHash<QString, std::pair<int, qint64>> m_locations;
};

} // namespace quillmap
