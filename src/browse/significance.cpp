#include "browse/significance.h"

#include <QRegularExpression>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>

namespace quillmap {

namespace {

constexpr double Nan = std::numeric_limits<double>::quiet_NaN();
constexpr double Ln10 = 2.302585092994045684;
constexpr double LnSqrt2Pi = 0.918938533204672742;

// Normal quantile of a lower-tail probability q in (0, 1): a rational first guess, then two
// Halley steps against erfc, which carry it to full double precision.
double normalQuantile(double q)
{
    static constexpr double a[] = {-3.969683028665376e+01, 2.209460984245205e+02,  -2.759285104469687e+02,
                                   1.383577518672690e+02,  -3.066479806614716e+01, 2.506628277459239e+00};
    static constexpr double b[] = {-5.447609879822406e+01, 1.615858368580409e+02, -1.556989798598866e+02,
                                   6.680131188771972e+01, -1.328068155288572e+01};
    static constexpr double c[] = {-7.784894002430293e-03, -3.223964580411365e-01, -2.400758277161838e+00,
                                   -2.549732539343734e+00, 4.374664141464968e+00,  2.938163982698783e+00};
    static constexpr double d[] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                                   3.754408661907416e+00};
    constexpr double Low = 0.02425;
    double x;
    if (q < Low || q > 1.0 - Low) {
        const double t = std::sqrt(-2.0 * std::log(q < Low ? q : 1.0 - q));
        x = (((((c[0] * t + c[1]) * t + c[2]) * t + c[3]) * t + c[4]) * t + c[5])
            / ((((d[0] * t + d[1]) * t + d[2]) * t + d[3]) * t + 1.0);
        if (q > 1.0 - Low)
            x = -x;
    } else {
        const double r = q - 0.5;
        const double t = r * r;
        x = (((((a[0] * t + a[1]) * t + a[2]) * t + a[3]) * t + a[4]) * t + a[5]) * r
            / (((((b[0] * t + b[1]) * t + b[2]) * t + b[3]) * t + b[4]) * t + 1.0);
    }
    for (int step = 0; step < 2; ++step) {
        const double e = 0.5 * std::erfc(-x / std::sqrt(2.0)) - q;
        const double u = e * std::exp(LnSqrt2Pi + x * x / 2.0);
        x -= u / (1.0 + x * u / 2.0);
    }
    return x;
}

// Continued fraction of the incomplete beta (modified Lentz).
double betaFraction(double x, double a, double b)
{
    constexpr double Tiny = 1e-300;
    constexpr double Eps = 1e-13;
    const double qab = a + b, qap = a + 1.0, qam = a - 1.0;
    double c = 1.0;
    double d = 1.0 - qab * x / qap;
    if (std::fabs(d) < Tiny)
        d = Tiny;
    d = 1.0 / d;
    double h = d;
    // One Lentz step with coefficient aa; returns the factor it applies to h.
    const auto step = [&c, &d](double aa) {
        d = 1.0 + aa * d;
        if (std::fabs(d) < Tiny)
            d = Tiny;
        c = 1.0 + aa / c;
        if (std::fabs(c) < Tiny)
            c = Tiny;
        d = 1.0 / d;
        return d * c;
    };
    for (int m = 1; m <= 20000; ++m) {
        const double m2 = 2.0 * m;
        h *= step(m * (b - m) * x / ((qam + m2) * (a + m2)));
        const double del = step(-(a + m) * (qab + m) * x / ((a + m2) * (qap + m2)));
        h *= del;
        if (std::fabs(del - 1.0) < Eps)
            break;
    }
    return h;
}

bool scoreFirst(const ClumpCandidate &l, const ClumpCandidate &r)
{
    if (l.score != r.score)
        return l.score > r.score;
    if (l.chromosome != r.chromosome)
        return l.chromosome < r.chromosome;
    if (l.positionBp != r.positionBp)
        return l.positionBp < r.positionBp;
    return l.snpIndex < r.snpIndex;
}

} // namespace

bool isNegLog10Name(const QString &name)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(-log10\\(.*\\)|log10_?p|neg_?log_?10_?p(_?val(ue)?)?|mlog10p)$"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern.match(name.trimmed()).hasMatch();
}

bool isPValueName(const QString &name)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(p|p[-_. ]?val(ue)?|p_bolt_lmm(_inf)?|p_wald|p_lrt|p_score)$"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern.match(name.trimmed()).hasMatch();
}

