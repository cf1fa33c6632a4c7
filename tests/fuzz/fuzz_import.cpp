// A whole import of five small files cut from the fuzzer's bytes at form feeds (results, SNP
// information, trait information, trait groups, gene positions; the last two are chosen only
// when present). Whatever the files hold, the outcome and summary.txt agree; and a dataset the
// import calls good opens in the loader and gives every trait and bin back, exactly.

#include "fuzzsupport.h"

#include "dataset/datasetloader.h"
#include "dataset/dataset.h"
#include "import/importer.h"

#include <QDir>

using namespace quillmap;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<QByteArray> parts = fuzz::splitParts(
        QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)), 5);
    static const char *const Names[5] = {"results.txt", "snps.txt", "traits.txt", "groups.txt", "genes.txt"};
    ImportInputs inputs;
    QString *paths[5] = {&inputs.results, &inputs.snpInfo, &inputs.traitInfo, &inputs.groups, &inputs.genes};
    for (int k = 0; k < 5; ++k) {
        if (k >= 3 && parts.at(k).isNull())
            continue;
        *paths[k] = fuzz::scratchPath(QLatin1String(Names[k]));
        fuzz::writeFile(*paths[k], parts.at(k));
    }
    const QString folder = fuzz::scratchPath(QStringLiteral("dataset"));
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);

    const ImportResult result = runImport(folder, inputs);
    // One reader, and ranges of a few bytes parsed on the worker threads: the same outcome,
    // message, lost values and files as the default reading.
    const auto said = [](const ImportResult &r) {
        return QString::number(int(r.failure)) + r.errorText + lostValuesNotice(r.lost)
            + QString::number(r.rows);
    };
    const auto files = [](const QString &dir) {
        QList<QByteArray> all;
        for (const QString &name : QDir(dir).entryList(QDir::Files))
            all << name.toUtf8() << fuzz::readFile(dir + QLatin1Char('/') + name);
        return all;
    };
    for (const qint64 bytes : {qint64(-1), qint64(1) + (size > 0 ? data[0] % 13 : 0)}) {
        const QString other = fuzz::scratchPath(QStringLiteral("dataset-again"));
        QDir(other).removeRecursively();
        QDir().mkpath(other);
        setImportRangeBytesForTesting(bytes);
        const ImportResult again = runImport(other, inputs);
        setImportRangeBytesForTesting(0);
        fuzz::check(said(again) == said(result), "another reading gives another outcome",
                    said(again) + QStringLiteral(" / ") + said(result));
        fuzz::check(files(other) == files(folder), "another reading writes other files");
    }
    const QList<QByteArray> summary = fuzz::readFile(folder + QStringLiteral("/summary.txt")).split('\n');
    fuzz::check(summary.size() >= 6, "summary.txt has fewer than six lines");
    if (result.failed) {
        fuzz::check(summary.at(5).contains("error"), "a failed import without an error line",
                    QString::fromUtf8(summary.at(5)));
        fuzz::check(!result.errorText.isEmpty(), "a failed import without a message");
        return 0;
    }
    fuzz::check(summary.at(5).startsWith("Trait Num :\t ") && !summary.at(5).contains("error"),
                "a good import whose line 6 is not the trait count", QString::fromUtf8(summary.at(5)));

    DatasetTables tables;
    const Status outcome = DatasetLoader(folder).load(tables);
    fuzz::check(outcome.ok(), "a dataset the import called good does not open", outcome.message());
    fuzz::check(tables.traitNames.size() == result.traits && tables.snpNames.size() == result.snps,
                "the name lists differ from the import's counts");
    fuzz::check(tables.traitRecordTotal() == result.rows && tables.binRecordTotal() == result.rows,
                "the count files do not add up to the rows imported");
    const auto dataset = Dataset::load(folder);
    fuzz::check(dataset.ok(), "a dataset the import called good does not open", dataset.message());
    fuzz::readEveryTrait(**dataset, true);
    fuzz::readEveryBin(**dataset, true);
    return 0;
}
