#include "bytrait/datasetloader.h"

#include "bytrait/datasettables.h"
#include "dataset/datasetfiles.h"

#include <QFile>
#include <QFileInfo>

#include <charconv>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

using quillmap::files::datasetFilePath;

namespace {

QString notFound(const char *name)
{
    return QStringLiteral("The file %1 is not found! Please reload the dataset!")
        .arg(QLatin1String(name));
}

// Calls fn(begin, length) for every line of `data`; "\n" and "\r\n" both end a line, and an
// empty piece after the last line end is not a line.
template <typename Fn>
void forEachLine(const QByteArray &data, Fn fn)
{
    const char *p = data.constData();
    const char *end = p + data.size();
    while (p < end) {
        const void *nl = std::memchr(p, '\n', size_t(end - p));
        const char *lineEnd = nl ? static_cast<const char *>(nl) : end;
        qsizetype length = lineEnd - p;
        if (length > 0 && p[length - 1] == '\r')
            --length;
        fn(p, length);
        p = nl ? lineEnd + 1 : end;
    }
}

QStringList splitFields(const char *line, qsizetype length)
{
    return QString::fromUtf8(line, length).split(QLatin1Char('\t'));
}

// Whole-line integer as the text stream reader would read it: not a number reads as 0.
int toInt(const QString &text)
{
    return text.toInt();
}

int parseInt(const char *p, qsizetype length)
{
    int value = 0;
    const auto [ptr, ec] = std::from_chars(p, p + length, value);
    if (ec == std::errc() && ptr == p + length)
        return value;
    return QByteArray(p, length).toInt();
}

double parseDouble(const char *p, qsizetype length)
{
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(p, p + length, value);
    if (ec == std::errc() && ptr == p + length)
        return value;
    return QByteArray(p, length).toDouble();
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
    d.resultsHeader = tables.resultsHeader;
    d.snpInfoHeader = tables.snpInfoHeader;
    return d;
}

} // namespace

QString damagedDatasetMessage(const QString &folder, const QString &detail)
{
    return QStringLiteral("The dataset in %1 is damaged: %2 Please reload the dataset!")
        .arg(folder, detail);
}

DatasetLoader::DatasetLoader(QString folder)
    : m_folder(std::move(folder))
{
}

LoadOutcome DatasetLoader::load(DatasetTables &tables)
{
    LoadOutcome outcome = readDescription(tables);
    if (!outcome.ok)
        return outcome;
    return readDatasetFiles(tables);
}

