#include "browse/studysummaries.h"

#include "dataset/dataset.h"
#include "dataset/datasetfiles.h"
#include "dataset/datasettables.h"
#include "io/atomicfile.h"

#include <QDataStream>
#include <QFile>
#include <QIODevice>
#include <QtEndian>

#include <zlib.h>

#include <sys/stat.h>

#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <thread>

namespace quillmap {

namespace {

constexpr quint32 Magic = 0x514d5353; // "QMSS"
constexpr quint32 Version = 1;

// What the answers depend on: the trait table and its counts and names, the SNP list and the
// SNP information file (places break ties and make loci), and summary.txt (the column names).
using Stamp = std::array<qint64, 30>;

Stamp stampOf(const QString &folder, const DatasetTables &tables)
{
    const QString paths[6] = {
        files::datasetFilePath(folder, files::TraitTable), files::datasetFilePath(folder, files::TraitCounts),
        files::datasetFilePath(folder, files::TraitList),  files::datasetFilePath(folder, files::SnpList),
        files::datasetFilePath(folder, files::Summary),    tables.snpInfoPath};
    Stamp stamp{};
    for (int i = 0; i < 6; ++i) {
        struct stat st { };
        if (::stat(QFile::encodeName(paths[i]).constData(), &st) != 0) {
            stamp[size_t(i * 5)] = -1;
            continue;
        }
        stamp[size_t(i * 5)] = qint64(st.st_dev);
        stamp[size_t(i * 5 + 1)] = qint64(st.st_ino);
        stamp[size_t(i * 5 + 2)] = qint64(st.st_size);
        stamp[size_t(i * 5 + 3)] = qint64(st.st_mtim.tv_sec);
        stamp[size_t(i * 5 + 4)] = qint64(st.st_mtim.tv_nsec);
    }
    return stamp;
}

quint32 checksum(QByteArrayView bytes)
{
    uLong crc = crc32(0L, Z_NULL, 0);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const qsizetype part = std::min<qsizetype>(bytes.size() - done, qsizetype(1) << 30);
        crc = crc32(crc, reinterpret_cast<const Bytef *>(bytes.data() + done), uInt(part));
        done += part;
    }
    return quint32(crc);
}

} // namespace

struct StudySummaries::Io {
    // A trait's QQ points as (expected, observed) pairs of big-endian doubles, a block at once:
    // a value at a time through the stream took longer than computing them.
    static void writePoints(QDataStream &out, const QqPoints &q, QByteArray &block)
    {
        block.resize(qsizetype(q.expected.size()) * 16);
        char *p = block.data();
        for (size_t k = 0; k < q.expected.size(); ++k, p += 16) {
            qToBigEndian(std::bit_cast<quint64>(q.expected[k]), p);
            qToBigEndian(std::bit_cast<quint64>(q.observed[k]), p + 8);
        }
        out.writeRawData(block.constData(), int(block.size()));
    }
    static bool readPoints(QDataStream &in, QqPoints &q, quint32 points)
    {
        QByteArray block(qsizetype(points) * 16, Qt::Uninitialized);
        if (in.readRawData(block.data(), int(block.size())) != block.size())
            return false;
        q.expected.resize(points);
        q.observed.resize(points);
        const char *p = block.constData();
        for (quint32 k = 0; k < points; ++k, p += 16) {
            q.expected[k] = std::bit_cast<double>(qFromBigEndian<quint64>(p));
            q.observed[k] = std::bit_cast<double>(qFromBigEndian<quint64>(p + 8));
        }
        return true;
    }

