#include "import/optionalfiles.h"

#include "dataset/chromosome.h"
#include "dataset/datasetfiles.h"
#include "import/numberparse.h"
#include "io/atomicfile.h"
#include "io/linereader.h"

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace quillmap {

namespace {

constexpr qint64 ProgressMask = (qint64(1) << 16) - 1;

// The optional files' builders: the input's lines after its header are gathered by key
// (gather(line, lines) appends each entry led by a tab), then written a line per key in key
// order, the key then its entries.
template <typename Key, typename Gather, typename KeyText>
std::optional<ImportError> buildKeyedFile(ImportStage which, LineReader &input, const char *role,
                                          const QString &inputPath, const QString &folder, const char *name,
                                          const ImportProgress &progress, Gather gather, KeyText keyText)
{
    if (progress)
        progress(which, 0);
    std::map<Key, std::string> lines;
    QByteArrayView line;
    input.readLine(line); // header
    if (input.startsWithUtf16Mark())
        return ImportError::utf16Text(role, inputPath);
    qint64 n = 0;
    while (input.readLine(line)) {
        gather(line, lines);
        if (progress && (++n & ProgressMask) == 0)
            progress(which, n);
    }
    if (input.failed())
        return ImportError::cannotRead(role, inputPath);
    input.close();

    const QString path = files::datasetFilePath(folder, name);
    AtomicFile out(path);
    if (!out.open())
        return ImportError::cannotWrite(path);
    for (const auto &[key, entries] : lines) {
        out.write(keyText(key));
        out.write(QByteArrayView(entries.data(), qsizetype(entries.size())));
        out.write('\n');
    }
    if (!out.commit())
        return ImportError::cannotWrite(path);
    return std::nullopt;
}

} // namespace

// Gene2ID.dat: each group with its traits in the order of the trait group file.
std::optional<ImportError> buildGroupFile(LineReader &input, const QString &inputPath, const QString &folder,
                                          const ImportProgress &progress)
{
    auto gather = [](QByteArrayView line, std::map<QString, std::string> &groups) {
        // Field by field: a line may name any number of groups, and is never split whole.
        const qsizetype firstTab = line.indexOf('\t');
        const QByteArrayView trait = firstTab < 0 ? line : line.first(firstTab);
        for (qsizetype at = firstTab; at >= 0;) {
            const qsizetype next = line.indexOf('\t', at + 1);
            const QByteArrayView group = line.sliced(at + 1, (next < 0 ? line.size() : next) - at - 1);
            std::string &traits = groups[QString::fromUtf8(group)];
            traits += '\t';
            traits.append(trait.data(), size_t(trait.size()));
            at = next;
        }
    };
    return buildKeyedFile<QString>(ImportStage::Groups, input, "trait group", inputPath, folder,
                                   files::GroupTraits, progress, gather,
                                   [](const QString &group) { return group.toUtf8(); });
}

// pos2gene.dat: genes by the bin of their start. Lines with fewer than four fields or with a
// start or end that is not a number are skipped.
std::optional<ImportError> buildGeneFile(LineReader &input, const QString &inputPath, const QString &folder,
                                         const ImportProgress &progress)
{
    std::vector<QByteArrayView> fields;
    auto gather = [&fields](QByteArrayView line, std::map<qint32, std::string> &bins) {
        splitTabs(line, fields, 4); // fields after the fourth are not read
        if (fields.size() < 4)
            return;
        const std::optional<double> start = parseDouble(fields[2].trimmed());
        const std::optional<double> end = parseDouble(fields[3].trimmed());
        if (!start || !end)
            return;
        // An end beyond 500 can only be base pairs; the test looks at this line's end alone.
        const double scale = *end > 500.0 ? 1e6 : 1.0;
        const double startMb = *start / scale;
        const double endMb = *end / scale;
        const double bin = double(geneChromosomeNumber(fields[1])) * 1000.0 + std::floor(startMb);
        if (!(bin >= double(std::numeric_limits<qint32>::min())
              && bin <= double(std::numeric_limits<qint32>::max())))
            return;
        std::string &genes = bins[qint32(bin)];
        genes += '\t';
        genes.append(fields[0].data(), size_t(fields[0].size()));
        genes += '\t';
        genes += QString::number(startMb, 'g', 6).toStdString();
        genes += '\t';
        genes += QString::number(endMb, 'g', 6).toStdString();
    };
    return buildKeyedFile<qint32>(ImportStage::Genes, input, "gene position", inputPath, folder,
                                  files::BinGenes, progress, gather,
                                  [](qint32 bin) { return QByteArray::number(bin); });
}

} // namespace quillmap