LoadOutcome DatasetLoader::readDescription(DatasetTables &tables)
{
    auto damaged = [this](const QString &detail) {
        return LoadOutcome{false, damagedDatasetMessage(m_folder, detail)};
    };

    // A new description starts a new dataset: nothing of an earlier one may stay behind.
    tables.clear();
    QFile file(datasetFilePath(m_folder, quillmap::files::Summary));
    if (!file.open(QIODevice::ReadOnly))
        return LoadOutcome{false, notFound(quillmap::files::Summary)};
    const QByteArray data = file.readAll();
    QList<QStringList> lines;
    forEachLine(data, [&lines](const char *p, qsizetype n) {
        if (lines.size() < 5)
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
    const int e = lines[3].size() > 1 ? toInt(lines[3].at(1)) : 0;
    const int m = lines[4].size() > 1 ? toInt(lines[4].at(1)) : 0;
    if (e < 0 || m < 0 || tables.resultsHeader.size() < e + 3 || tables.snpInfoHeader.size() < m + 3)
        return damaged(QStringLiteral("the column counts in summary.txt do not match its headers."));

    tables.extraStats = e;
    tables.extraSnpColumns = m;
    tables.recordSize = 4 * qint64(e) + 12;
    tables.tableColumnCount = m + e + 5;
    tables.statisticNames = tables.resultsHeader.mid(2, e + 1);
    tables.columnHeaders = QStringList{tables.resultsHeader.at(0), tables.resultsHeader.at(1),
                                       QStringLiteral("Chr"), QStringLiteral("Pos")};
    tables.columnHeaders += tables.snpInfoHeader.mid(3, m);
    tables.columnHeaders += tables.statisticNames;
    return LoadOutcome{};
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
    wanted.push_back({datasetFilePath(m_folder, TraitList),
                      QStringLiteral("The file traitlist.dat is not found! reload the dataset!")});
    return wanted;
}

LoadOutcome DatasetLoader::openDatasetFiles(const DatasetTables &tables) const
{
    for (const Wanted &w : wantedFiles(tables)) {
        QFile file(w.path);
        if (w.path.isEmpty() || !file.open(QIODevice::ReadOnly))
            return LoadOutcome{false, w.message};
    }
    return LoadOutcome{};
}

LoadOutcome DatasetLoader::readDatasetFiles(DatasetTables &tables)
{
    using namespace quillmap::files;

    const std::vector<Wanted> wanted = wantedFiles(tables);
    std::vector<std::unique_ptr<QFile>> files;
    for (const Wanted &w : wanted) {
        auto file = std::make_unique<QFile>(w.path);
        if (w.path.isEmpty() || !file->open(QIODevice::ReadOnly)) {
            tables = descriptionOnly(tables);
            return LoadOutcome{false, w.message};
        }
        files.push_back(std::move(file));
    }
    size_t next = 0;
    QFile *groupFile = tables.hasGroups ? files[next++].get() : nullptr;
    QFile *gene2IdFile = tables.hasGroups ? files[next++].get() : nullptr;
    QFile *idLineFile = files[next++].get();
    QFile *traitInfoFile = files[next++].get();
    QFile *snpInfoFile = files[next++].get();
    QFile *posLineFile = files[next++].get();
    QFile *snpListFile = files[next++].get();
    QFile *idListFile = files[next++].get();

    // Read into a fresh set so that a damaged dataset never leaves half-filled tables behind:
    // on failure the caller's tables keep the description and nothing else.
    DatasetTables fresh = descriptionOnly(tables);
    auto damaged = [this, &tables](const QString &detail) {
        tables = descriptionOnly(tables);
        return LoadOutcome{false, damagedDatasetMessage(m_folder, detail)};
    };

    bool negativeCount = false;
    forEachLine(idLineFile->readAll(), [&](const char *p, qsizetype n) {
        const QStringList f = splitFields(p, n);
        const int count = f.size() > 1 ? toInt(f.at(1)) : 0;
        negativeCount |= count < 0;
        fresh.traitRecordCounts.insert(f.at(0), count);
    });
    forEachLine(posLineFile->readAll(), [&](const char *p, qsizetype n) {
        const QStringList f = splitFields(p, n);
        const int count = f.size() > 1 ? toInt(f.at(1)) : 0;
        negativeCount |= count < 0;
        fresh.binRecordCounts.insert(toInt(f.at(0)), count);
    });
    if (negativeCount)
        return damaged(QStringLiteral("a record count is negative."));

    if (groupFile) {
        forEachLine(groupFile->readAll(), [&](const char *p, qsizetype n) {
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

    bool header = true;
    forEachLine(traitInfoFile->readAll(), [&](const char *p, qsizetype n) {
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
        const QByteArray data = snpListFile->readAll();
        fresh.snpNames.reserve(data.count('\n') + 1);
        forEachLine(data, [&](const char *p, qsizetype n) {
            fresh.snpNames.append(QString::fromUtf8(p, n));
        });
    }

    {
        // The SNP information text is compacted in place: line ends are squeezed out while the
        // lines are parsed, so the file is held in memory once.
        QByteArray text = snpInfoFile->readAll();
        const qsizetype lineEstimate = text.count('\n') + 1;
        fresh.m_snpLineOffsets.clear();
        fresh.m_snpLineOffsets.reserve(size_t(lineEstimate) + 1);
        fresh.m_snpLineOffsets.push_back(0);
        fresh.m_snpChromosomes.reserve(size_t(lineEstimate));
        fresh.m_snpPositions.reserve(size_t(lineEstimate));
        char *base = text.data();
        qint64 write = 0;
        bool first = true;
        forEachLine(text, [&](const char *p, qsizetype n) {
            if (first) {
                first = false;
                return;
            }
            // Fields 2 and 3: chromosome and position.
            const char *end = p + n;
            const char *t1 = static_cast<const char *>(std::memchr(p, '\t', size_t(n)));
            int chromosome = 0;
            double position = 0.0;
            if (t1) {
                const char *c = t1 + 1;
                const char *t2 = static_cast<const char *>(std::memchr(c, '\t', size_t(end - c)));
                const char *cEnd = t2 ? t2 : end;
                if (cEnd - c == 1 && *c == 'X')
                    chromosome = 23;
                else
                    chromosome = parseInt(c, cEnd - c);
                if (t2) {
                    const char *q = t2 + 1;
                    const char *t3 = static_cast<const char *>(std::memchr(q, '\t', size_t(end - q)));
                    position = parseDouble(q, (t3 ? t3 : end) - q);
                }
            }
            fresh.m_snpChromosomes.push_back(chromosome);
            fresh.m_snpPositions.push_back(position);
            // Source and destination may overlap; the destination never runs ahead.
            std::memmove(base + write, p, size_t(n));
            write += n;
            fresh.m_snpLineOffsets.push_back(write);
        });
        text.truncate(write);
        text.squeeze();
        fresh.m_snpText = std::move(text);
    }

    {
        const QByteArray data = idListFile->readAll();
        fresh.traitNames.reserve(data.count('\n') + 1);
        forEachLine(data, [&](const char *p, qsizetype n) {
            fresh.traitNames.append(QString::fromUtf8(p, n));
        });
    }
    for (auto &file : files)
        file->close();

    fresh.finishLoading();

    // The binary tables are opened later, by the panels; a table shorter than its counts would
    // make them read past its end, so it is caught here.
    const QFileInfo table1(datasetFilePath(m_folder, TraitTable));
    if (table1.exists() && table1.size() < fresh.traitRecordTotal() * fresh.recordSize)
        return damaged(QStringLiteral("table1.dat holds fewer records than ID_Line.dat lists."));
    const QFileInfo table2(datasetFilePath(m_folder, BinTable));
    if (table2.exists() && table2.size() < fresh.binRecordTotal() * fresh.recordSize)
        return damaged(QStringLiteral("table2.dat holds fewer records than Pos_Line.dat lists."));

    fresh.loaded = true;
    tables = std::move(fresh);
    return LoadOutcome{};
}
