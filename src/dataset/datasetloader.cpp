#include "dataset/datasetloader.h"

#include "dataset/datasettables.h"
#include "dataset/datasetfiles.h"
#include "dataset/positionbin.h"
#include "dataset/snpinfoindex.h"
#include "io/linereader.h"
#include "io/regularfile.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cstring>
#include <optional>
#include <tuple>
#include <memory>
#include <utility>
#include <vector>

namespace quillmap {

using quillmap::files::datasetFilePath;

namespace {

QString notFound(const char *name)
{
    return QStringLiteral("The file %1 is not found! Please reload the dataset!").arg(QLatin1String(name));
}

QStringList splitFields(const char *line, qsizetype length)
{
    return QString::fromUtf8(line, length).split(QLatin1Char('\t'));
}

// Trait index (offset 0) or SNP index (offset 4) of record `record`; -1 when it cannot be read.
qint64 readIndexField(QFile &file, qint64 recordSize, qint64 record, int offset)
{
    char bytes[4];
    if (!file.seek(record * recordSize + offset) || file.read(bytes, 4) != 4)
        return -1;
    return qFromBigEndian<qint32>(bytes);
}

// The first and the last record of every trait must belong to it, and those of every bin must
// lie in it: with the tables sorted, that places every record. Empty when all is in place.
QString checkRecordPlacement(const DatasetTables &t, const QString &table1Path, const QString &table2Path)
{
    // Unbuffered: every probe is a seek, and a buffered file would refill 16 KiB for 4 bytes.
    QFile table1(table1Path);
    if (openRegularFile(table1, QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        for (int i = 0; i < t.traitNames.size(); ++i) {
            const qint64 first = t.traitFirstRecord(i);
            const int count = t.traitRecordCount(i);
            if (count <= 0)
                continue;
            if (readIndexField(table1, t.recordSize, first, 0) != i
                || readIndexField(table1, t.recordSize, first + count - 1, 0) != i)
                return QStringLiteral(
                           "table1.dat does not hold the records of %1 where ID_Line.dat places them.")
                    .arg(t.traitNames.at(i));
        }
    }
    QFile table2(table2Path);
    if (openRegularFile(table2, QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        for (auto it = t.binRecordCounts.cbegin(); it != t.binRecordCounts.cend(); ++it) {
            if (it.value() <= 0)
                continue;
            const qint64 first = t.binFirstRecord(it.key());
            for (qint64 record : {first, first + it.value() - 1}) {
                const qint64 snp = readIndexField(table2, t.recordSize, record, 4);
                const int line = snp >= 0 && snp < t.snpNames.size() ? t.snpLineOfIndex(int(snp)) : -1;
                const auto bin = line >= 0 ? quillmap::positionBin(t.snpChromosome(line), t.snpPosition(line))
                                           : std::nullopt;
                if (!bin || *bin != it.key())
                    return QStringLiteral(
                               "table2.dat does not hold the records of bin %1 where Pos_Line.dat places them.")
                        .arg(it.key());
            }
        }
    }
    return QString();
}

// Line `index` of SNPlist.dat (for a message; the tables hold only the lines found).
QString snpListName(const QString &path, qint64 index)
{
    QFile file(path);
    if (!openRegularFile(file))
        return QString();
    QString name;
    qint64 line = 0;
    forEachLine(file.readAll(), [&](const char *p, qsizetype n) {
        if (line++ == index)
            name = QString::fromUtf8(p, n);
    });
    return name;
}

DatasetTables descriptionOnly(const DatasetTables &tables)
{
    DatasetTables d;
    d.extraStats = tables.extraStats;
    d.extraSnpColumns = tables.extraSnpColumns;
    d.recordSize = tables.recordSize;
    d.columnHeaders = tables.columnHeaders;
    d.tableColumnCount = tables.tableColumnCount;
    d.statisticNames = tables.statisticNames;
    d.hasGroups = tables.hasGroups;
    d.resultsPath = tables.resultsPath;
    d.snpInfoPath = tables.snpInfoPath;
    d.traitInfoPath = tables.traitInfoPath;
    d.groupPath = tables.groupPath;
    d.folder = tables.folder;
    d.resultsHeader = tables.resultsHeader;
    d.snpInfoHeader = tables.snpInfoHeader;
    d.summaryTraitCount = tables.summaryTraitCount;
    d.summarySnpCount = tables.summarySnpCount;
    d.build = tables.build;
    return d;
}

} // namespace

QString damagedDatasetMessage(const QString &folder, const QString &detail)
{
    return QStringLiteral("The dataset in %1 is damaged: %2 Please reload the dataset!").arg(folder, detail);
}

DatasetLoader::DatasetLoader(QString folder)
    : m_folder(std::move(folder))
{
}

Status DatasetLoader::load(DatasetTables &tables)
{
    Status outcome = readDescription(tables);
    if (!outcome)
        return outcome;
    return readDatasetFiles(tables);
}

Status DatasetLoader::readDescription(DatasetTables &tables)
{
    auto damaged = [this](const QString &detail) {
        return Error{ErrorKind::Damaged, damagedDatasetMessage(m_folder, detail)};
    };

    // A new description starts a new dataset: nothing of an earlier one may stay behind.
    tables.clear();
    tables.folder = m_folder;
    QFile file(datasetFilePath(m_folder, quillmap::files::Summary));
    if (!openRegularFile(file))
        return Error{ErrorKind::MissingFile, notFound(quillmap::files::Summary)};
    const QByteArray data = file.readAll();
    QList<QStringList> lines;
    forEachLine(data, [&lines](const char *p, qsizetype n) {
        if (lines.size() < 7)
            lines.append(splitFields(p, n));
    });
    if (lines.size() < 5)
        return damaged(QStringLiteral("summary.txt has fewer than five lines."));

    QStringList paths = lines[0];
    if (paths.size() < 3)
        return damaged(QStringLiteral("summary.txt names fewer than three input files."));
    paths.removeFirst();
    tables.resultsPath = lines[0].first();
    tables.snpInfoPath = paths.at(0);
    tables.traitInfoPath = paths.at(1);
    tables.hasGroups = paths.size() == 3;
    tables.groupPath = tables.hasGroups ? paths.at(2) : QString();

    tables.resultsHeader = lines[1].mid(1);
    tables.snpInfoHeader = lines[2].mid(1);
    bool eOk = false;
    bool mOk = false;
    const int e = lines[3].size() == 2 ? lines[3].at(1).toInt(&eOk) : 0;
    const int m = lines[4].size() == 2 ? lines[4].at(1).toInt(&mOk) : 0;
    if (!eOk)
        return damaged(QStringLiteral("line 4 of summary.txt does not give the number of extra statistics."));
    if (!mOk)
        return damaged(
            QStringLiteral("line 5 of summary.txt does not give the number of extra SNP columns."));
    // The headers were written from the same files as the counts: they must agree exactly.
    if (e < 0 || m < 0 || tables.resultsHeader.size() != qint64(e) + 3
        || tables.snpInfoHeader.size() != qint64(m) + 3)
        return damaged(QStringLiteral("the column counts in summary.txt do not match its headers."));

    // Lines 6 and 7 exist only after a finished import; anything else is a folder that an
    // import left part way (or never finished writing).
    auto count = [&lines](int index, const char *label) -> qint64 {
        if (lines.size() <= index || lines[index].size() != 2 || lines[index].at(0) != QLatin1String(label))
            return -1;
        QString text = lines[index].at(1);
        if (!text.startsWith(QLatin1Char(' ')))
            return -1;
        bool ok = false;
        const qint64 value = text.mid(1).toLongLong(&ok);
        return ok && value >= 0 ? value : -1;
    };
    tables.summaryTraitCount = count(5, "Trait Num :");
    tables.summarySnpCount = count(6, "SNP Num :");
    if (tables.summaryTraitCount < 0 || tables.summarySnpCount < 0)
        return damaged(QStringLiteral("summary.txt does not end with the counts of a finished import."));

    tables.extraStats = e;
    tables.extraSnpColumns = m;
    tables.recordSize = 4 * qint64(e) + 12;
    tables.tableColumnCount = m + e + 5;
    tables.statisticNames = tables.resultsHeader.mid(2, e + 1);
    tables.columnHeaders = QStringList{tables.resultsHeader.at(0), tables.resultsHeader.at(1),
                                       QStringLiteral("Chr"), QStringLiteral("Pos")};
    tables.columnHeaders += tables.snpInfoHeader.mid(3, m);
    tables.columnHeaders += tables.statisticNames;

    const quillmap::Result<quillmap::GenomeBuild> build = quillmap::readGenomeBuild(m_folder);
    if (!build)
        return build.error();
    tables.build = *build;
    return success();
}

std::vector<DatasetLoader::Wanted> DatasetLoader::wantedFiles(const DatasetTables &tables) const
{
    using namespace quillmap::files;
    // Opening order, and the names the messages give the files.
    std::vector<Wanted> wanted;
    if (tables.hasGroups) {
        wanted.push_back({tables.groupPath, notFound("map_ID_Gene.dat")});
        wanted.push_back({datasetFilePath(m_folder, GroupTraits), notFound("map_Gene_ID.dat")});
    }
    wanted.push_back({datasetFilePath(m_folder, TraitCounts), notFound(TraitCounts)});
    wanted.push_back({tables.traitInfoPath, notFound("traitinfo.dat")});
    wanted.push_back({tables.snpInfoPath, notFound("snp_Pos.dat")});
    wanted.push_back({datasetFilePath(m_folder, BinCounts), notFound(BinCounts)});
    wanted.push_back({datasetFilePath(m_folder, SnpList), notFound(SnpList)});
    wanted.push_back({datasetFilePath(m_folder, TraitList), notFound(TraitList)});
    return wanted;
}

Status DatasetLoader::openDatasetFiles(const DatasetTables &tables) const
{
    for (const Wanted &w : wantedFiles(tables)) {
        QFile file(w.path);
        if (w.path.isEmpty() || !openRegularFile(file))
            return Error{ErrorKind::MissingFile, w.message};
    }
    return success();
}

Status DatasetLoader::readDatasetFiles(DatasetTables &tables)
{
    using namespace quillmap::files;

    const std::vector<Wanted> wanted = wantedFiles(tables);
    std::vector<std::unique_ptr<QFile>> files;
    for (const Wanted &w : wanted) {
        auto file = std::make_unique<QFile>(w.path);
        if (w.path.isEmpty() || !openRegularFile(*file)) {
            tables = descriptionOnly(tables);
            return Error{ErrorKind::MissingFile, w.message};
        }
        files.push_back(std::move(file));
    }
    size_t next = 0;
    // The input files were opened above only to be found; they are read below by path.
    const bool groupFile = tables.hasGroups && files[next++];
    QFile *gene2IdFile = tables.hasGroups ? files[next++].get() : nullptr;
    QFile *idLineFile = files[next++].get();
    next += 2; // trait and SNP information
    QFile *posLineFile = files[next++].get();
    QFile *snpListFile = files[next++].get();
    QFile *idListFile = files[next++].get();

    // Read into a fresh set so that a damaged dataset never leaves half-filled tables behind:
    // on failure the caller's tables keep the description and nothing else.
    DatasetTables fresh = descriptionOnly(tables);
    auto damaged = [this, &tables](const QString &detail) {
        tables = descriptionOnly(tables);
        return Error{ErrorKind::Damaged, damagedDatasetMessage(m_folder, detail)};
    };

    // Count files: "name<TAB>count" and "bin<TAB>count", each bin once. A line that is anything
    // else would shift every offset after it.
    QStringList countedTraits;
    qint64 badLine = 0;
    qint64 lineNumber = 0;
    forEachLine(idLineFile->readAll(), [&](const char *p, qsizetype n) {
        ++lineNumber;
        const QStringList f = splitFields(p, n);
        bool ok = f.size() == 2;
        const int count = ok ? f.at(1).toInt(&ok) : 0;
        if (badLine == 0 && (!ok || count < 0))
            badLine = lineNumber;
        countedTraits.append(f.at(0));
        fresh.traitRecordCounts.insert(f.at(0), count);
    });
    if (badLine > 0)
        return damaged(QStringLiteral("ID_Line.dat line %1 is not a name and a record count.").arg(badLine));
    lineNumber = 0;
    forEachLine(posLineFile->readAll(), [&](const char *p, qsizetype n) {
        ++lineNumber;
        const QStringList f = splitFields(p, n);
        bool binOk = f.size() == 2;
        bool countOk = false;
        const int bin = binOk ? f.at(0).toInt(&binOk) : 0;
        const int count = binOk ? f.at(1).toInt(&countOk) : 0;
        if (badLine == 0 && (!binOk || !countOk || count < 0 || fresh.binRecordCounts.contains(bin)))
            badLine = lineNumber;
        fresh.binRecordCounts.insert(bin, count);
    });
    if (badLine > 0)
        return damaged(QStringLiteral("Pos_Line.dat line %1 is not a bin and a record count.").arg(badLine));

    // The three input files are read as the import read them: gzip ones decompressed.
    QByteArray input;
    auto readInput = [&input](const QString &path) { return LineReader::readFile(path, input); };
    if (groupFile) {
        if (!readInput(tables.groupPath))
            return damaged(
                QStringLiteral("the trait group file %1 cannot be read to its end.").arg(tables.groupPath));
        forEachLine(input, [&](const char *p, qsizetype n) {
            QStringList f = splitFields(p, n);
            const QString key = f.takeFirst();
            fresh.traitGroupMap.insert(key, f);
        });
        forEachLine(gene2IdFile->readAll(), [&](const char *p, qsizetype n) {
            QStringList f = splitFields(p, n);
            const QString key = f.takeFirst();
            fresh.groupTraitMap.insert(key, f);
        });
    }

    if (!readInput(tables.traitInfoPath))
        return damaged(QStringLiteral("the trait information file %1 cannot be read to its end.")
                           .arg(tables.traitInfoPath));
    bool header = true;
    forEachLine(input, [&](const char *p, qsizetype n) {
        QStringList f = splitFields(p, n);
        if (header) {
            fresh.traitInfoHeader = f;
            header = false;
            return;
        }
        const QString key = f.takeFirst();
        fresh.traitInfoMap.insert(key, f);
    });

    {
        // Mapped from the folder's cache, built when missing or stale: a dataset of tens of
        // millions of SNPs opens without reading its SNP information file into memory.
        snpListFile->close();
        const quillmap::SnpInfoIndex::Opened snp = quillmap::SnpInfoIndex::open(
            m_folder, fresh.snpInfoPath, datasetFilePath(m_folder, SnpList));
        if (!snp.index)
            return damaged(snp.error);
        fresh.m_snp = snp.index;
        fresh.snpNames = quillmap::SnpNameList(snp.index);
    }

    {
        const QByteArray data = idListFile->readAll();
        fresh.traitNames.reserve(data.count('\n') + 1);
        forEachLine(data,
                    [&](const char *p, qsizetype n) { fresh.traitNames.append(QString::fromUtf8(p, n)); });
    }
    for (auto &file : files)
        file->close();

    fresh.finishLoading();

    if (countedTraits != fresh.traitNames)
        return damaged(QStringLiteral("ID_Line.dat and IDlist.dat do not list the same traits."));
    if (fresh.summaryTraitCount != fresh.traitNames.size())
        return damaged(QStringLiteral("summary.txt counts %1 traits, IDlist.dat lists %2.")
                           .arg(fresh.summaryTraitCount)
                           .arg(fresh.traitNames.size()));
    if (fresh.summarySnpCount != fresh.snpNames.size())
        return damaged(QStringLiteral("summary.txt counts %1 SNPs, SNPlist.dat lists %2.")
                           .arg(fresh.summarySnpCount)
                           .arg(fresh.snpNames.size()));
    if (const qint64 unlisted = fresh.m_snp->firstUnlistedName(); unlisted >= 0)
        return damaged(
            QStringLiteral("the SNP information file %1 has no line for the SNP %2.")
                .arg(fresh.snpInfoPath, snpListName(datasetFilePath(m_folder, SnpList), unlisted)));
    if (fresh.traitRecordTotal() != fresh.binRecordTotal())
        return damaged(QStringLiteral("ID_Line.dat counts %1 records, Pos_Line.dat %2.")
                           .arg(fresh.traitRecordTotal())
                           .arg(fresh.binRecordTotal()));

    // The binary tables are read later, by the panels, through the offset rule: a table of the
    // wrong length or with its records where the counts do not place them would show one
    // trait's (or bin's) rows as another's, or read past the end.
    const QString table1Path = datasetFilePath(m_folder, TraitTable);
    const QString table2Path = datasetFilePath(m_folder, BinTable);
    for (const auto &[path, name, counts, total] :
         {std::tuple{table1Path, "table1.dat", "ID_Line.dat", fresh.traitRecordTotal()},
          std::tuple{table2Path, "table2.dat", "Pos_Line.dat", fresh.binRecordTotal()}}) {
        const QFileInfo info(path);
        if (!info.exists())
            continue;
        const qint64 expected = total * fresh.recordSize;
        if (info.size() != expected)
            return damaged(QStringLiteral("%1 holds %2 records than %3 lists.")
                               .arg(QLatin1String(name),
                                    info.size() < expected ? QStringLiteral("fewer") : QStringLiteral("more"),
                                    QLatin1String(counts)));
    }
    const QString misplaced = checkRecordPlacement(fresh, table1Path, table2Path);
    if (!misplaced.isEmpty())
        return damaged(misplaced);

    fresh.loaded = true;
    tables = std::move(fresh);
    return success();
}

} // namespace quillmap
