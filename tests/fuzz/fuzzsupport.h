#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace quillmap {
class Dataset;
}

// Helpers shared by the fuzz targets. Every target works in one scratch folder that lives as
// long as the process (in /dev/shm when there is one, to keep file writes cheap).
namespace fuzz {

// Stops the run with a message when an invariant fails; libFuzzer then saves the input.
[[noreturn]] void fail(const char *what, const QString &detail = {});
inline void check(bool condition, const char *what, const QString &detail = {})
{
    if (!condition)
        fail(what, detail);
}

// The scratch folder, and a path inside it.
QString scratch();
QString scratchPath(const QString &name);

void writeFile(const QString &path, QByteArrayView bytes);
QByteArray readFile(const QString &path);

// Splits the fuzzer's bytes at every form feed into at most `parts` pieces; the last piece keeps
// any further form feeds. Missing pieces are null.
QList<QByteArray> splitParts(QByteArrayView data, int parts);

// Reads every trait of IDlist.dat through the library's trait read; with `strict`, also checks
// that each reads back whole (true only for a folder an import just wrote).
void readEveryTrait(const quillmap::Dataset &dataset, bool strict);

// Reads every bin of Pos_Line.dat through the region search; with `strict`, also checks that
// each record's SNP lies in that bin (true only for a folder an import just wrote).
void readEveryBin(const quillmap::Dataset &dataset, bool strict);

} // namespace fuzz
