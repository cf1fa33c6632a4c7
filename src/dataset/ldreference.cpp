#include "dataset/ldreference.h"

#include "dataset/chromosome.h"
#include "dataset/datasetfiles.h"
#include "io/atomicfile.h"
#include "io/linereader.h"
#include "io/positionedio.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QPair>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <numeric>

namespace quillmap {

namespace {

// .bim fields are separated by tabs or blanks.
std::vector<QByteArrayView> fieldsOf(QByteArrayView line)
{
    std::vector<QByteArrayView> fields;
    qsizetype i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const qsizetype start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start)
            fields.push_back(line.sliced(start, i - start));
    }
    return fields;
}

Error damaged(const QString &what)
{
    return Error{ErrorKind::Damaged, QStringLiteral("The LD reference %1").arg(what)};
}

} // namespace

LdReference::~LdReference() = default;

Result<std::shared_ptr<const LdReference>> LdReference::open(const QString &prefix)
{
    std::shared_ptr<LdReference> ld(new LdReference);
    ld->m_prefix = prefix;
    const QString bim = prefix + QStringLiteral(".bim"), fam = prefix + QStringLiteral(".fam"),
                  bed = prefix + QStringLiteral(".bed");
    for (const QString &path : {bed, bim, fam}) {
        if (!QFile::exists(path))
            return Error{ErrorKind::MissingFile,
                         QStringLiteral("The LD reference file %1 is not found.").arg(path)};
    }
    LineReader reader;
    if (!reader.open(fam))
        return damaged(QStringLiteral("file %1 cannot be read.").arg(fam));
    QByteArrayView line;
    while (reader.readLine(line))
        if (!line.trimmed().isEmpty())
            ++ld->m_samples;
    if (reader.failed())
        return damaged(QStringLiteral("file %1 cannot be read to its end.").arg(fam));

    reader.close();
    if (!reader.open(bim))
        return damaged(QStringLiteral("file %1 cannot be read.").arg(bim));
    qint64 lineNumber = 0;
    while (reader.readLine(line)) {
        ++lineNumber;
        if (line.trimmed().isEmpty())
            continue;
        const std::vector<QByteArrayView> f = fieldsOf(line);
        qint64 bp = 0;
        const char *end = f.size() >= 6 ? f[3].data() + f[3].size() : nullptr;
        if (!end || std::from_chars(f[3].data(), end, bp).ptr != end || bp < 0)
            return damaged(QStringLiteral("file %1 has a line %2 that is not a variant "
                                          "(chromosome, ID, cM, position, two alleles).")
                               .arg(bim)
                               .arg(lineNumber));
        Variant v;
        v.chromosome = parseChromosome(f[0], ChromosomeSpelling::Tool).value_or(0);
        v.bp = bp;
        // The genetic distance is often left 0 or written oddly; it only draws the rate line.
        if (std::from_chars(f[2].data(), f[2].data() + f[2].size(), v.cm).ptr != f[2].data() + f[2].size()
            || !std::isfinite(v.cm))
            v.cm = 0;
        v.id = f[1].toByteArray();
        v.allele1 = f[4].toByteArray();
        v.allele2 = f[5].toByteArray();
        const int index = int(ld->m_variants.size());
        if (!ld->m_byId.contains(v.id))
            ld->m_byId.insert(v.id, index);
        if (v.chromosome > 0)
            ld->m_byPlace[qMakePair(v.chromosome, v.bp)].append(index);
        ld->m_variants.push_back(std::move(v));
    }
    if (reader.failed())
        return damaged(QStringLiteral("file %1 cannot be read to its end.").arg(bim));
    ld->m_byPosition.resize(ld->m_variants.size());
    std::iota(ld->m_byPosition.begin(), ld->m_byPosition.end(), 0);
    std::stable_sort(ld->m_byPosition.begin(), ld->m_byPosition.end(), [&](int a, int b) {
        const Variant &x = ld->m_variants[size_t(a)], &y = ld->m_variants[size_t(b)];
        return x.chromosome != y.chromosome ? x.chromosome < y.chromosome : x.bp < y.bp;
    });

    ld->m_bed = std::make_unique<QFile>(bed);
    if (!ld->m_bed->open(QIODevice::ReadOnly))
        return damaged(QStringLiteral("file %1 cannot be read.").arg(bed));
    uchar magic[3] = {0, 0, 0};
    ld->m_rowBytes = (ld->m_samples + 3) / 4;
    const qint64 wanted = 3 + ld->m_rowBytes * qint64(ld->m_variants.size());
    if (!readAt(ld->m_bed->handle(), magic, 3, 0) || magic[0] != 0x6c || magic[1] != 0x1b || magic[2] != 0x01)
        return damaged(QStringLiteral("file %1 is not a variant-major PLINK .bed file.").arg(bed));
    if (ld->m_bed->size() != wanted)
        return damaged(QStringLiteral("file %1 holds %2 bytes where %3 variants of %4 samples take %5.")
                           .arg(bed)
                           .arg(ld->m_bed->size())
                           .arg(ld->m_variants.size())
                           .arg(ld->m_samples)
                           .arg(wanted));
    return std::shared_ptr<const LdReference>(std::move(ld));
}

