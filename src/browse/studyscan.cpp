#include "browse/studyscan.h"

#include "dataset/datasettables.h"
#include "dataset/positionbin.h"

#include <cmath>
#include <limits>

namespace quillmap {

qint64 positionBp(double positionMb)
{
    // One rounding for every place a position is shown in bp; anything absurd is pinned at 0.
    return positionBasePairs(positionMb).value_or(0);
}

std::vector<double> traitScores(const TraitRows &trait, PValueColumn column)
{
    std::vector<double> scores;
    scores.reserve(size_t(trait.count()));
    for (int k = 0; k < trait.count(); ++k) {
        const double s = scoreOf(trait.statistic(k, column.statistic), column.negLog10);
        if (!std::isnan(s))
            scores.push_back(s);
    }
    return scores;
}

namespace {

// Genome place of a SNP: chromosome and bp; chromosome 0 when the SNP has no line.
std::pair<int, qint64> snpPlace(const DatasetTables &tables, int snpIndex)
{
    const int line = tables.snpLineOfIndex(snpIndex);
    if (line < 0)
        return {0, 0};
    return {tables.snpChromosome(line), positionBp(tables.snpPosition(line))};
}

} // namespace

TraitSummary summarizeTrait(const DatasetTables &tables, const TraitRows &trait, PValueColumn column,
                            std::vector<float> &values, bool withLambda)
{
    TraitSummary summary;
    summary.traitIndex = trait.traitIndex;
    summary.rows = trait.count();
    summary.bestScore = std::numeric_limits<double>::quiet_NaN();
    values.clear();
    // Scores fall as p grows and rise with -log10 p, so the best is found on the stored values
    // and only its score computed.
    float best = 0.0f;
    std::pair<int, qint64> bestPlace;
    for (int k = 0; column.valid() && k < trait.count(); ++k) {
        const float value = trait.statistic(k, column.statistic);
        if (column.negLog10 ? !(value >= 0.0f) : !(value >= 0.0f && value <= 1.0f))
            continue;
        values.push_back(value);
        const int snp = trait.rows[size_t(k)].snpIndex;
        if (summary.bestSnp < 0 || (column.negLog10 ? value > best : value < best)) {
            best = value;
            summary.bestSnp = snp;
            bestPlace = snpPlace(tables, snp);
        } else if (value == best) {
            const auto place = snpPlace(tables, snp);
            if (place < bestPlace || (place == bestPlace && snp < summary.bestSnp)) {
                summary.bestSnp = snp;
                bestPlace = place;
            }
        }
    }
    if (summary.bestSnp >= 0)
        summary.bestScore = scoreOf(best, column.negLog10);
    summary.pValues = qint64(values.size());
    if (withLambda) {
        std::vector<double> scores(values.size());
        for (size_t i = 0; i < values.size(); ++i)
            scores[i] = scoreOf(values[i], column.negLog10);
        summary.lambda = lambdaGc(scores);
    }
    return summary;
}

void traitLoci(const DatasetTables &tables, const TraitRows &trait, PValueColumn column, double threshold,
               qint64 windowBp, std::vector<TopLocus> &loci)
{
    if (!column.valid())
        return;
    std::vector<ClumpCandidate> candidates;
    for (int k = 0; k < trait.count(); ++k) {
        const float value = trait.statistic(k, column.statistic);
        if (!meetsThreshold(value, column.negLog10, threshold))
            continue;
        const int snp = trait.rows[size_t(k)].snpIndex;
        const auto [chromosome, bp] = snpPlace(tables, snp);
        candidates.push_back({snp, chromosome, bp, scoreOf(value, column.negLog10), value});
    }
    for (const Locus &locus : clumpLoci(candidates, windowBp))
        loci.push_back({trait.traitIndex, locus});
}

TraitSummaries summarizeTraits(const Dataset &dataset, PValueColumn column, int firstTrait, int lastTrait)
{
    const DatasetTables &tables = dataset.tables();
    TraitSummaries result;
    std::vector<float> values;
    result.outcome = scanTraits(dataset, firstTrait, lastTrait, [&](const TraitRows &trait) {
        result.traits.push_back(summarizeTrait(tables, trait, column, values));
        return true;
    });
    return result;
}

TopLociResult topLoci(const Dataset &dataset, PValueColumn column, double threshold, qint64 windowBp)
{
    const DatasetTables &tables = dataset.tables();
    TopLociResult result;
    if (!column.valid())
        return result;
    result.outcome = scanTraits(dataset, 0, int(tables.traitNames.size()), [&](const TraitRows &trait) {
        traitLoci(tables, trait, column, threshold, windowBp, result.loci);
        return true;
    });
    return result;
}

} // namespace quillmap

namespace quillmap {

QStringList traitSummaryHeader()
{
    return {QStringLiteral("trait"), QStringLiteral("rows"), QStringLiteral("lambda_gc")};
}

QStringList traitSummaryFields(const DatasetTables &tables, const TraitSummary &summary)
{
    return {tables.traitNames.value(summary.traitIndex), QString::number(summary.rows),
            formatLambda(summary.lambda)};
}

QStringList topLociHeader()
{
    return {QStringLiteral("trait"), QStringLiteral("snp"), QStringLiteral("chr"),
            QStringLiteral("pos"),   QStringLiteral("p"),   QStringLiteral("n")};
}

QStringList topLocusFields(const DatasetTables &tables, const TopLocus &locus)
{
    return topLocusFields(tables, std::vector<TopLocus>{locus}).front();
}

std::vector<QStringList> topLocusFields(const DatasetTables &tables, const std::vector<TopLocus> &loci)
{
    // Thousands of leads: their SNP lines are read together in file order, not two reads each.
    std::vector<qint32> snps(loci.size()), lines(loci.size());
    for (size_t k = 0; k < loci.size(); ++k) {
        snps[k] = loci[k].locus.lead.snpIndex;
        lines[k] = tables.snpLineOfIndex(snps[k]);
    }
    const std::vector<QString> names = tables.snpNamesOf(snps);
    std::vector<QString> chromosomes(loci.size());
    tables.readSnpLines(lines, [&](size_t k, QByteArrayView text) {
        if (lines[k] >= 0)
            chromosomes[k] = QString::fromUtf8(text).split(QLatin1Char('\t')).value(1);
    });
    std::vector<QStringList> fields;
    fields.reserve(loci.size());
    for (size_t k = 0; k < loci.size(); ++k) {
        const ClumpCandidate &lead = loci[k].locus.lead;
        fields.push_back({tables.traitNames.value(loci[k].traitIndex), names[k], chromosomes[k],
                          QString::number(lead.positionBp), formatPValue(lead.score),
                          QString::number(loci[k].locus.count)});
    }
    return fields;
}

QByteArray tsvText(const QStringList &header, const std::vector<QStringList> &rows)
{
    QByteArray text;
    const auto line = [&](const QStringList &fields) {
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (i > 0)
                text += '\t';
            // A field never splits a line or a column.
            text += fields[i].toUtf8().replace('\t', ' ').replace('\n', ' ').replace('\r', ' ');
        }
        text += '\n';
    };
    line(header);
    for (const QStringList &row : rows)
        line(row);
    return text;
}

} // namespace quillmap
