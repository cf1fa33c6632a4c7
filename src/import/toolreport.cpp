// The counts and texts of a tool import's closing report.

#include "import/toolimport.h"

namespace quillmap {

qint64 SkippedRows::total() const
{
    qint64 sum = 0;
    for (qint64 c : count)
        sum += c;
    return sum;
}

void SkippedRows::add(const SkippedRows &other)
{
    for (int r = 0; r < ReasonCount; ++r)
        count[r] += other.count[r];
    for (const QString &name : other.otherChromosomes) {
        if (otherChromosomes.size() < OtherChromosomesShown && !otherChromosomes.contains(name))
            otherChromosomes.append(name);
    }
}

QString skipReasonText(SkippedRows::Reason reason)
{
    switch (reason) {
    case SkippedRows::MissingP:
        return QStringLiteral("with the p-value missing (NA)");
    case SkippedRows::OtherChromosome:
        return QStringLiteral("on chromosomes other than 1-22 and X");
    case SkippedRows::NotAdditive:
        return QStringLiteral("whose TEST is not ADD");
    case SkippedRows::MissingPosition:
        return QStringLiteral("with the position missing");
    case SkippedRows::MissingEffect:
        return QStringLiteral("with an effect column missing or infinite");
    case SkippedRows::ReasonCount:
        break;
    }
    return {};
}

QString toolImportReport(const ToolImportResult &result)
{
    QString report;
    if (!result.import.failed || result.rowsKept > 0) {
        report +=
            QStringLiteral("%1 rows kept from %2 file(s).\n").arg(result.rowsKept).arg(result.traits.size());
        for (int r = 0; r < SkippedRows::ReasonCount; ++r) {
            const qint64 count = result.skipped.count[r];
            if (count == 0)
                continue;
            report +=
                QStringLiteral("Skipped %1 rows %2").arg(count).arg(skipReasonText(SkippedRows::Reason(r)));
            if (r == SkippedRows::OtherChromosome && !result.skipped.otherChromosomes.isEmpty())
                report += QStringLiteral(" (%1)").arg(
                    result.skipped.otherChromosomes.join(QStringLiteral(", ")));
            report += QStringLiteral(".\n");
        }
    }
    if (result.renamedSnps > 0)
        report += QStringLiteral("Note: %1 SNP ID(s) also appear with other alleles; those rows are other"
                                 " SNPs, named ID:alleles (the first: %2).\n")
                      .arg(result.renamedSnps)
                      .arg(result.firstRenamed);
    // Line numbers of rows as imported; they are a file's only when its text copy was kept.
    const QString rowsFile = result.derivedResultsKept ? QString::fromLatin1(DerivedResults)
                                                       : QStringLiteral("the rows imported");
    for (const LostValues &lost : result.import.lost) {
        if (lost.column == QLatin1String("P"))
            report += QStringLiteral("Note: %1 p-value(s) below single precision are stored as 0 under P"
                                     " (the first on data line %2 of %3); -log10(P) keeps them.\n")
                          .arg(lost.count)
                          .arg(lost.firstLine)
                          .arg(rowsFile);
        else
            report += QStringLiteral("Warning: %1 nonzero value(s) of column %2 are too small for single"
                                     " precision and were stored as 0 or with lost digits (the first on"
                                     " data line %3 of %4).\n")
                          .arg(lost.count)
                          .arg(lost.column)
                          .arg(lost.firstLine)
                          .arg(rowsFile);
    }
    return report;
}

} // namespace quillmap
