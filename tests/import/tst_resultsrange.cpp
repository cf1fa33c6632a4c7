#include "import/resultsrange.h"

#include <QTemporaryFile>
#include <QTest>

using quillmap::ResultsLayout;
using quillmap::ResultsRange;

class tst_ResultsRange : public QObject
{
    Q_OBJECT
private slots:
    void rangesOfEverySizeReadLikeOne_data();
    void rangesOfEverySizeReadLikeOne();
};

void tst_ResultsRange::rangesOfEverySizeReadLikeOne_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<qint64>("lines");     // good data lines before the first bad one
    QTest::addColumn<QByteArray>("error"); // its report line, or empty
    QTest::addColumn<QByteArray>("snps");  // SNP names in order of first appearance

    const QByteArray header = "Probe\tSNP\tp\tbeta\n";
    QTest::newRow("good") << header + "A\trs2\t0.5\t1\nA\trs1\t0.1\t2\nB\trs2\t1e-5\t-3\n"
                          << qint64(3) << QByteArray() << QByteArray("rs2 rs1");
    QTest::newRow("crlf, no last line end")
        << QByteArray("Probe\tSNP\tp\tbeta\r\nA\trs1\t0.5\t1\r\nB\trs3\t0.1\t2") << qint64(2) << QByteArray()
        << QByteArray("rs1 rs3");
    QTest::newRow("bad third line") << header + "A\trs1\t0.5\t1\nA\trs2\t0.5\t1\nA\trs3\tx\t1\nA\trs4\t1\t1\n"
                                    << qint64(2) << QByteArray("error : 3th line has invalid numeric number!")
                                    << QByteArray("rs1 rs2");
    QTest::newRow("empty line") << header + "A\trs1\t0.5\t1\n\nA\trs2\t1\t1\n"
                                << qint64(1) << QByteArray("error : 2th line has different column numbers!")
                                << QByteArray("rs1");
    QTest::newRow("header only") << header << qint64(0) << QByteArray() << QByteArray();
}

// Tiling the data with ranges of any size, starting anywhere, gives the lines of one range.
void tst_ResultsRange::rangesOfEverySizeReadLikeOne()
{
    QFETCH(QByteArray, file);
    QFETCH(qint64, lines);
    QFETCH(QByteArray, error);
    QFETCH(QByteArray, snps);
    const qsizetype nl = file.indexOf('\n');
    const QByteArrayView headerLine = QByteArrayView(file).first(nl).chopped(file[nl - 1] == '\r' ? 1 : 0);
    const ResultsLayout layout = ResultsLayout::fromHeader(headerLine, nl + 1);
    QTemporaryFile onDisk;
    QVERIFY(onDisk.open() && onDisk.write(file) == file.size() && onDisk.flush());
    for (qint64 size = 1; size <= file.size(); ++size) {
        qint64 before = 0;
        QByteArray gotError;
        QList<QByteArray> gotSnps;
        for (qint64 begin = 0; begin < file.size() && gotError.isEmpty(); begin += size) {
            const ResultsRange range = quillmap::parseResultsRange(QByteArrayView(file), begin, begin + size,
                                                                   layout);
            QVERIFY(!range.readFailed);
            QCOMPARE(range.rows.size(), range.lines);
            const ResultsRange read = quillmap::parseResultsRange(onDisk.fileName(), begin, begin + size,
                                                                  layout);
            QCOMPARE(read.begin, range.begin);
            QCOMPARE(read.end, range.end);
            QCOMPARE(read.lines, range.lines);
            for (qint32 id = 0; id < range.snps.size(); ++id) {
                if (!gotSnps.contains(range.snps.nameAt(id)))
                    gotSnps << range.snps.nameAt(id).toByteArray();
            }
            if (range.error)
                gotError = range.error->reportLine(before);
            before += range.lines;
        }
        QCOMPARE(before, lines);
        QCOMPARE(gotError, error);
        QCOMPARE(gotSnps.join(' '), snps);
    }
}

QTEST_GUILESS_MAIN(tst_ResultsRange)
#include "tst_resultsrange.moc"