    static QByteArray encode(const StudySummaries &s, const Stamp &stamp)
    {
        QByteArray points;
        QByteArray bytes;
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_0);
        out << Magic << Version;
        for (const qint64 v : stamp)
            out << v;
        out << qint32(s.m_column.statistic) << s.m_column.negLog10 << DefaultThreshold << DefaultWindowBp;
        out << quint32(s.m_traits.size());
        for (size_t i = 0; i < s.m_traits.size(); ++i) {
            const TraitSummary &t = s.m_traits[i];
            const QqPoints &q = s.m_qq[i];
            out << qint32(t.traitIndex) << t.rows << t.pValues << t.bestScore << qint32(t.bestSnp)
                << t.lambda;
            out << q.count << q.maxExpected << q.maxObserved << quint32(q.expected.size());
            writePoints(out, q, points);
        }
        out << quint32(s.m_loci.size());
        for (const TopLocus &l : s.m_loci) {
            const ClumpCandidate &lead = l.locus.lead;
            out << qint32(l.traitIndex) << qint32(lead.snpIndex) << qint32(lead.chromosome) << lead.positionBp
                << lead.score << lead.value << qint32(l.locus.count);
        }
        out << checksum(bytes);
        return bytes;
    }

    // False for anything but a whole, matching file of this version.
    static bool decode(const QByteArray &bytes, const Stamp &stamp, PValueColumn column, StudySummaries &s)
    {
        if (bytes.size() < 12)
            return false;
        const QByteArrayView payload(bytes.constData(), bytes.size() - 4);
        QDataStream tail(bytes.sliced(bytes.size() - 4));
        quint32 stored = 0;
        tail >> stored;
        if (stored != checksum(payload))
            return false;
        QDataStream in(bytes);
        in.setVersion(QDataStream::Qt_6_0);
        quint32 magic = 0, version = 0;
        in >> magic >> version;
        if (magic != Magic || version != Version)
            return false;
        for (const qint64 v : stamp) {
            qint64 read = 0;
            in >> read;
            if (read != v)
                return false;
        }
        qint32 statistic = 0;
        bool negLog10 = false;
        double threshold = 0.0;
        qint64 window = 0;
        in >> statistic >> negLog10 >> threshold >> window;
        if (statistic != column.statistic || negLog10 != column.negLog10 || threshold != DefaultThreshold
            || window != DefaultWindowBp)
            return false;
        // Counts are checked against the bytes left before anything is allocated for them.
        const auto left = [&] { return qint64(payload.size()) - in.device()->pos(); };
        quint32 traits = 0;
        in >> traits;
        if (in.status() != QDataStream::Ok || qint64(traits) * 76 > left())
            return false;
        s.m_traits.resize(traits);
        s.m_qq.resize(traits);
        for (quint32 i = 0; i < traits; ++i) {
            TraitSummary &t = s.m_traits[i];
            QqPoints &q = s.m_qq[i];
            qint32 traitIndex = 0, bestSnp = 0;
            quint32 points = 0;
            in >> traitIndex >> t.rows >> t.pValues >> t.bestScore >> bestSnp >> t.lambda;
            in >> q.count >> q.maxExpected >> q.maxObserved >> points;
            if (in.status() != QDataStream::Ok || qint64(points) * 16 > left())
                return false;
            t.traitIndex = traitIndex;
            t.bestSnp = bestSnp;
            if (!readPoints(in, q, points))
                return false;
        }
        quint32 loci = 0;
        in >> loci;
        if (in.status() != QDataStream::Ok || qint64(loci) * 36 > left())
            return false;
        s.m_loci.resize(loci);
        for (TopLocus &l : s.m_loci) {
            qint32 traitIndex = 0, snp = 0, chromosome = 0, count = 0;
            ClumpCandidate &lead = l.locus.lead;
            in >> traitIndex >> snp >> chromosome >> lead.positionBp >> lead.score >> lead.value >> count;
            l.traitIndex = traitIndex;
            lead.snpIndex = snp;
            lead.chromosome = chromosome;
            l.locus.count = count;
        }
        return in.status() == QDataStream::Ok && left() == 0;
    }

    static Status compute(const Dataset &dataset, StudySummaries &s)
    {
        // Two halves of the records, each on a thread of its own, joined in trait order.
        const DatasetTables &tables = dataset.tables();
        const int traits = int(tables.traitNames.size());
        const qint64 records = traits > 0 ? tables.traitFirstRecord(traits - 1) : 0;
        int middle = 0;
        while (middle < traits && tables.traitFirstRecord(middle) < records / 2)
            ++middle;
        StudySummaries later;
        later.m_column = s.m_column;
        Status laterStatus;
        std::thread other;
        if (std::thread::hardware_concurrency() > 1 && middle > 0 && middle < traits)
            other = std::thread([&] { laterStatus = computeRange(dataset, later, middle, traits); });
        else
            middle = traits;
        const Status status = computeRange(dataset, s, 0, middle);
        if (other.joinable())
            other.join();
        if (!status)
            return status;
        if (!laterStatus)
            return laterStatus;
        const auto append = [](auto &to, auto &from) {
            to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
        };
        append(s.m_traits, later.m_traits);
        append(s.m_loci, later.m_loci);
        append(s.m_qq, later.m_qq);
        return status;
    }

    static Status computeRange(const Dataset &dataset, StudySummaries &s, int first, int last)
    {
        const DatasetTables &tables = dataset.tables();
        std::vector<float> values;
        return scanTraits(dataset, first, last, [&](const TraitRows &trait) {
            TraitSummary summary = summarizeTrait(tables, trait, s.m_column, values, false);
            traitLoci(tables, trait, s.m_column, DefaultThreshold, DefaultWindowBp, s.m_loci);
            // The band follows from the count alone; it is drawn from it when the plot is shown.
            QqPlotData qq = qqPlotOfValues(std::move(values), s.m_column.negLog10, 0.005, false);
            values = {};
            summary.lambda = qq.lambda;
            s.m_traits.push_back(summary);
            s.m_qq.push_back(
                {qq.count, qq.maxExpected, qq.maxObserved, std::move(qq.expected), std::move(qq.observed)});
            return true;
        });
    }
};

