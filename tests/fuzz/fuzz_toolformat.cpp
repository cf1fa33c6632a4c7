// Association tool output through the format readers. The first byte picks the format; the rest
// is one or two trait files, cut at a form feed. The header line goes through recognition and
// the column finder, every line through the splitter, and the files through a whole tool import.
// What the import accepts must be whole: every data row kept or skipped, names non-empty and
// free of separators, positions on 1-22 or X with six decimals, -log10(P) never negative, and
// a dataset that opens, gives every trait and bin back, and is byte for byte what the five-file
// import of the derived files makes.

#include "fuzzsupport.h"

#include "dataset/datasetfiles.h"
#include "dataset/datasetloader.h"
#include "dataset/dataset.h"
#include "io/linereader.h"
#include "import/numberparse.h"
#include "import/toolformat.h"
#include "import/toolimport.h"

#include <QDir>

#include <clocale>
#include <utility>
#include <vector>

using namespace quillmap;

namespace {

// File names as the tools write them, so the trait names come out as they would.
const char *const FileNames[4][2] = {
    {"study.height.glm.linear", "study.case.glm.logistic.hybrid"},
    {"height.qassoc", "case.assoc"},
    {"step2_height.regenie", "step2_case.regenie"},
    {"height.tsv", "case.tsv"},
};

bool isBlankRow(ToolFormat format, QByteArrayView line, std::vector<QByteArrayView> &fields)
{
    splitToolLine(format, line, fields);
    return fields.empty() || (fields.size() == 1 && fields[0].isEmpty());
}

// The splitter keeps every byte of a tab-separated line and drops only blanks elsewhere.
void checkSplit(ToolFormat format, QByteArrayView line, std::vector<QByteArrayView> &fields)
{
    splitToolLine(format, line, fields);
    if (format == ToolFormat::Plink2 || format == ToolFormat::GwasSsf) {
        qsizetype total = qsizetype(fields.size()) - 1;
        for (QByteArrayView f : fields) {
            fuzz::check(!f.contains('\t'), "a tab inside a tab-separated field");
            total += f.size();
        }
        fuzz::check(total == line.size(), "tab splitting lost bytes");
        return;
    }
    for (QByteArrayView f : fields)
        fuzz::check(!f.isEmpty() && !f.contains(' ') && !f.contains('\t'),
                    "a blank-separated field that is empty or holds a blank");
}

// A column found in the header lies inside it, and a recognised header is its format's.
void checkHeader(QByteArrayView header)
{
    for (int k = 0; k < 4; ++k) {
        const auto format = ToolFormat(k);
        QString missing;
        const std::optional<ToolColumns> c = toolColumns(format, header, &missing);
        if (!c) {
            fuzz::check(!missing.isEmpty(), "a refused header without the column it lacks");
            continue;
        }
        std::vector<int> all = {c->chromosome, c->position, c->id, c->otherId,  c->ref,
                                c->alt,        c->test,     c->p,  c->negLog10P};
        all.insert(all.end(), c->effects.begin(), c->effects.end());
        for (int column : all)
            fuzz::check(column >= -1 && column < c->fieldCount, "a column outside the header");
        fuzz::check(c->chromosome >= 0 && c->position >= 0 && (c->p >= 0 || c->negLog10P >= 0),
                    "an accepted header without chromosome, position or p-value");
        fuzz::check(c->effects.size() == size_t(c->effectNames.size())
                        && c->alleles.size() == size_t(c->alleleNames.size()),
                    "column lists and their names differ in length");
    }
    if (const std::optional<ToolFormat> format = recogniseToolFormat(header))
        fuzz::check(toolColumns(*format, header, nullptr).has_value(),
                    "a recognised header its format refuses");
}

// The data rows of a file as the import sees it: after "##" lines and the header, every line
// that is not blank.
qint64 dataRows(ToolFormat format, QByteArrayView file, std::vector<QByteArrayView> &fields)
{
    if (file.startsWith("\xef\xbb\xbf"))
        file = file.sliced(3);
    qint64 rows = 0;
    bool header = false;
    forEachLine(file, [&](const char *begin, qsizetype length) {
        const QByteArrayView line(begin, length);
        if (!header) {
            header = !line.startsWith("##");
            if (header)
                checkHeader(line);
            return;
        }
        checkSplit(format, line, fields);
        if (!isBlankRow(format, line, fields))
            ++rows;
    });
    return rows;
}

void checkDerived(const QString &folder, qint64 rowsKept)
{
    const QByteArray snps = fuzz::readFile(folder + QLatin1Char('/') + QLatin1StringView(DerivedSnpInfo));
    std::vector<QByteArrayView> fields;
    bool header = true;
    forEachLine(snps, [&](const char *begin, qsizetype length) {
        if (std::exchange(header, false))
            return;
        splitTabs(QByteArrayView(begin, length), fields);
        fuzz::check(fields.size() >= 3 && !fields[0].isEmpty(), "a SNP line without a name",
                    QString::fromUtf8(QByteArrayView(begin, length)));
        fuzz::check(!fields[0].endsWith('\r'), "a SNP name ending in a carriage return");
        const QByteArrayView chr = fields[1];
        bool chrOk = chr == "X";
        if (!chrOk && chr.size() <= 2 && !chr.startsWith('0')) {
            const std::optional<double> n = parseDouble(chr);
            chrOk = n && *n >= 1 && *n <= 22 && *n == double(int(*n));
        }
        fuzz::check(chrOk, "a SNP on a chromosome other than 1-22 or X", QString::fromUtf8(chr));
        const QByteArrayView pos = fields[2];
        const qsizetype point = pos.indexOf('.');
        fuzz::check(point > 0 && pos.size() - point == 7 && parsePosition(pos).has_value(),
                    "a position that is not Mb with six decimals", QString::fromUtf8(pos));
    });
    const QByteArray results = fuzz::readFile(folder + QLatin1Char('/') + QLatin1StringView(DerivedResults));
    qint64 lines = -1;
    forEachLine(results, [&](const char *begin, qsizetype length) {
        if (++lines == 0)
            return;
        splitTabs(QByteArrayView(begin, length), fields);
        fuzz::check(fields.size() >= 4 && !fields[0].isEmpty() && !fields[1].isEmpty(),
                    "a results line without trait or SNP");
        const std::optional<float> negLog10P = parseStatistic(fields[2]);
        fuzz::check(negLog10P && *negLog10P >= 0.0f, "-log10(P) missing or negative",
                    QString::fromUtf8(fields[2]));
    });
    fuzz::check(lines == rowsKept, "the derived results hold another row count than kept");
}

// The rows were handed to the import parsed; reading the derived files must give the same.
void checkSameAsFiveFiles(const QString &folder)
{
    const QString five = fuzz::scratchPath(QStringLiteral("five"));
    QDir(five).removeRecursively();
    QDir().mkpath(five);
    ImportInputs inputs;
    inputs.results = folder + QLatin1Char('/') + QLatin1StringView(DerivedResults);
    inputs.snpInfo = folder + QLatin1Char('/') + QLatin1StringView(DerivedSnpInfo);
    inputs.traitInfo = folder + QLatin1Char('/') + QLatin1StringView(DerivedTraitInfo);
    const ImportResult result = runImport(five, inputs);
    fuzz::check(!result.failed, "the derived files do not import", result.errorText);
    using namespace quillmap::files;
    for (const char *name : {Summary, TraitList, SnpList, TraitTable, TraitCounts, BinTable, BinCounts})
        fuzz::check(fuzz::readFile(datasetFilePath(folder, name))
                        == fuzz::readFile(datasetFilePath(five, name)),
                    "the tool import differs from the five-file import of its derived files",
                    QLatin1StringView(name));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    std::setlocale(LC_ALL, "C");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int f = data[0] % 4;
    const auto format = ToolFormat(f);
    const QList<QByteArray> parts = fuzz::splitParts(
        QByteArrayView(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1)), 2);

