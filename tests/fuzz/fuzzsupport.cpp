#include "fuzzsupport.h"

#include "io/atomicfile.h"

#include "dataset/regionsearch.h"
#include "dataset/datasettables.h"
#include "dataset/positionbin.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

using namespace quillmap;

namespace fuzz {

void fail(const char *what, const QString &detail)
{
    std::fprintf(stderr, "\n*** invariant broken: %s\n%s\n", what, qPrintable(detail));
    std::abort();
}

// libFuzzer ends its processes without running static destructors, so each scratch folder is
// named after its process and the next run removes those whose process is gone.
QString scratch()
{
    static const QString path = [] {
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                       : QDir::tempPath();
        const QStringList old = QDir(base).entryList({QStringLiteral("quillmap-fuzz-*")}, QDir::Dirs);
        for (const QString &name : old) {
            bool ok = false;
            const qint64 pid = name.mid(14).toLongLong(&ok);
            if (ok && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
                QDir(base + QLatin1Char('/') + name).removeRecursively();
        }
        // Thousands of scratch folders a second need no sync each.
        quillmap::AtomicFile::setDefaultSync(quillmap::AtomicFile::Sync::Unsynced);
        QString mine = base + QStringLiteral("/quillmap-fuzz-%1").arg(::getpid());
        QDir(mine).removeRecursively();
        if (!QDir().mkpath(mine))
            fail("cannot create the scratch folder", mine);
        return mine;
    }();
    return path;
}

QString scratchPath(const QString &name)
{
    return scratch() + QLatin1Char('/') + name;
}

void writeFile(const QString &path, QByteArrayView bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail("cannot write a scratch file", path);
    file.write(bytes.data(), bytes.size());
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<QByteArray> splitParts(QByteArrayView data, int parts)
{
    QList<QByteArray> out;
    while (out.size() < parts - 1) {
        const qsizetype cut = data.indexOf('\f');
        if (cut < 0)
            break;
        out.append(data.first(cut).toByteArray());
        data = data.sliced(cut + 1);
    }
    out.append(data.toByteArray());
    while (out.size() < parts)
        out.append(QByteArray());
    return out;
}

void readEveryTrait(const Dataset &dataset, bool strict)
{
    const DatasetTables &tables = dataset.tables();
    for (const QString &name : tables.traitNames) {
        const auto read = quillmap::readTrait(dataset, name);
        if (!strict)
            continue;
        check(read.ok(), "a trait of a fresh import cannot be read", read.message());
        check(read->count() == tables.traitRecordCounts.value(name),
              "a trait's records do not come back through the offset rule", name);
    }
}

void readEveryBin(const Dataset &dataset, bool strict)
{
    const DatasetTables &tables = dataset.tables();
    for (auto it = tables.binRecordCounts.cbegin(); it != tables.binRecordCounts.cend(); ++it) {
        const auto result = quillmap::bypos::readRegion(dataset, it.key());
        if (!strict)
            continue;
        check(result.ok(), "a bin of a fresh import cannot be read", result.message());
        check(result->count() == it.value(), "a bin read back has another count");
        for (const RowRecord &row : result->rows) {
            const int line = tables.snpLineOfIndex(row.snpIndex);
            check(line >= 0, "a SNP of a fresh import has no line in the SNP information file",
                  tables.snpNames.value(row.snpIndex));
            const auto bin = quillmap::positionBin(tables.snpChromosome(line), tables.snpPosition(line));
            check(bin && *bin == it.key(), "a record of table2.dat lies outside its bin",
                  QStringLiteral("bin %1, SNP %2").arg(it.key()).arg(tables.snpNames.value(row.snpIndex)));
        }
    }
}

} // namespace fuzz