PValueColumn findPValueColumn(const QStringList &statisticNames)
{
    for (qsizetype i = 0; i < statisticNames.size(); ++i) {
        if (isNegLog10Name(statisticNames[i]))
            return {int(i), true};
    }
    for (qsizetype i = 0; i < statisticNames.size(); ++i) {
        if (isPValueName(statisticNames[i]))
            return {int(i), false};
    }
    return {};
}

int negLog10Substitute(const QStringList &statisticNames, int statistic, int transform)
{
    if (transform < 1 || transform > 4 || statistic < 0 || statistic >= statisticNames.size()
        || !isPValueName(statisticNames[statistic]))
        return -1;
    const qsizetype own = statisticNames.indexOf(QStringLiteral("-log10(%1)").arg(statisticNames[statistic]));
    if (own >= 0)
        return int(own);
    const PValueColumn first = findPValueColumn(statisticNames);
    return first.negLog10 ? first.statistic : -1;
}

QString substituteNote(const QStringList &statisticNames, int substitute, qint64 rows)
{
    return QStringLiteral("%1 with P = 0 (below single precision) plotted from %2.")
        .arg(rows == 1 ? QStringLiteral("1 row") : QStringLiteral("%1 rows").arg(rows),
             statisticNames.value(substitute));
}

PValueColumn pValueColumnNamed(const QStringList &statisticNames, const QString &name)
{
    const qsizetype i = statisticNames.indexOf(name);
    if (i < 0)
        return {};
    return {int(i), isNegLog10Name(name)};
}

int findEffectColumn(const QStringList &statisticNames)
{
    static const QRegularExpression pattern(QStringLiteral("^(beta|b|effect|or|log_?or|odds_ratio)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    for (qsizetype i = 0; i < statisticNames.size(); ++i) {
        if (pattern.match(statisticNames[i].trimmed()).hasMatch())
            return int(i);
    }
    return -1;
}

QStringList pointStatisticLines(const QStringList &statisticNames, const std::function<float(int)> &valueOf)
{
    QStringList lines;
    const PValueColumn p = findPValueColumn(statisticNames);
    if (p.valid()) {
        const double score = scoreOf(valueOf(p.statistic), p.negLog10);
        if (!std::isnan(score))
            lines << QStringLiteral("P: ") + formatPValue(score);
    }
    const int effect = findEffectColumn(statisticNames);
    if (effect >= 0)
        lines << statisticNames[effect] + QStringLiteral(": ")
                + QString::number(double(valueOf(effect)), 'g', 6);
    return lines;
}

double scoreOf(float value, bool negLog10)
{
    const double v = double(value);
    if (negLog10)
        return v >= 0.0 ? v : Nan; // NaN fails the test as well
    if (!(v >= 0.0 && v <= 1.0))
        return Nan;
    return v == 0.0 ? std::numeric_limits<double>::infinity() : -std::log10(v);
}

bool meetsThreshold(float value, bool negLog10, double threshold)
{
    if (negLog10)
        return value >= float(-std::log10(threshold));
    // The stored p is a float: "5e-8" in the file must meet a threshold of 5e-8.
    return value >= 0.0f && value <= float(threshold);
}

QString formatPValue(double score)
{
    if (std::isnan(score))
        return QStringLiteral("NA");
    if (std::isinf(score))
        return QStringLiteral("0");
    if (score < 300.0)
        return QString::number(std::pow(10.0, -score), 'g', 6);
    // 10^-score = m x 10^e with m in [1, 10).
    double e = std::floor(-score);
    double m = std::pow(10.0, -score - e);
    QString mantissa = QString::number(m, 'g', 6);
    if (mantissa == u"10") {
        mantissa = QStringLiteral("1");
        e += 1.0;
    }
    // e is a whole number, and may lie beyond any integer type.
    return QStringLiteral("%1e%2").arg(mantissa, QString::number(e, 'f', 0));
}

QString formatLambda(double lambda)
{
    return std::isnan(lambda) ? QStringLiteral("NA") : QString::number(lambda, 'f', 4);
}

double chiSquareOfScore(double score)
{
    if (std::isnan(score) || score < 0.0)
        return Nan;
    if (std::isinf(score))
        return std::numeric_limits<double>::infinity();
    if (score < 290.0) {
        const double z = normalQuantile(std::pow(10.0, -score) / 2.0);
        return z * z;
    }
    // Beyond the double range: solve ln Q(z) = ln(p / 2) with the tail series of the normal
    // upper tail, Q(z) = phi(z) / z x (1 - 1/z^2 + 3/z^4 - 15/z^6).
    const double target = -score * Ln10 - std::log(2.0);
    double z = std::sqrt(-2.0 * target);
    for (int i = 0; i < 50; ++i) {
        const double z2 = z * z;
        const double series = 1.0 - 1.0 / z2 + 3.0 / (z2 * z2) - 15.0 / (z2 * z2 * z2);
        const double f = -z2 / 2.0 - std::log(z) - LnSqrt2Pi + std::log(series) - target;
        const double step = f / (-z - 1.0 / z);
        z -= step;
        if (std::fabs(step) < 1e-14 * z)
            break;
    }
    return z * z;
}

double lambdaGc(std::vector<double> &scores)
{
    const size_t n = scores.size();
    if (n == 0)
        return Nan;
    // The chi-square quantile falls as the score falls, so the median chi-square is that of the
    // median score; only the middle one or two need converting.
    const auto mid = scores.begin() + std::ptrdiff_t(n / 2);
    std::nth_element(scores.begin(), mid, scores.end());
    double median = chiSquareOfScore(*mid);
    if (n % 2 == 0) {
        const double below = *std::max_element(scores.begin(), mid);
        median = (median + chiSquareOfScore(below)) / 2.0;
    }
    return median / ChiSquareMedian;
}

double incompleteBeta(double x, double a, double b)
{
    if (!(x > 0.0))
        return 0.0;
    if (!(x < 1.0))
        return 1.0;
    const double front = std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x)
                                  + b * std::log1p(-x));
    if (x < (a + 1.0) / (a + b + 2.0))
        return front * betaFraction(x, a, b) / a;
    return 1.0 - front * betaFraction(1.0 - x, b, a) / b;
}