    ToolImportInputs inputs;
    inputs.format = format;
    inputs.build = GenomeBuild::Hg38;
    std::vector<QByteArrayView> fields;
    qint64 rows = 0;
    bool counted = true;
    for (int k = 0; k < 2; ++k) {
        if (k == 1 && parts.at(k).isNull())
            break;
        const QByteArray &bytes = parts.at(k);
        // Gzip is read through zlib; its rows cannot be counted from the bytes.
        counted = counted && !bytes.startsWith("\x1f\x8b");
        rows += dataRows(format, bytes, fields);
        inputs.files.append(fuzz::scratchPath(QLatin1StringView(FileNames[f][k])));
        fuzz::writeFile(inputs.files.last(), bytes);
    }
    const QString folder = fuzz::scratchPath(QStringLiteral("dataset"));
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);

    const ToolImportResult result = runToolImport(folder, inputs);
    if (result.import.failed) {
        fuzz::check(!result.import.errorText.isEmpty(), "a failed import without a message");
        return 0;
    }
    fuzz::check(result.traits.size() == inputs.files.size(), "a trait name per file");
    for (const QString &trait : result.traits)
        fuzz::check(!trait.isEmpty(), "an empty trait name");
    fuzz::check(!counted || result.rowsKept + result.skipped.total() == rows,
                "rows kept and skipped do not add up to the data rows",
                QStringLiteral("%1 kept + %2 skipped, %3 rows")
                    .arg(result.rowsKept)
                    .arg(result.skipped.total())
                    .arg(rows));
    checkDerived(folder, result.rowsKept);
    checkSameAsFiveFiles(folder);

    DatasetTables tables;
    const Status outcome = DatasetLoader(folder).load(tables);
    fuzz::check(outcome.ok(), "a dataset the tool import called good does not open", outcome.message());
    fuzz::check(tables.traitRecordTotal() == result.rowsKept && tables.binRecordTotal() == result.rowsKept,
                "the count files do not add up to the rows kept");
    for (qsizetype i = 0; i < tables.snpNames.size(); ++i)
        fuzz::check(!tables.snpNames.at(i).isEmpty(), "an empty SNP name");
    const auto dataset = Dataset::load(folder);
    fuzz::check(dataset.ok(), "a dataset the tool import called good does not open", dataset.message());
    fuzz::readEveryTrait(**dataset, true);
    fuzz::readEveryBin(**dataset, true);
    return 0;
}