int LdReference::find(QByteArrayView id, int chromosome, qint64 bp, QByteArrayView a1,
                      QByteArrayView a2) const
{
    const auto byId = m_byId.constFind(QByteArray::fromRawData(id.data(), id.size()));
    if (!id.isEmpty() && byId != m_byId.cend())
        return *byId;
    const auto there = m_byPlace.constFind(qMakePair(chromosome, bp));
    if (there == m_byPlace.cend())
        return -1;
    if (a1.isEmpty() && a2.isEmpty())
        return there->size() == 1 ? there->first() : -1;
    for (const int v : *there) {
        const Variant &var = m_variants[size_t(v)];
        if ((var.allele1 == a1 && var.allele2 == a2) || (var.allele1 == a2 && var.allele2 == a1))
            return v;
    }
    return -1;
}

QString LdReference::recordedPrefix(const QString &folder)
{
    QFile file(files::datasetFilePath(folder, RecordFile));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readLine(1 << 16)).trimmed();
}

Status LdReference::record(const QString &folder, const QString &prefix)
{
    const QString path = files::datasetFilePath(folder, RecordFile);
    if (prefix.isEmpty()) {
        if (!QFile::exists(path) || QFile::remove(path))
            return success();
        return Error{ErrorKind::WriteFailed, QStringLiteral("error : can't remove the file %1!").arg(path)};
    }
    QString error;
    const QByteArray line = QFileInfo(prefix).absoluteFilePath().toUtf8() + '\n';
    if (!AtomicFile::writeWhole(path, line, &error))
        return Error{ErrorKind::WriteFailed, QStringLiteral("error : can't write the file %1!").arg(path)};
    return success();
}

void LdReference::planesOf(const char *row, Planes &planes) const
{
    const size_t words = size_t((m_samples + 63) / 64);
    planes.called.assign(words, 0);
    planes.one.assign(words, 0);
    planes.two.assign(words, 0);
    // Two bits a sample, the first sample in the lowest bits: 00 two copies of the first allele,
    // 01 missing, 10 one of each, 11 two copies of the second. A byte holds four samples, so
    // each byte becomes three 4-bit masks by table.
    struct Masks {
        quint8 called = 0, one = 0, two = 0;
    };
    static const std::array<Masks, 256> byByte = [] {
        std::array<Masks, 256> table{};
        for (int b = 0; b < 256; ++b) {
            for (int j = 0; j < 4; ++j) {
                const int code = (b >> (2 * j)) & 3;
                table[size_t(b)].called |= quint8(code != 1 ? 1 << j : 0);
                table[size_t(b)].one |= quint8(code == 2 ? 1 << j : 0);
                table[size_t(b)].two |= quint8(code == 3 ? 1 << j : 0);
            }
        }
        return table;
    }();
    for (qint64 b = 0; b < m_rowBytes; ++b) {
        const Masks &m = byByte[uchar(row[b])];
        const size_t w = size_t(b / 16);
        const int shift = int(4 * (b % 16));
        planes.called[w] |= quint64(m.called) << shift;
        planes.one[w] |= quint64(m.one) << shift;
        planes.two[w] |= quint64(m.two) << shift;
    }
    // The last byte's padding reads as called; no sample stands behind it.
    if (m_samples % 64 != 0) {
        const quint64 keep = (quint64(1) << (m_samples % 64)) - 1;
        planes.called.back() &= keep;
        planes.one.back() &= keep;
        planes.two.back() &= keep;
    }
}