double betaQuantile(double probability, double a, double b)
{
    // Far from the tails a beta is normal to well within a pixel of the band, and the continued
    // fraction would need thousands of steps there.
    if (std::min(a, b) > 1000.0) {
        const double n = a + b;
        const double sd = std::sqrt(a * b / (n * n * (n + 1.0)));
        return std::clamp(a / n + normalQuantile(probability) * sd, 1e-300, 1.0);
    }
    // Bisection on log x: the quantiles of interest reach far below 1e-10.
    double lo = -745.0, hi = 0.0;
    while (hi - lo > 1e-10 * std::max(1.0, std::fabs(lo))) {
        const double mid = (lo + hi) / 2.0;
        if (incompleteBeta(std::exp(mid), a, b) < probability)
            lo = mid;
        else
            hi = mid;
    }
    return std::exp((lo + hi) / 2.0);
}

namespace {

// Sorts unsigned keys ascending, a digit at a time: byte digits for a trait of thousands of
// scores, whose count tables would otherwise cost more than the sort. Every digit's counts come
// from one read of the keys.
template <typename Key>
void radixSort(std::vector<Key> &keys)
{
    const size_t n = keys.size();
    const int digitBits = n < (size_t(1) << 16) ? 8 : 16;
    const int digits = int(sizeof(Key)) * 8 / digitBits;
    const size_t radix = size_t(1) << digitBits;
    const Key digit = Key(radix - 1);
    std::vector<size_t> counts(radix * size_t(digits));
    for (const Key k : keys) {
        for (int d = 0; d < digits; ++d)
            ++counts[size_t(d) * radix + size_t((k >> (d * digitBits)) & digit)];
    }
    std::vector<Key> other(n);
    for (int d = 0; d < digits; ++d) {
        const int shift = d * digitBits;
        size_t *count = counts.data() + size_t(d) * radix;
        if (count[size_t((keys[0] >> shift) & digit)] == n)
            continue; // every key has this digit
        size_t total = 0;
        for (size_t c = 0; c < radix; ++c) {
            const size_t here = count[c];
            count[c] = total;
            total += here;
        }
        for (const Key k : keys)
            other[count[size_t((k >> shift) & digit)]++] = k;
        keys.swap(other);
    }
}

// Sorts scores (none NaN) from the largest down. Scores are -log10 p, never below zero: such
// doubles order as their bit patterns, and a radix sort on the bits takes a fraction of the
// time of comparisons on a million of them. Anything else falls back to std::sort.
void sortScoresDescending(std::vector<double> &scores)
{
    const size_t n = scores.size();
    if (n == 0)
        return;
    std::vector<quint64> keys(n);
    for (size_t i = 0; i < n; ++i) {
        const double s = scores[i] == 0.0 ? 0.0 : scores[i]; // -0 counts as 0
        if (!(s >= 0.0)) {
            std::sort(scores.begin(), scores.end(), std::greater<double>());
            return;
        }
        quint64 bits;
        std::memcpy(&bits, &s, sizeof bits);
        keys[i] = ~bits; // ascending keys: descending scores
    }
    radixSort(keys);
    for (size_t i = 0; i < n; ++i) {
        const quint64 bits = ~keys[i];
        std::memcpy(&scores[i], &bits, sizeof bits);
    }
}

// Stored values that have a score, in the order of their scores from the largest down: p
// ascending, -log10 p descending. Both order as their bits (none is below zero; -0 counts as
// 0), so the sort is a radix sort of 32-bit keys, half the passes of one of the scores.
void sortValuesForScores(std::vector<float> &values, bool negLog10)
{
    const size_t n = values.size();
    if (n == 0)
        return;
    std::vector<quint32> keys(n);
    for (size_t i = 0; i < n; ++i) {
        const quint32 bits = std::bit_cast<quint32>(values[i]) & 0x7fffffffu;
        keys[i] = negLog10 ? ~bits : bits;
    }
    radixSort(keys);
    for (size_t i = 0; i < n; ++i)
        values[i] = std::bit_cast<float>(negLog10 ? ~keys[i] : keys[i]);
}

// qqPlotData of scores already sorted from the largest down.
QqPlotData qqPlotOfSorted(const std::vector<double> &scores, double step, bool withBand)
{
    QqPlotData data;
    const size_t n = scores.size();
    data.count = qint64(n);
    if (n == 0) {
        data.lambda = Nan;
        return data;
    }
    // lambdaGc's median, read from the sorted scores: the (n/2)-th smallest, and for even n the
    // one below it.
    double median = chiSquareOfScore(scores[n - 1 - n / 2]);
    if (n % 2 == 0)
        median = (median + chiSquareOfScore(scores[n - n / 2])) / 2.0;
    data.lambda = median / ChiSquareMedian;
    const double dn = double(n);
    for (const double s : scores) {
        if (std::isfinite(s)) {
            data.maxObserved = s;
            break;
        }
    }
    data.maxExpected = -std::log10(0.5 / dn);
    double lastE = 0.0, lastO = 0.0;
    // Below this rank the expected value is still within `step` of the last point's (it falls
    // as the rank grows), so it need not be computed for every rank.
    double nearRanks = 0.0;
    for (size_t i = 0; i < n; ++i) {
        // p = 0 (below the stored range) is drawn at the largest finite score.
        const double o = std::isfinite(scores[i]) ? scores[i] : data.maxObserved;
        if (i > 0 && i + 1 < n && double(i) + 1.0 < nearRanks && std::fabs(lastO - o) < step)
            continue;
        const double e = -std::log10((double(i) + 0.5) / dn);
        if (i > 0 && i + 1 < n && lastE - e < step && std::fabs(lastO - o) < step)
            continue;
        data.expected.push_back(e);
        data.observed.push_back(o);
        lastE = e;
        lastO = o;
        // -log10((r + 0.5) / n) > lastE - step holds for r + 0.5 < n 10^(step - lastE).
        nearRanks = dn * std::pow(10.0, step - lastE) - 0.5;
    }
    if (withBand)
        addQqBand(data);
    return data;
}

} // namespace

