// Generates a dataset folder with N SNPs (each tested against one of 500 traits) and times
// DatasetLoader::load K times. Prints one line per run and the median, plus the peak RSS. A run
// that has to generate the folder only generates it (run again to measure).
//
//   quillmap-bench-loaddataset FOLDER N K
#include "dataset/datasetloader.h"
#include "dataset/datasettables.h"
#include "dataset/positionbin.h"
#include "dataset/resultrecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace quillmap;

namespace {

constexpr int Traits = 500;

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

void generate(const QString &folder, int n)
{
    QDir().mkpath(folder);
    const QString snpPath = folder + QStringLiteral("/snp_info.txt");
    const QString traitPath = folder + QStringLiteral("/trait_info.txt");
    QByteArray summary = (folder + QStringLiteral("/results.txt\t") + snpPath + QLatin1Char('\t') + traitPath
                          + QLatin1Char('\n'))
                             .toUtf8();
    summary += "Header of the columns for main table:\ttrait\tsnp\tp\tbeta\n";
    summary += "Header of the columns for snp table:\tSNP\tchr\tpos\tgene\tallele\n";
    summary += "number of extra trait columns\t1\nnumber of extra snp columns\t2\n";
    summary += "Trait Num :\t " + QByteArray::number(Traits) + "\nSNP Num :\t " + QByteArray::number(n)
        + '\n';
    writeFile(folder + QStringLiteral("/summary.txt"), summary);

    QByteArray names;
    names.reserve(qsizetype(n) * 12);
    for (int i = 0; i < n; ++i)
        names += snpName(i) + '\n';
    writeFile(folder + QStringLiteral("/SNPlist.dat"), names);
    names.clear();

    // The SNP information file lists the SNPs in a scrambled order, as real files do.
    QByteArray info("SNP\tchr\tpos\tgene\tallele\n");
    info.reserve(qsizetype(n) * 40);
    QMap<int, int> binCounts;
    std::vector<qint16> binOfSnp(static_cast<size_t>(n), 0);
    const qint64 stride = 7919;
    for (qint64 k = 0; k < n; ++k) {
        const int i = int((k * stride) % n);
        const int chr = i % 23 + 1;
        const double pos = (i / 23 % 240000) * 0.001;
        info += snpName(i) + '\t' + (chr == 23 ? QByteArray("X") : QByteArray::number(chr)) + '\t'
            + QByteArray::number(pos, 'f', 6) + "\tGENE" + QByteArray::number(i % 20000) + "\tA/G\n";
        binOfSnp[size_t(i)] = quillmap::positionBin(chr, pos).value_or(0);
        binCounts[binOfSnp[size_t(i)]]++;
    }
    writeFile(snpPath, info);
    info.clear();

    QByteArray ids, idLine, traitInfo("trait\tdescription\n");
    for (int t = 0; t < Traits; ++t) {
        const QByteArray name = "T" + QByteArray::number(t).rightJustified(4, '0');
        ids += name + '\n';
        idLine += name + '\t' + QByteArray::number(n / Traits + (t < n % Traits ? 1 : 0)) + '\n';
        traitInfo += name + "\tprobe " + QByteArray::number(t) + '\n';
    }
    writeFile(folder + QStringLiteral("/IDlist.dat"), ids);
    writeFile(folder + QStringLiteral("/ID_Line.dat"), idLine);
    writeFile(traitPath, traitInfo);
    QByteArray posLine;
    for (auto it = binCounts.cbegin(); it != binCounts.cend(); ++it)
        posLine += QByteArray::number(it.key()) + '\t' + QByteArray::number(it.value()) + '\n';
    writeFile(folder + QStringLiteral("/Pos_Line.dat"), posLine);
    // table1.dat by trait (trait t holds the SNPs i with i mod 500 = t), table2.dat by bin.
    auto record = [](QByteArray &table, qint64 at, int trait, int snp) {
        const float beta = float(snp % 1000) / 100.0f - 5.0f;
        quillmap::encodeRecord(table.data() + at * 16, {trait, snp, float(snp % 99991 + 1) / 99991.0f}, &beta,
                               1);
    };
    QByteArray table(qsizetype(n) * 16, '\0');
    qint64 at = 0;
    for (int t = 0; t < Traits; ++t)
        for (int i = t; i < n; i += Traits)
            record(table, at++, t, i);
    writeFile(folder + QStringLiteral("/table1.dat"), table);
    std::vector<int> order(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        order[size_t(i)] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&binOfSnp](int a, int b) { return binOfSnp[size_t(a)] < binOfSnp[size_t(b)]; });
    for (int k = 0; k < n; ++k)
        record(table, k, order[size_t(k)] % Traits, order[size_t(k)]);
    writeFile(folder + QStringLiteral("/table2.dat"), table);
}

long statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

long peakRssKb()
{
    return statusKb("VmHWM");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: %s FOLDER SNPS RUNS\n", argv[0]);
        return 2;
    }
    const QString folder = args.at(1);
    const int n = args.at(2).toInt();
    const int runs = std::max(1, args.at(3).toInt());
    if (!QFile::exists(folder + QStringLiteral("/summary.txt"))) {
        // Measured in a fresh process: the generation's memory would hide the load's peak.
        generate(folder, n);
        std::printf("generated %d SNPs in %s; run again to time the load\n", n, qPrintable(folder));
        return 0;
    }

    std::vector<double> seconds;
    for (int r = 0; r < runs; ++r) {
        DatasetTables tables;
        QElapsedTimer timer;
        timer.start();
        const Status outcome = DatasetLoader(folder).load(tables);
        seconds.push_back(timer.nsecsElapsed() / 1e9);
        if (!outcome.ok()) {
            std::fprintf(stderr, "%s\n", qPrintable(outcome.message()));
            return 1;
        }
        // Mapped pages count as file pages: the split shows what the heap holds.
        std::printf("run %d: %.3f s, %d SNP lines, resident %ld MB heap + %ld MB mapped files\n", r + 1,
                    seconds.back(), tables.snpLineCount(), statusKb("RssAnon") / 1024,
                    statusKb("RssFile") / 1024);
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("median load of %d SNPs: %.3f s; peak RSS %ld MB\n", n, seconds[seconds.size() / 2],
                peakRssKb() / 1024);
    std::printf("median load %.4f %d SNP lines\npeak-rss-mb %ld\n", seconds[seconds.size() / 2], n,
                peakRssKb() / 1024);
    return 0;
}