namespace {

// The sums of the correlation of two variants' allele counts (0, 1, 2 as bit planes) over the
// samples called in both: each a few popcounts a word. Built twice where the compiler can, so
// that processors with a popcount instruction use it (the baseline has none).
struct Sums {
    qint64 n = 0, sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
};
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__)
__attribute__((target_clones("popcnt", "default")))
#endif
Sums correlationSums(const quint64 *xc, const quint64 *x1p, const quint64 *x2p, const quint64 *yc,
                     const quint64 *y1p, const quint64 *y2p, size_t words)
{
    Sums s;
    for (size_t w = 0; w < words; ++w) {
        const quint64 both = xc[w] & yc[w];
        const quint64 x1 = x1p[w] & both, x2 = x2p[w] & both;
        const quint64 y1 = y1p[w] & both, y2 = y2p[w] & both;
        s.n += std::popcount(both);
        const int cx1 = std::popcount(x1), cx2 = std::popcount(x2);
        const int cy1 = std::popcount(y1), cy2 = std::popcount(y2);
        s.sx += cx1 + 2 * cx2;
        s.sxx += cx1 + 4 * cx2;
        s.sy += cy1 + 2 * cy2;
        s.syy += cy1 + 4 * cy2;
        s.sxy += std::popcount(x1 & y1) + 2 * std::popcount(x1 & y2) + 2 * std::popcount(x2 & y1)
            + 4 * std::popcount(x2 & y2);
    }
    return s;
}

} // namespace

std::vector<std::pair<qint64, double>> LdReference::recombinationRates(int chromosome, qint64 fromBp,
                                                                       qint64 toBp) const
{
    const auto before = [&](int v, std::pair<int, qint64> place) {
        const Variant &x = m_variants[size_t(v)];
        return x.chromosome != place.first ? x.chromosome < place.first : x.bp < place.second;
    };
    auto at = std::lower_bound(m_byPosition.begin(), m_byPosition.end(), std::pair(chromosome, fromBp),
                               before);
    // One variant before the window, so the line starts at its left edge.
    if (at != m_byPosition.begin() && m_variants[size_t(*(at - 1))].chromosome == chromosome)
        --at;
    std::vector<std::pair<qint64, double>> rates;
    bool mapped = false;
    for (; at + 1 < m_byPosition.end(); ++at) {
        const Variant &a = m_variants[size_t(*at)], &b = m_variants[size_t(*(at + 1))];
        if (a.chromosome != chromosome || b.chromosome != chromosome || a.bp > toBp)
            break;
        mapped = mapped || a.cm != 0 || b.cm != 0;
        if (b.bp > a.bp)
            rates.emplace_back(a.bp, std::max(0.0, (b.cm - a.cm) / (double(b.bp - a.bp) / 1e6)));
    }
    if (!mapped)
        rates.clear();
    return rates;
}

Result<std::vector<double>> LdReference::r2(int index, const std::vector<int> &others) const
{
    std::vector<double> result(others.size(), std::numeric_limits<double>::quiet_NaN());
    const int count = int(m_variants.size());
    if (index < 0 || index >= count)
        return result;
    const auto unreadable = [this] {
        return damaged(QStringLiteral("file %1.bed cannot be read.").arg(m_prefix));
    };
    QByteArray row(m_rowBytes, Qt::Uninitialized);
    if (!readAt(m_bed->handle(), row.data(), m_rowBytes, 3 + qint64(index) * m_rowBytes))
        return unreadable();
    Planes x, y;
    planesOf(row.constData(), x);

    // The asked-for rows in file order, read a span at a time: a window's variants lie close
    // together in the .bed, and one large read beats thousands of small ones.
    std::vector<std::pair<int, size_t>> wanted; // variant, place in `others`
    for (size_t k = 0; k < others.size(); ++k) {
        if (others[k] >= 0 && others[k] < count)
            wanted.emplace_back(others[k], k);
    }
    std::sort(wanted.begin(), wanted.end());
    constexpr qint64 SpanBytes = qint64(8) << 20;
    constexpr int MaxGap = 16; // rows read and not used between two asked for
    QByteArray span;
    for (size_t i = 0; i < wanted.size();) {
        const int first = wanted[i].first;
        size_t j = i + 1;
        while (j < wanted.size() && wanted[j].first - wanted[j - 1].first <= MaxGap
               && qint64(wanted[j].first - first + 1) * m_rowBytes <= SpanBytes)
            ++j;
        const qint64 rows = wanted[j - 1].first - first + 1;
        span.resize(rows * m_rowBytes);
        if (!readAt(m_bed->handle(), span.data(), span.size(), 3 + qint64(first) * m_rowBytes))
            return unreadable();
        for (; i < j; ++i) {
            planesOf(span.constData() + qint64(wanted[i].first - first) * m_rowBytes, y);
            const Sums s = correlationSums(x.called.data(), x.one.data(), x.two.data(), y.called.data(),
                                           y.one.data(), y.two.data(), x.called.size());
            const double cov = double(s.n * s.sxy - s.sx * s.sy);
            const double vx = double(s.n * s.sxx - s.sx * s.sx), vy = double(s.n * s.syy - s.sy * s.sy);
            if (s.n > 0 && vx > 0 && vy > 0)
                result[wanted[i].second] = cov * cov / (vx * vy);
        }
    }
    return result;
}

} // namespace quillmap