QqPlotData qqPlotData(std::vector<double> scores, double step, bool withBand)
{
    sortScoresDescending(scores);
    return qqPlotOfSorted(scores, step, withBand);
}

QqPlotData qqPlotOfValues(std::vector<float> values, bool negLog10, double step, bool withBand)
{
    // A float's -log10 falls as the float grows, by far more from one float to the next than
    // the logarithm's rounding: the scores of the sorted values come out sorted.
    sortValuesForScores(values, negLog10);
    std::vector<double> scores(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        const double score = scoreOf(values[i], negLog10);
        scores[i] = score == 0.0 ? 0.0 : score; // p = 1 gives -0
    }
    values = {};
    return qqPlotOfSorted(scores, step, withBand);
}

void addQqBand(QqPlotData &data)
{
    data.bandExpected.clear();
    data.bandLower.clear();
    data.bandUpper.clear();
    const qint64 n = data.count;
    if (n <= 0)
        return;
    const double dn = double(n);
    // Band at ranks spaced evenly on the expected axis.
    constexpr int BandPoints = 80;
    qint64 lastRank = -1;
    for (int j = BandPoints; j >= 0; --j) {
        const qint64 rank = qint64(std::llround(std::pow(dn, double(j) / BandPoints)));
        const qint64 k = std::clamp<qint64>(rank, 1, n);
        if (k == lastRank)
            continue;
        lastRank = k;
        const double a = double(k), b = dn - double(k) + 1.0;
        data.bandExpected.push_back(-std::log10((double(k) - 0.5) / dn));
        data.bandLower.push_back(-std::log10(betaQuantile(0.975, a, b)));
        data.bandUpper.push_back(-std::log10(betaQuantile(0.025, a, b)));
    }
}

