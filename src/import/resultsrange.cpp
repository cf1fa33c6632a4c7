#include "import/resultsrange.h"

#include "io/linereader.h"
#include "import/numberparse.h"
#include "io/positionedio.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>

namespace quillmap {

namespace {

ResultsLineError invalidLine(qint64 line, QByteArray detail, bool spaceAfter = false)
{
    return {ResultsLineError::Kind::Validation, line, std::move(detail), spaceAfter};
}

// Parses the whole lines in `bytes`, which start at byte `offset` of the file.
ResultsRange parseLines(QByteArrayView bytes, qint64 offset, const ResultsLayout &layout, qint64 maxLines)
{
    ResultsRange range;
    range.begin = offset;
    range.end = offset + bytes.size();
    const size_t width = size_t(layout.statsPerRow());
    range.rows.reset(int(width));
    range.lostCount.assign(size_t(layout.fields), 0);
    range.lostFirst.assign(size_t(layout.fields), 0);
    // The names stay in `bytes` until their batch is looked up.
    NamePairBatch batch(bytes);
    std::vector<float> stats(NamePairBatch::Capacity * width);
    std::vector<QByteArrayView> fields;
    auto storeBatch = [&]() {
        batch.lookUp(range.traits, range.snps, [&](size_t j, qint32 trait, qint32 snp) {
            range.rows.append(trait, snp, stats.data() + j * width);
        });
    };
    range.error = forEachRangeLine(bytes, maxLines, [&](QByteArrayView line, qint64 n) {
        float *lineStats = stats.data() + batch.size() * width;
        std::optional<ResultsLineError> error = parseResultsLine(line, n, layout, fields, lineStats,
                                                                 range.lostCount, range.lostFirst);
        if (!error && batch.add(fields[0], fields[1], range.snps))
            storeBatch();
        return error;
    });
    storeBatch();
    range.lines = range.rows.size();
    return range;
}

// Where the lines starting within [begin, end) lie in a file of `size` bytes, given
// newlineAt(from): the offset of the first line feed at or after `from`, or `size`.
std::pair<qint64, qint64> alignRange(qint64 begin, qint64 end, qint64 size, const ResultsLayout &layout,
                                     const std::function<bool(qint64)> &isNewline,
                                     const std::function<qint64(qint64)> &newlineAt)
{
    begin = std::clamp(begin, layout.dataBegin, size);
    end = std::clamp(end, begin, size);
    if (begin == end)
        return {begin, begin};
    qint64 start = begin;
    if (begin > layout.dataBegin && !isNewline(begin - 1))
        start = std::min(newlineAt(begin) + 1, size);
    if (start >= end)
        return {start, start};
    return {start, std::min(newlineAt(end - 1) + 1, size)};
}

} // namespace

ResultsLayout ResultsLayout::fromHeader(QByteArrayView header, qint64 dataBegin)
{
    ResultsLayout layout;
    layout.header = header.toByteArray().split('\t');
    layout.fields = layout.header.size();
    layout.negLog10.assign(size_t(layout.fields), 0);
    layout.dataBegin = dataBegin;
    return layout;
}

std::optional<ResultsLayout> readResultsLayout(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray head;
    while (!file.atEnd() && !head.contains('\n')) {
        const QByteArray more = file.read(qint64(1) << 16);
        if (more.isEmpty())
            return std::nullopt;
        head += more;
    }
    const qsizetype nl = head.indexOf('\n');
    const qint64 dataBegin = nl < 0 ? head.size() : nl + 1;
    QByteArrayView header = QByteArrayView(head).first(nl < 0 ? head.size() : nl);
    if (header.endsWith('\r') && nl >= 0)
        header.chop(1);
    if (header.startsWith("\xEF\xBB\xBF"))
        header = header.sliced(3);
    ResultsLayout layout = ResultsLayout::fromHeader(header, dataBegin);
    if (layout.fields < 3)
        return std::nullopt;
    return layout;
}

QByteArray ResultsLineError::reportLine(qint64 linesBefore) const
{
    return "error : " + QByteArray::number(linesBefore + line) + detail;
}

QString ResultsLineError::text(qint64 linesBefore) const
{
    QString shown = QString::fromUtf8(reportLine(linesBefore));
    if (spaceAfter)
        shown += QLatin1Char(' ');
    return shown;
}

std::optional<ResultsLineError> parseResultsLine(QByteArrayView text, qint64 line,
                                                 const ResultsLayout &layout,
                                                 std::vector<QByteArrayView> &fields, float *stats,
                                                 std::vector<qint64> &lostCount,
                                                 std::vector<qint64> &lostFirst)
{
    splitTabs(text, fields, layout.fields);
    if (qsizetype(fields.size()) != layout.fields)
        return invalidLine(line, "th line has different column numbers!");
    for (qsizetype k = 2; k < layout.fields; ++k) {
        const QByteArrayView field = fields[size_t(k)];
        std::optional<float> value;
        bool lost = false;
        if (!layout.negLog10[size_t(k)]) {
            value = parseStatistic(field, &lost);
        } else {
            const NegLog10 p = negLog10(field);
            if (p.status == NegLog10::Status::Ok) {
                value = float(p.value);
            } else if (p.status != NegLog10::Status::NotANumber) {
                return invalidLine(line,
                                   "th line has " + field.toByteArray() + " in column "
                                       + layout.header.value(k)
                                       + (p.status == NegLog10::Status::Zero
                                              ? QByteArray(", a p-value of 0 has no -log10!")
                                              : QByteArray(", which is not a p-value between 0 and 1!")));
            }
        }
        if (!value)
            return invalidLine(line, "th line has invalid numeric number!", true);
        if (lost && lostCount[size_t(k)]++ == 0)
            lostFirst[size_t(k)] = line;
        stats[k - 2] = *value;
    }
    // Readers of the name lists take "\r\n" for a line end, so a name ending in "\r" would come
    // back without it and match nothing.
    if (fields[0].endsWith('\r') || fields[1].endsWith('\r'))
        return invalidLine(line, "th line has a name ending in a carriage return!");
    return std::nullopt;
}

ResultsRange parseResultsRange(QByteArrayView file, qint64 begin, qint64 end, const ResultsLayout &layout,
                               qint64 maxLines)
{
    const qint64 size = file.size();
    const auto [start, stop] = alignRange(
        begin, end, size, layout, [&](qint64 at) { return file[at] == '\n'; },
        [&](qint64 from) {
            const void *nl = std::memchr(file.data() + from, '\n', size_t(size - from));
            return nl ? qint64(static_cast<const char *>(nl) - file.data()) : size;
        });
    return parseLines(file.sliced(start, stop - start), start, layout, maxLines);
}

bool readResultsRangeBytes(const QString &path, qint64 begin, qint64 end, const ResultsLayout &layout,
                           QByteArray &bytes, qint64 &start)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    const qint64 size = qint64(info.st_size);
    bool ok = true;
    auto isNewline = [&](qint64 at) {
        char c = 0;
        ok = ok && readAt(fd, &c, 1, at);
        return c == '\n';
    };
    auto newlineAt = [&](qint64 from) {
        char block[1 << 16];
        while (ok && from < size) {
            const qint64 want = std::min<qint64>(qint64(sizeof block), size - from);
            ok = readAt(fd, block, want, from);
            if (const void *nl = ok ? std::memchr(block, '\n', size_t(want)) : nullptr)
                return from + (static_cast<const char *>(nl) - block);
            from += want;
        }
        return size;
    };
    const auto [first, stop] = alignRange(begin, end, size, layout, isNewline, newlineAt);
    if (!ok)
        return false;
    bytes.resize(qsizetype(stop - first)); // keeps the capacity of a buffer used before
    start = first;
    return readAt(fd, bytes.data(), stop - first, first);
}

ResultsRange parseResultsRange(const QString &path, qint64 begin, qint64 end, const ResultsLayout &layout,
                               qint64 maxLines)
{
    QByteArray bytes;
    qint64 start = 0;
    if (!readResultsRangeBytes(path, begin, end, layout, bytes, start)) {
        ResultsRange failed;
        failed.readFailed = true;
        return failed;
    }
    return parseLines(bytes, start, layout, maxLines);
}

} // namespace quillmap
