#include "io/linereader.h"
#include "support/compressed.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <zlib.h>
#include <zstd.h>

using namespace quillmap;

namespace {

// The lines of a file (a path) or of bytes in memory.
template <typename Source>
QList<QByteArray> readLines(const Source &source, bool *failed = nullptr)
{
    LineReader reader;
    if (!reader.open(source))
        return {"<cannot open>"};
    QList<QByteArray> lines;
    QByteArrayView line;
    while (reader.readLine(line))
        lines << line.toByteArray();
    if (failed)
        *failed = reader.failed();
    return lines;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool writeGzip(const QString &path, const QByteArray &bytes)
{
    gzFile gz = gzopen(QFile::encodeName(path).constData(), "wb");
    if (!gz)
        return false;
    const bool ok = bytes.isEmpty() || gzwrite(gz, bytes.constData(), unsigned(bytes.size())) == bytes.size();
    return gzclose(gz) == Z_OK && ok;
}

bool writeZstd(const QString &path, const QByteArray &bytes)
{
    QByteArray packed(qsizetype(ZSTD_compressBound(size_t(bytes.size()))), '\0');
    const size_t size = ZSTD_compress(packed.data(), size_t(packed.size()), bytes.constData(),
                                      size_t(bytes.size()), 3);
    return !ZSTD_isError(size) && writeFile(path, packed.left(qsizetype(size)));
}

// Rows "row<TAB>N" from `first` on, as one block of text.
QByteArray rows(int first, int count)
{
    QByteArray text;
    for (int i = first; i < first + count; ++i)
        text += "row\t" + QByteArray::number(i) + '\n';
    return text;
}

QList<QByteArray> rowLines(int count)
{
    QList<QByteArray> lines;
    for (int i = 0; i < count; ++i)
        lines << "row\t" + QByteArray::number(i);
    return lines;
}

// `bytes` with the middle of [from, from + length) overwritten.
QByteArray damaged(QByteArray bytes, qsizetype from, qsizetype length)
{
    for (qsizetype i = from + length / 4; i < from + length * 3 / 4; ++i)
        bytes[i] = char(0xA5 ^ i);
    return bytes;
}

} // namespace

class tst_LineReader final : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void lineLongerThanTheBuffer();
    void missingFile();
    void damagedGzip();
    void truncatedGzip();
    void compressedFiles_data();
    void compressedFiles();
};

void tst_LineReader::lines_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QList<QByteArray>>("expected");

    using L = QList<QByteArray>;
    QTest::newRow("empty file") << QByteArray() << L{};
    QTest::newRow("single line feed is one empty line") << QByteArray("\n") << L{""};
    QTest::newRow("ending line feed adds no line") << QByteArray("a\nb\n") << L{"a", "b"};
    QTest::newRow("last line without line feed") << QByteArray("a\nb") << L{"a", "b"};
    QTest::newRow("CRLF") << QByteArray("a\r\nb\r\n") << L{"a", "b"};
    QTest::newRow("empty CRLF line") << QByteArray("\r\n\r\nx") << L{"", "", "x"};
    QTest::newRow("blank line inside") << QByteArray("a\n\nb\n") << L{"a", "", "b"};
    QTest::newRow("lone CR stays in the line") << QByteArray("a\rb\n") << L{"a\rb"};
    QTest::newRow("tabs kept") << QByteArray("\ta\t\n") << L{"\ta\t"};
    QTest::newRow("byte order mark skipped") << QByteArray("\xEF\xBB\xBFh\tx\nd\n") << L{"h\tx", "d"};
    QTest::newRow("only a byte order mark") << QByteArray("\xEF\xBB\xBF") << L{""};
    QTest::newRow("mark later on is data") << QByteArray("a\n\xEF\xBB\xBF"
                                                         "b")
                                           << L{"a",
                                                "\xEF\xBB\xBF"
                                                "b"};
    QTest::newRow("UTF-8 names") << QByteArray("\xC3\xA9\t\xF0\x9F\x98\x80\n")
                                 << L{"\xC3\xA9\t\xF0\x9F\x98\x80"};
}

