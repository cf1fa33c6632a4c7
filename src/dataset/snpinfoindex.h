#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "dataset/rowrecord.h"

#include <functional>
#include <iterator>
#include <memory>
#include <vector>

class QFile;

namespace quillmap {

// The SNP information file of a dataset, as the panels read it: per data line (0-based, the
// header not counted) its text, chromosome and position, a lookup of SNP names, and the data
// line of every SNP of SNPlist.dat. Built once and cached in the dataset folder as
// `SNPinfo.idx`, which holds a copy of the file's text without line ends (decompressed when the
// file is gzipped), the parsed chromosome and position columns, the name hash table and the
// SNPlist.dat index -> line table. Later opens map that file instead of reading anything, so a
// dataset of tens of millions of SNPs opens in well under a second and its pages are only read
// when a line is used. The line starts and the text, the larger part, are read from the file
// rather than through the map: for every page a lookup touches the kernel maps the 64 KiB
// around it, so a region's few thousand lines scattered over the file would otherwise keep
// hundreds of megabytes resident.
//
// The cache names the size, modification time and a hash of the first and last 64 KiB of both
// the SNP information file and SNPlist.dat it was built from; any difference, or a cache that
// is truncated, of another version or byte order, or whose header does not match its checksum,
// is ignored and rebuilt. Every read is bounds-checked, so damage inside the arrays gives wrong
// values at worst, never a read outside the file. The cache is replaced only by renaming a
// finished file over it, so a mapped cache never shrinks under a reader. When the folder cannot
// be written the index is kept in memory for this session.
class SnpInfoIndex final
{
public:
    static constexpr char FileName[] = "SNPinfo.idx";

    struct Opened {
        std::shared_ptr<const SnpInfoIndex> index; // null on failure
        QString error;                             // why the SNP information file was unreadable
        bool built = false;                        // the cache was missing, stale or damaged
        bool cached = false;                       // the index lives in the folder's cache file
    };
    // Opens the cache in `folder` for the SNP information file `snpInfoPath` and the SNP list
    // `snpListPath`, building (and caching) it when needed. Fails only when one of the two
    // files cannot be read.
    static Opened open(const QString &folder, const QString &snpInfoPath, const QString &snpListPath);

    SnpInfoIndex(const SnpInfoIndex &) = delete;
    SnpInfoIndex &operator=(const SnpInfoIndex &) = delete;
    ~SnpInfoIndex();

    qint64 lineCount() const { return m_lineCount; }
    // Lines of SNPlist.dat.
    qint64 nameCount() const { return m_nameCount; }
    // First SNP index of SNPlist.dat that names no line of the SNP information file; -1 if none.
    qint64 firstUnlistedName() const { return m_firstUnlisted; }

    // Data line `line` as read, without its line end; empty outside the file (or when the
    // cache cannot be read).
    QByteArray lineText(qint64 line) const;
    // The data lines `lines` (any order; a line outside the file is empty), each handed to
    // `use` with its place in `lines`, in that order: read in file order a few large reads at a
    // time, for a scan over a whole trait where one read a line would cost more than the scan.
    // Holds the text of all of them meanwhile.
    void readLines(const std::vector<qint32> &lines,
                   const std::function<void(size_t, QByteArrayView)> &use) const;
    // Data line `line` and the bytes of the name of `snpIndex` within it, through the mapped
    // cache: for scans that visit most lines of the file, where a read a line would cost more
    // than the scan. Valid while the index lives; every page touched stays resident until then.
    QByteArrayView mappedLine(qint64 line) const { return imageText(line); }
    QByteArrayView nameIn(qint64 snpIndex, QByteArrayView line) const { return nameBytes(snpIndex, line); }
    // Some name of SNPlist.dat holds a tab, so a line's name may run past its first tab.
    bool hasTabbedNames() const { return !m_tabbedNames.isEmpty(); }
    int chromosome(qint64 line) const; // 23 for "X"; 0 outside the file
    // Mb; 0 outside the file
    double position(qint64 line) const { return line >= 0 && line < m_lineCount ? m_positions[line] : 0.0; }
    // Data line of SNP index `snpIndex`; -1 when out of range or without a line.
    qint32 lineOfName(qint64 snpIndex) const
    {
        if (snpIndex < 0 || snpIndex >= m_nameCount)
            return -1;
        const qint32 line = m_lineOf[snpIndex];
        return line >= 0 && line < m_lineCount ? line : -1;
    }
    // chromosome() and position() of the line of each row's SNP, for a whole read at once;
    // position NaN (chromosome 0) for a SNP without a line.
    void placeRows(const RowRecord *rows, size_t count, int *chromosomes, double *positions) const;
    // Hints for a scan that visits lines in an order of its own (a trait's rows come in genome
    // order): each look-up would wait on memory, so the scan asks for the ones a few rows ahead.
    // lineOfName() of `snpIndex`; chromosome(), position() and where the text of `line` starts;
    // that text (after prefetchLine of the same line). An index out of range asks for the
    // first entry: GCC drops a prefetch under a condition.
    void prefetchLineOf(qint64 snpIndex) const
    {
        if (m_nameCount > 0)
            __builtin_prefetch(m_lineOf + inRange(snpIndex, m_nameCount));
    }
    void prefetchLine(qint64 line) const
    {
        if (m_lineCount > 0) {
            line = inRange(line, m_lineCount);
            __builtin_prefetch(m_offsets + line);
            __builtin_prefetch(m_chromosomes + line);
            __builtin_prefetch(m_positions + line);
        }
    }
    void prefetchText(qint64 line) const
    {
        if (m_lineCount > 0)
            __builtin_prefetch(m_text + inRange(m_offsets[inRange(line, m_lineCount)], m_textBytes));
    }
    // Line `snpIndex` of SNPlist.dat, decoded as UTF-8; empty when out of range.
    QString name(qint64 snpIndex) const;
    // name() of each of `snpIndexes`, read as readLines() reads.
    std::vector<QString> names(const std::vector<qint32> &snpIndexes) const;
    // Last data line whose SNP name is `name` (UTF-8 bytes, or the decoded text of a name that
    // is not UTF-8); -1 when there is none.
    qint32 findLine(QByteArrayView name) const;

private:
    SnpInfoIndex() = default;
    static qint64 inRange(qint64 k, qint64 count) { return quint64(k) < quint64(count) ? k : 0; }
    struct Header;
    friend struct SnpInfoIndexBuilder;
    friend struct SnpInfoIndexMapper;

