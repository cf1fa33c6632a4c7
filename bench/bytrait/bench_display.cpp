// Times the By Trait tab on a trait with N result rows: the panel's construction (loading the
// dataset tables), the display (records, table, information pane, plot) and a sort by position.
//
//   quillmap-bench-display FOLDER N K
#include "bytrait/byid.h"
#include "common/sharedstate.h"
#include "dataset/positionbin.h"
#include "dataset/resultrecord.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QMap>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <vector>

namespace {

void writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size())
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

QByteArray snpName(int i)
{
    return "rs" + QByteArray::number(i).rightJustified(9, '0');
}

// One trait "BIG" with a row for every SNP, then a small trait "SMALL".
void generate(const QString &folder, int n)
{
    QDir().mkpath(folder);
    const QString snpPath = folder + QStringLiteral("/snp_info.txt");
    const QString traitPath = folder + QStringLiteral("/trait_info.txt");
    QByteArray summary = (folder + QStringLiteral("/results.txt\t") + snpPath + QLatin1Char('\t')
                          + traitPath + QLatin1Char('\n')).toUtf8();
    summary += "Header of the columns for main table:\ttrait\tsnp\tp\tbeta\n";
    summary += "Header of the columns for snp table:\tSNP\tchr\tpos\tgene\n";
    summary += "number of extra trait columns\t1\nnumber of extra snp columns\t1\n";
    summary += "Trait Num :\t 2\nSNP Num :\t " + QByteArray::number(n) + '\n';
    writeFile(folder + QStringLiteral("/summary.txt"), summary);

    QByteArray names, info("SNP\tchr\tpos\tgene\n");
    QMap<int, int> bins;
    std::vector<qint16> binOfSnp(static_cast<size_t>(n), 0);
    for (int i = 0; i < n; ++i) {
        names += snpName(i) + '\n';
        const int chr = i % 23 + 1;
        const double pos = (i / 23 % 240000) * 0.001;
        info += snpName(i) + '\t' + (chr == 23 ? QByteArray("X") : QByteArray::number(chr)) + '\t'
            + QByteArray::number(pos, 'f', 6) + "\tGENE" + QByteArray::number(i % 20000) + '\n';
        binOfSnp[size_t(i)] = quillmap::positionBin(chr, pos).value_or(0);
        bins[binOfSnp[size_t(i)]] += i < 10 ? 2 : 1;
    }
    writeFile(folder + QStringLiteral("/SNPlist.dat"), names);
    writeFile(snpPath, info);
    writeFile(folder + QStringLiteral("/IDlist.dat"), "BIG\nSMALL\n");
    writeFile(folder + QStringLiteral("/ID_Line.dat"), "BIG\t" + QByteArray::number(n) + "\nSMALL\t10\n");
    writeFile(traitPath, "trait\tdescription\nBIG\tevery SNP\nSMALL\tten SNPs\n");
    QByteArray posLine;
    for (auto it = bins.cbegin(); it != bins.cend(); ++it)
        posLine += QByteArray::number(it.key()) + '\t' + QByteArray::number(it.value()) + '\n';
    writeFile(folder + QStringLiteral("/Pos_Line.dat"), posLine);

    QByteArray table(qsizetype(n + 10) * 16, '\0');
    for (int i = 0; i < n + 10; ++i) {
        const bool big = i < n;
        const float beta = float((i * 7919) % 1000) / 100.0f - 5.0f;
        quillmap::encodeRecord(table.data() + qsizetype(i) * 16,
                               {big ? 0 : 1, big ? i : i - n, float((i * 104729) % 100000 + 1) / 100000.0f},
                               &beta, 1);
    }
    writeFile(folder + QStringLiteral("/table1.dat"), table);
    // table2.dat: the same records ordered by the bin of their SNP.
    auto snpOf = [n](int record) { return record < n ? record : record - n; };
    std::vector<int> order(static_cast<size_t>(n + 10));
    for (int i = 0; i < n + 10; ++i)
        order[size_t(i)] = i;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return binOfSnp[size_t(snpOf(a))] < binOfSnp[size_t(snpOf(b))];
    });
    QByteArray byBin(table.size(), '\0');
    for (int k = 0; k < n + 10; ++k)
        std::memcpy(byBin.data() + qsizetype(k) * 16, table.constData() + qsizetype(order[size_t(k)]) * 16, 16);
    writeFile(folder + QStringLiteral("/table2.dat"), byBin);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: %s FOLDER ROWS RUNS\n", argv[0]);
        return 2;
    }
    const QString folder = args.at(1);
    const int n = args.at(2).toInt();
    const int runs = std::max(1, args.at(3).toInt());
    if (!QFile::exists(folder + QStringLiteral("/summary.txt")))
        generate(folder, n);
    quillmap::currentDatasetFolder() = folder;

    std::vector<double> construct, display, sort;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer timer;
        timer.start();
        byID panel;
        construct.push_back(timer.nsecsElapsed() / 1e9);
        panel.resize(1200, 800);
        panel.show();
        QApplication::processEvents();
        timer.restart();
        panel.ProbeID->setCurrentIndex(1);
        display.push_back(timer.nsecsElapsed() / 1e9);
        timer.restart();
        panel.ctableView->horizontalHeader()->setSortIndicator(3, Qt::DescendingOrder);
        QMetaObject::invokeMethod(&panel, "sortByColumn", Q_ARG(int, 3));
        sort.push_back(timer.nsecsElapsed() / 1e9);
        std::printf("run %d: construct %.3f s, display %.3f s, sort %.3f s (%d rows)\n", r + 1,
                    construct.back(), display.back(), sort.back(), panel.rowCount);
    }
    std::printf("median for a trait of %d rows: construct %.3f s, display %.3f s, sort by position %.3f s\n",
                n, median(construct), median(display), median(sort));
    return 0;
}