void tst_LineReader::lines()
{
    QFETCH(QByteArray, content);
    QFETCH(QList<QByteArray>, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString plain = dir.filePath(QStringLiteral("plain.txt"));
    const QString packed = dir.filePath(QStringLiteral("packed.txt.gz"));
    QVERIFY(writeFile(plain, content));
    QVERIFY(writeGzip(packed, content));
    bool failed = true;
    QCOMPARE(readLines(plain, &failed), expected);
    QVERIFY(!failed);
    QCOMPARE(readLines(packed, &failed), expected);
    QVERIFY(!failed);
    QCOMPARE(readLines(content, &failed), expected);
    QVERIFY(!failed);
    const QString zstd = dir.filePath(QStringLiteral("packed.txt.zst"));
    QVERIFY(writeZstd(zstd, content));
    QCOMPARE(readLines(zstd, &failed), expected);
    QVERIFY(!failed);
    QByteArray zstdWhole;
    QVERIFY(LineReader::readFile(zstd, zstdWhole));
    QCOMPARE(zstdWhole, content.startsWith("\xEF\xBB\xBF") ? content.mid(3) : content);
    // Gzip is known by its content, not by the name; the whole-file read gives the same text.
    const QString packedAsText = dir.filePath(QStringLiteral("packed.txt"));
    QVERIFY(QFile::rename(packed, packedAsText));
    QCOMPARE(readLines(packedAsText, &failed), expected);
    QByteArray whole;
    QVERIFY(LineReader::readFile(packedAsText, whole));
    QByteArray plainWhole;
    QVERIFY(LineReader::readFile(plain, plainWhole));
    QCOMPARE(whole, plainWhole);
    QCOMPARE(whole, content.startsWith("\xEF\xBB\xBF") ? content.mid(3) : content);
}

void tst_LineReader::lineLongerThanTheBuffer()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Lines that straddle the 4 MiB read chunks and one longer than a chunk.
    QByteArray content;
    QList<QByteArray> expected;
    for (int i = 0; i < 300000; ++i) {
        expected << "line" + QByteArray::number(i);
        content += expected.last() + '\n';
    }
    expected << QByteArray(9 << 20, 'x');
    content += expected.last() + "\r\n";
    expected << "tail";
    content += "tail";
    const QString path = dir.filePath(QStringLiteral("long.txt"));
    QVERIFY(writeFile(path, content));
    bool failed = true;
    QCOMPARE(readLines(path, &failed), expected);
    QVERIFY(!failed);
    QVERIFY(writeGzip(path + QStringLiteral(".gz"), content));
    QCOMPARE(readLines(path + QStringLiteral(".gz"), &failed), expected);
    QVERIFY(!failed);
}

void tst_LineReader::missingFile()
{
    LineReader reader;
    QVERIFY(!reader.open(QStringLiteral("/nonexistent/file.txt")));
    QVERIFY(!reader.open(QStringLiteral("/nonexistent/file.txt.gz")));
    QByteArrayView line;
    QVERIFY(!reader.readLine(line));
}

void tst_LineReader::damagedGzip()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("bad.gz"));
    QByteArray content;
    for (int i = 0; i < 20000; ++i)
        content += "row\t" + QByteArray::number(i * 7919) + '\n';
    QVERIFY(writeGzip(path, content));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    for (qsizetype i = bytes.size() / 2; i < bytes.size(); ++i)
        bytes[i] = char(0xA5 ^ i);
    file.seek(0);
    file.write(bytes);
    file.close();
    bool failed = false;
    readLines(path, &failed);
    QVERIFY(failed);
}

