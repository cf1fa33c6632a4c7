// One data line of one input file through the import's checks; the other four files are fixed
// and valid. The first byte picks the file. The same bytes also go through the number parsers,
// whose answers must agree with the C library's reading of the same text.

#include "fuzzsupport.h"

#include "dataset/positionbin.h"
#include "import/importer.h"
#include "import/numberparse.h"

#include <QDir>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>

using namespace quillmap;

namespace {

const QByteArray Header[5] = {"T\tS\tp\tb\n", "S\tchr\tpos\tg\n", "T\tx\n", "T\tG\n", "G\tC\tS\tE\n"};
const QByteArray Body[5] = {"T1\trs1\t0.5\t1\nT2\trs2\t0.1\t2\n", "rs1\t1\t1.5\ta\nrs2\tX\t2.5\tb\n",
                            "T1\ta\nT2\tb\n", "T1\tG1\n", "g1\t1\t1.2\t1.3\n"};

void checkNumbers(QByteArrayView text)
{
    const std::string s(text.data(), size_t(text.size()));
    const bool cNumber = quillmap::isCNumber(text);
    const std::optional<double> d = quillmap::parseDouble(text);
    const std::optional<float> stat = quillmap::parseStatistic(text);
    const std::optional<double> pos = quillmap::parsePosition(text);
    fuzz::check(!stat || cNumber, "a statistic that is not a C number");
    fuzz::check(!pos || (stat && s.find('.') != std::string::npos), "a position without a point");
    if (!cNumber || s.find('\0') != std::string::npos)
        return;
    // strtod reads the same notation (and more); for a C number it must stop at the end.
    char *end = nullptr;
    const double reference = std::strtod(s.c_str(), &end);
    fuzz::check(end == s.c_str() + s.size(), "a C number that strtod does not read whole",
                QString::fromLatin1(text));
    if (d)
        fuzz::check(*d == reference, "parseDouble differs from strtod", QString::fromLatin1(text));
    else
        fuzz::check(!std::isfinite(reference), "a finite C number that parseDouble refuses",
                    QString::fromLatin1(text));
    if (stat && std::isfinite(reference) && std::fabs(reference) <= 3.4028234663852886e38)
        fuzz::check(*stat == float(reference), "parseStatistic differs from strtod",
                    QString::fromLatin1(text));
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
    const int which = data[0] % 5;
    const QByteArrayView line(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    checkNumbers(line);
    (void)quillmap::chromosomeNumber(line);

    // The inputs stay in memory: the import reads them from there, under the paths it records.
    static const char *const Names[5] = {"results.txt", "snps.txt", "traits.txt", "groups.txt", "genes.txt"};
    ImportInputs inputs;
    QString *paths[5] = {&inputs.results, &inputs.snpInfo, &inputs.traitInfo, &inputs.groups, &inputs.genes};
    for (int k = 0; k < 5; ++k) {
        *paths[k] = fuzz::scratchPath(QLatin1String(Names[k]));
        QByteArray content = Header[k];
        if (k == which)
            content += Body[k].left(Body[k].indexOf('\n') + 1) + line.toByteArray() + '\n';
        else
            content += Body[k];
        inputs.inMemory.insert(*paths[k], content);
    }
    const QString folder = fuzz::scratchPath(QStringLiteral("dataset"));
    static const bool made = QDir().mkpath(folder);
    (void)made;

    const ImportResult result = runImport(folder, inputs);
    const QByteArray summary = fuzz::readFile(folder + QStringLiteral("/summary.txt"));
    const QList<QByteArray> lines = summary.split('\n');
    fuzz::check(lines.size() >= 6, "summary.txt has fewer than six lines");
    fuzz::check(lines.at(5).contains("error") == result.failed,
                "line 6 of summary.txt disagrees with the import's outcome", QString::fromUtf8(lines.at(5)));
    return 0;
}