    // Points the arrays into `base` after checking its header and layout; false when damaged.
    bool attach(const uchar *base, qint64 size);
    bool lineHasName(qint32 line, QByteArrayView name) const;
    // Reads `lines` from the cache file in file order, each distinct line once, and hands every
    // place k of `lines` to use(k, distinct line number, text) in that order; a line outside
    // the file gets distinct number SIZE_MAX and no text.
    void gatherLines(const std::vector<qint32> &lines,
                     const std::function<void(size_t, size_t, QByteArrayView)> &use) const;
    // Line `line` through the pointers: the image in memory, or the map while it is attached.
    QByteArrayView imageText(qint64 line) const
    {
        if (line < 0 || line >= m_lineCount)
            return QByteArrayView();
        const qint64 start = m_offsets[line];
        const qint64 end = m_offsets[line + 1];
        if (start < 0 || start > end || end > m_textBytes)
            return QByteArrayView();
        return QByteArrayView(m_text + start, end - start);
    }
    // The bytes of the name of `snpIndex` within its data line `line`.
    QByteArrayView nameBytes(qint64 snpIndex, QByteArrayView line) const;

    std::unique_ptr<QFile> m_file;     // the mapped cache, or null
    qint64 m_offsetsAt = 0;            // where the line starts lie in the cache file
    qint64 m_textAt = 0;               // where the text lies in the cache file
    std::unique_ptr<quint64[]> m_heap; // the image when it could not be cached
    qint64 m_lineCount = 0;
    qint64 m_nameCount = 0;
    qint64 m_firstUnlisted = -1;
    qint64 m_textBytes = 0;
    quint64 m_slotMask = 0;
    const qint64 *m_offsets = nullptr;     // lineCount + 1 starts in m_text
    const qint32 *m_chromosomes = nullptr; // lineCount
    const double *m_positions = nullptr;   // lineCount
    const qint32 *m_slots = nullptr;       // (line, upper hash bits) pairs, -1 = empty
    const qint32 *m_lineOf = nullptr;      // nameCount
    const char *m_text = nullptr;
    // Names that are not UTF-8, by their decoded text -> last line (usually empty).
    QHash<QByteArray, qint32> m_decodedLines;
    // SNP indexes whose SNPlist.dat name holds a tab -> the name's length in bytes.
    QHash<qint64, qint32> m_tabbedNames;
};

// SNPlist.dat as a list of names, read through the SNP information index: one entry per line,
// index = SNP index. Cheap to copy (the index is shared).
class SnpNameList
{
public:
    SnpNameList() = default;
    explicit SnpNameList(std::shared_ptr<const SnpInfoIndex> index);

    qsizetype size() const { return m_index ? qsizetype(m_index->nameCount()) : 0; }
    bool isEmpty() const { return size() == 0; }
    QString at(qsizetype i) const { return m_index->name(i); }
    QString value(qsizetype i) const { return m_index ? m_index->name(i) : QString(); }
    QStringList toStringList() const;

    class const_iterator
    {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = QString;
        using difference_type = qsizetype;
        using pointer = void;
        using reference = QString;
        const_iterator() = default;
        const_iterator(const SnpNameList *list, qsizetype i)
            : m_list(list),
              m_i(i)
        {
        }
        QString operator*() const { return m_list->at(m_i); }
        QString operator[](qsizetype k) const { return m_list->at(m_i + k); }
        const_iterator &operator++()
        {
            ++m_i;
            return *this;
        }
        const_iterator operator++(int)
        {
            const_iterator old = *this;
            ++m_i;
            return old;
        }
        const_iterator &operator--()
        {
            --m_i;
            return *this;
        }
        const_iterator &operator+=(qsizetype k)
        {
            m_i += k;
            return *this;
        }
        const_iterator &operator-=(qsizetype k)
        {
            m_i -= k;
            return *this;
        }
        const_iterator operator+(qsizetype k) const { return const_iterator(m_list, m_i + k); }
        const_iterator operator-(qsizetype k) const { return const_iterator(m_list, m_i - k); }
        qsizetype operator-(const_iterator other) const { return m_i - other.m_i; }
        bool operator==(const const_iterator &other) const { return m_i == other.m_i; }
        bool operator!=(const const_iterator &other) const { return m_i != other.m_i; }
        bool operator<(const const_iterator &other) const { return m_i < other.m_i; }

    private:
        const SnpNameList *m_list = nullptr;
        qsizetype m_i = 0;
    };
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, size()); }
    const_iterator cbegin() const { return begin(); }
    const_iterator cend() const { return end(); }

private:
    std::shared_ptr<const SnpInfoIndex> m_index;
};

} // namespace quillmap