void tst_LineReader::truncatedGzip()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("cut.gz"));
    QByteArray content;
    for (int i = 0; i < 20000; ++i)
        content += "row\t" + QByteArray::number(i * 7919) + '\n';
    QVERIFY(writeGzip(path, content));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.resize(file.size() / 2));
    file.close();
    bool failed = false;
    const QList<QByteArray> lines = readLines(path, &failed);
    QVERIFY(failed);
    QVERIFY(lines.size() < 20000);
    // Every line handed out is whole; the cut one is not handed out.
    for (qsizetype i = 0; i < lines.size(); ++i)
        QCOMPARE(lines.at(i), "row\t" + QByteArray::number(i * 7919));
}

// Files of several gzip members or zstd frames: each is read to its end, and whatever follows the
// last one but zero bytes (which gzip -t lets pass) fails the read, as does any damaged one.
void tst_LineReader::compressedFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QList<QByteArray>>("expected"); // the whole text when read to its end
    QTest::addColumn<bool>("readable");

    const QByteArray gz1 = gzipMember(rows(0, 3000));
    const QByteArray gz2 = gzipMember(rows(3000, 3000));
    const QList<QByteArray> all = rowLines(6000);
    QTest::newRow("gzip two members") << gz1 + gz2 << all << true;
    QByteArray blocks;
    for (int i = 0; i < 6000; i += 500)
        blocks += gzipMember(rows(i, 500));
    QTest::newRow("gzip blocks and an empty last member") << blocks + gzipMember({}) << all << true;
    QTest::newRow("gzip trailing zero bytes") << gz1 + gz2 + QByteArray(37, '\0') << all << true;
    QTest::newRow("gzip second member damaged") << damaged(gz1 + gz2, gz1.size(), gz2.size()) << all << false;
    QTest::newRow("gzip second member's header damaged")
        << gz1 + QByteArray("\x1f\x8c") + gz2.mid(2) << all << false;
    QTest::newRow("gzip second member cut") << gz1 + gz2.left(gz2.size() / 2) << all << false;
    QTest::newRow("gzip second member cut in its header") << gz1 + gz2.left(1) << all << false;
    QTest::newRow("gzip trailing garbage") << gz1 + gz2 + "garbage\n" << all << false;
    QTest::newRow("gzip zero bytes then garbage") << gz1 + gz2 + QByteArray(8, '\0') + "x" << all << false;

    const QByteArray zs1 = zstdFrame(rows(0, 3000));
    const QByteArray zs2 = zstdFrame(rows(3000, 3000));
    QTest::newRow("zstd two frames") << zs1 + zs2 << all << true;
    // A skippable frame: magic, little-endian length, that many bytes.
    const QByteArray skippable = QByteArray("\x50\x2a\x4d\x18\x03\x00\x00\x00"
                                            "abc",
                                            11);
    QTest::newRow("zstd skippable frame first") << skippable + zs1 + zs2 << all << true;
    QTest::newRow("zstd second frame damaged") << damaged(zs1 + zs2, zs1.size(), zs2.size()) << all << false;
    QTest::newRow("zstd second frame cut") << zs1 + zs2.left(zs2.size() / 2) << all << false;
    QTest::newRow("zstd trailing garbage") << zs1 + zs2 + "garbage\n" << all << false;
}

void tst_LineReader::compressedFiles()
{
    QFETCH(QByteArray, file);
    QFETCH(QList<QByteArray>, expected);
    QFETCH(bool, readable);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("results.txt"));
    QVERIFY(writeFile(path, file));
    bool failed = readable;
    const QList<QByteArray> lines = readLines(path, &failed);
    QCOMPARE(failed, !readable);
    if (readable)
        QCOMPARE(lines, expected);
    else
        QCOMPARE(lines, expected.first(lines.size())); // whole lines only, in order
    QByteArray whole;
    QCOMPARE(LineReader::readFile(path, whole), readable);
}

QTEST_GUILESS_MAIN(tst_LineReader)
#include "tst_linereader.moc"
