#include "io/linereader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <zlib.h>

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

QTEST_GUILESS_MAIN(tst_LineReader)
#include "tst_linereader.moc"
