#include "dataset/traitscan.h"

#include "dataset/datasetfiles.h"
#include "dataset/datasetloader.h"
#include "dataset/datasettables.h"
#include "dataset/resultrecord.h"

#include <QFile>

namespace quillmap {

float TraitRows::statistic(int k, int s) const
{
    if (s <= 0 || s > extraCount)
        return rows[size_t(k)].firstStat;
    return extraStats[size_t(k) * size_t(extraCount) + size_t(s - 1)];
}

TraitScanOutcome scanTraits(const QString &folder, const DatasetTables &tables, int firstTrait,
                            int lastTrait, const std::function<bool(const TraitRows &)> &visit)
{
    TraitScanOutcome outcome;
    // Large sequential reads: the file's own buffer would only add a copy.
    QFile file(files::datasetFilePath(folder, files::TraitTable));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        outcome.status = TraitScanOutcome::Status::MissingTable;
        outcome.message = QStringLiteral("The file %1 is not found! Please reload the dataset!")
                              .arg(QLatin1StringView(files::TraitTable));
        return outcome;
    }
    const auto damaged = [&](const QString &detail) {
        outcome.status = TraitScanOutcome::Status::Damaged;
        outcome.message = damagedDatasetMessage(folder, detail);
        return outcome;
    };

    const int extra = tables.extraStats;
    const qint64 size = recordSize(extra);
    const qint64 traitTotal = tables.traitNames.size();
    const qint64 snpTotal = tables.snpNames.size();
    firstTrait = std::max(firstTrait, 0);
    lastTrait = int(std::min<qint64>(lastTrait, traitTotal));
    TraitRows trait;
    trait.extraCount = extra;
    QByteArray bytes;
    qint64 filePos = -1;
    for (int t = firstTrait; t < lastTrait; ++t) {
        const int count = tables.traitRecordCount(t);
        const qint64 first = tables.traitFirstRecord(t);
        if (count <= 0 || first < 0)
            continue;
        const qint64 want = qint64(count) * size;
        if (first * size != filePos && !file.seek(first * size))
            return damaged(QStringLiteral("table1.dat holds fewer records than ID_Line.dat lists."));
        bytes.resize(want);
        if (file.read(bytes.data(), want) != want)
            return damaged(QStringLiteral("table1.dat holds fewer records than ID_Line.dat lists."));
        filePos = first * size + want;

        trait.traitIndex = t;
        trait.rows.resize(size_t(count));
        trait.extraStats.resize(size_t(count) * size_t(extra));
        const char *in = bytes.constData();
        for (int k = 0; k < count; ++k, in += size) {
            const RecordHead head = decodeRecord(
                in, extra ? trait.extraStats.data() + size_t(k) * size_t(extra) : nullptr, extra);
            if (head.snpIndex < 0 || head.snpIndex >= snpTotal)
                return damaged(QStringLiteral("table1.dat refers to a trait or SNP that is not listed."));
            if (head.traitIndex != t)
                return damaged(QStringLiteral("table1.dat holds a record of another trait where ID_Line.dat places %1.")
                                   .arg(tables.traitNames.value(t)));
            trait.rows[size_t(k)] = RowRecord{head.traitIndex, head.snpIndex, head.firstStat, k};
        }
        if (!visit(trait))
            break;
    }
    return outcome;
}

} // namespace quillmap