std::vector<Locus> clumpLoci(std::vector<ClumpCandidate> &candidates, qint64 windowBp)
{
    std::vector<Locus> loci;
    const size_t n = candidates.size();
    if (n == 0)
        return loci;
    std::sort(candidates.begin(), candidates.end(), scoreFirst);
    // Genome order of the candidates, for the window scans.
    std::vector<qint32> byPosition(n);
    std::iota(byPosition.begin(), byPosition.end(), 0);
    std::sort(byPosition.begin(), byPosition.end(), [&](qint32 l, qint32 r) {
        const ClumpCandidate &a = candidates[size_t(l)], &b = candidates[size_t(r)];
        if (a.chromosome != b.chromosome)
            return a.chromosome < b.chromosome;
        if (a.positionBp != b.positionBp)
            return a.positionBp < b.positionBp;
        return l < r;
    });
    std::vector<qint32> placeOf(n);
    for (size_t k = 0; k < n; ++k)
        placeOf[size_t(byPosition[k])] = qint32(k);
    std::vector<char> taken(n, 0);
    for (size_t i = 0; i < n; ++i) {
        if (taken[i])
            continue;
        const ClumpCandidate &lead = candidates[i];
        taken[i] = 1;
        int count = 1;
        // Windows of two leads overlap at most pairwise, so each candidate is looked at a
        // bounded number of times.
        const auto within = [&](qint32 c) {
            const ClumpCandidate &other = candidates[size_t(c)];
            return other.chromosome == lead.chromosome
                && std::llabs(other.positionBp - lead.positionBp) <= windowBp;
        };
        for (qint64 k = qint64(placeOf[i]) - 1; k >= 0 && within(byPosition[size_t(k)]); --k) {
            char &t = taken[size_t(byPosition[size_t(k)])];
            count += t ? 0 : 1;
            t = 1;
        }
        for (size_t k = size_t(placeOf[i]) + 1; k < n && within(byPosition[k]); ++k) {
            char &t = taken[size_t(byPosition[k])];
            count += t ? 0 : 1;
            t = 1;
        }
        loci.push_back({lead, count});
    }
    return loci;
}

PlotAxis plotAxis(const QString &statisticName, int transform)
{
    static const char *const Forms[] = {"%1", "log10(%1)", "-log10(%1)", "log2(%1)", "-log2(%1)", "abs(%1)"};
    const int form = transform >= 0 && transform < 6 ? transform : 0;
    PlotAxis axis;
    axis.title = QString::fromLatin1(Forms[form]).arg(statisticName);
    // abs leaves a -log10 column as it is: its values are never negative.
    axis.negLog10P = (isNegLog10Name(statisticName) && (form == 0 || form == 5))
        || (isPValueName(statisticName) && form == 2);
    return axis;
}

double significanceLineValue(const PlotAxis &axis, double p)
{
    if (!axis.negLog10P || !(p > 0.0 && p <= 1.0))
        return Nan;
    return -std::log10(p);
}

std::optional<double> parsePlainNumber(const QString &text)
{
    // toDouble alone would take "inf", "nan" and "+"; it fails on an underflow or overflow.
    static const QRegularExpression plain(QStringLiteral("^([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE]-?[0-9]+)?$"));
    const QString trimmed = text.trimmed();
    if (!plain.match(trimmed).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = trimmed.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<double> parsePValue(const QString &text)
{
    const std::optional<double> value = parsePlainNumber(text);
    if (!value || !(*value > 0.0 && *value <= 1.0))
        return std::nullopt;
    return value;
}

} // namespace quillmap