void StudySummaries::prepare(const QString &folder)
{
    if (const Result<std::shared_ptr<const Dataset>> loaded = Dataset::load(folder))
        (void)open(**loaded);
}

Result<std::shared_ptr<const StudySummaries>> StudySummaries::open(const Dataset &dataset)
{
    const QString &folder = dataset.folder();
    const DatasetTables &tables = dataset.tables();
    std::shared_ptr<StudySummaries> s(new StudySummaries);
    s->m_column = findPValueColumn(tables.statisticNames);
    const QString path = files::datasetFilePath(folder, FileName);
    const Stamp before = stampOf(folder, tables);
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.readAll();
        if (Io::decode(bytes, before, s->m_column, *s))
            return std::shared_ptr<const StudySummaries>(std::move(s));
        s.reset(new StudySummaries);
        s->m_column = findPValueColumn(tables.statisticNames);
    }
    s->m_computed = true;
    const Status scanned = Io::compute(dataset, *s);
    if (!scanned)
        return scanned.error();
    // A dataset replaced while it was scanned must not be stamped with the answers of the old
    // one; nor is a folder that cannot be written an error: the answers serve this session.
    if (stampOf(folder, tables) == before)
        AtomicFile::writeWhole(path, Io::encode(*s, before));
    return std::shared_ptr<const StudySummaries>(std::move(s));
}

QqPlotData StudySummaries::qqPlot(int traitIndex) const
{
    QqPlotData data;
    data.lambda = std::numeric_limits<double>::quiet_NaN();
    const auto it = std::lower_bound(m_traits.begin(), m_traits.end(), traitIndex,
                                     [](const TraitSummary &t, int index) { return t.traitIndex < index; });
    if (it == m_traits.end() || it->traitIndex != traitIndex)
        return data;
    const QqPoints &q = m_qq[size_t(it - m_traits.begin())];
    data.count = q.count;
    data.maxExpected = q.maxExpected;
    data.maxObserved = q.maxObserved;
    data.expected = q.expected;
    data.observed = q.observed;
    data.lambda = it->lambda;
    addQqBand(data);
    return data;
}

namespace {

bool isDefaultColumn(const DatasetTables &tables, PValueColumn column)
{
    const PValueColumn cached = findPValueColumn(tables.statisticNames);
    return column.valid() && column.statistic == cached.statistic && column.negLog10 == cached.negLog10;
}

} // namespace

TraitSummaries StudySummaries::listTraits(const Dataset &dataset, PValueColumn column, int firstTrait,
                                          int lastTrait)
{
    if (!isDefaultColumn(dataset.tables(), column))
        return summarizeTraits(dataset, column, firstTrait, lastTrait);
    TraitSummaries result;
    const auto cache = open(dataset);
    if (!cache) {
        result.outcome = cache.error();
        return result;
    }
    for (const TraitSummary &t : (*cache)->traits())
        if (t.traitIndex >= firstTrait && t.traitIndex < lastTrait)
            result.traits.push_back(t);
    return result;
}

TopLociResult StudySummaries::listLoci(const Dataset &dataset, PValueColumn column, double threshold,
                                       qint64 windowBp)
{
    if (!isDefaultColumn(dataset.tables(), column) || threshold != DefaultThreshold
        || windowBp != DefaultWindowBp)
        return quillmap::topLoci(dataset, column, threshold, windowBp);
    TopLociResult result;
    const auto cache = open(dataset);
    if (!cache)
        result.outcome = cache.error();
    else
        result.loci = (*cache)->topLoci();
    return result;
}

Result<QqPlotData> StudySummaries::traitQqPlot(const Dataset &dataset, PValueColumn column, int traitIndex)
{
    if (isDefaultColumn(dataset.tables(), column)) {
        const auto cache = open(dataset);
        if (!cache)
            return cache.error();
        return (*cache)->qqPlot(traitIndex);
    }
    std::vector<double> scores;
    const Status scan = scanTraits(dataset, traitIndex, traitIndex + 1, [&](const TraitRows &trait) {
        scores = traitScores(trait, column);
        return false;
    });
    if (!scan)
        return scan.error();
    return qqPlotData(std::move(scores));
}

} // namespace quillmap
