#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <optional>
#include <vector>

// Association statistics read as p-values: which statistic holds them, genomic control
// (lambda_GC), the QQ plot's points and band, and distance clumping into independent loci.
// Values are carried as scores, -log10(p), so that p-values far below the double range (stored
// as a -log10(...) column) keep their order and size. GUI-free.
namespace quillmap {

// The statistic that holds a trait's p-values: index into the statistic name list (0 = the first
// statistic) and whether it stores -log10(p) rather than p. statistic < 0: none.
struct PValueColumn {
    int statistic = -1;
    bool negLog10 = false;

    bool valid() const { return statistic >= 0; }
};

// True for a statistic name that stores -log10(p): "-log10(...)" as the import names such
// columns, and the usual spellings of tools ("LOG10P", "LOG10_P", "neg_log_10_p_value").
bool isNegLog10Name(const QString &name);
// True for a name that stores p itself: "p", "P", "pval", "pvalue", "p_value", "P-value",
// "p.value", "p_val", "P_BOLT_LMM" and the like (case-insensitive).
bool isPValueName(const QString &name);

// The p-value statistic of a dataset: the first -log10 column, else the first p column, else none.
PValueColumn findPValueColumn(const QStringList &statisticNames);
// The statistic named exactly `name` (none when absent); it is read as -log10(p) when its name
// says so, otherwise as p.
PValueColumn pValueColumnNamed(const QStringList &statisticNames, const QString &name);

// The -log10 column that stands in for p-values stored as 0 (below single precision) when
// statistic `statistic` stores p and is plotted under a logarithm (transform codes 1-4): the
// column named "-log10(NAME)" for p column NAME, else the first -log10 column; -1 when there
// is none or nothing needs one.
int negLog10Substitute(const QStringList &statisticNames, int statistic, int transform);

// The status line's note that `rows` rows were plotted from the -log10 column `substitute`.
QString substituteNote(const QStringList &statisticNames, int substitute, qint64 rows);

// The statistic holding the effect: the first named beta, b, effect, or, log_or, logor or
// odds_ratio (case-insensitive); -1 when none.
int findEffectColumn(const QStringList &statisticNames);

// The lines a point's tooltip adds for its row: "P: ..." (as formatPValue) when the dataset has
// a p-value statistic, and "NAME: ..." (6 significant digits) when it has an effect statistic.
// `valueOf(statistic)` gives the row's stored value of a statistic index.
QStringList pointStatisticLines(const QStringList &statisticNames, const std::function<float(int)> &valueOf);

// Score -log10(p) of a stored value; NaN when the value is not a p-value (p outside [0, 1],
// a negative -log10, NaN). p = 0 gives +infinity.
double scoreOf(float value, bool negLog10);
// True when the stored value is a p-value at or below `threshold` (compared in the column's own
// form, so a threshold equal to a stored p is met).
bool meetsThreshold(float value, bool negLog10, double threshold);

// p written for a listing from its score: 6 significant digits; scores beyond the double range
// are written from the decimal exponent ("3.5e-415"); infinity gives "0".
QString formatPValue(double score);

// lambda_GC for a listing: 4 decimals; "NA" for NaN.
QString formatLambda(double lambda);

// Chi-square (1 degree of freedom) quantile of the upper tail p = 10^-score, i.e. the squared
// normal quantile of p/2. Exact to about 1e-12 relative across the double range and beyond it.
double chiSquareOfScore(double score);

// The y axis of a plot of statistic `statisticName` under transform `transform` (the codes of
// applyTransform, 0 = none .. 5 = abs): its title, e.g. "-log10(P)", and whether the plotted
// values are -log10 p-values (a -log10 column as stored, or a p column under -log(10)).
struct PlotAxis {
    QString title;
    bool negLog10P = false;
};
PlotAxis plotAxis(const QString &statisticName, int transform);

// The usual genome-wide significance level.
inline constexpr double GenomeWideP = 5e-8;

// The plotted value of a significance line at p-value `p`: -log10 p when `axis` plots -log10
// p-values and p is in (0, 1]; NaN (no line) otherwise.
double significanceLineValue(const PlotAxis &axis, double p);

// A number typed by the user, written plainly ("5e-8", "0.001", "500000"; blanks around it are
// ignored): no sign, "inf", "nan", "+", or a value that underflows or overflows. Nothing
// otherwise.
std::optional<double> parsePlainNumber(const QString &text);
// A p-value typed by the user: a plain number in (0, 1].
std::optional<double> parsePValue(const QString &text);

// The median of the 1-df chi-square distribution; lambda_GC is divided by it.
inline constexpr double ChiSquareMedian = 0.45493642311957283;

// lambda_GC = median(chi-square quantiles of the p-values) / ChiSquareMedian, from scores
// (-log10 p). An even count takes the mean of the two middle chi-square values. Reorders
// `scores`; NaN scores must have been left out. NaN for an empty set.
double lambdaGc(std::vector<double> &scores);

// The QQ plot of a set of p-values: points (expected, observed) in -log10 units, thinned so that
// points closer than `step` in both units are drawn once (the largest scores are always kept),
// the diagonal's extent and the 95% band of the expected order statistics.
struct QqPlotData {
    qint64 count = 0;
    std::vector<double> expected;     // -log10((i - 0.5) / n) for rank i from the smallest p
    std::vector<double> observed;     // parallel: the rank's score, descending
    std::vector<double> bandExpected; // band points, ascending in expected
    std::vector<double> bandLower;    // -log10 of the 97.5% quantile of the order statistic
    std::vector<double> bandUpper;    // -log10 of the 2.5% quantile
    double maxExpected = 0.0;
    double maxObserved = 0.0; // largest finite score
    double lambda = 0.0;      // NaN when there are no p-values
};

// Builds the QQ plot data of `scores` (NaN left out beforehand); consumes the vector.
// `step` is the thinning distance in -log10 units (0 keeps every point). `withBand` false
// leaves the band empty, for a caller that keeps only the points.
QqPlotData qqPlotData(std::vector<double> scores, double step = 0.005, bool withBand = true);
// The same of stored values of a column (p, or -log10 p when `negLog10`), those without a
// score (scoreOf NaN) left out beforehand.
QqPlotData qqPlotOfValues(std::vector<float> values, bool negLog10, double step = 0.005,
                          bool withBand = true);
// Fills the band of `data` from its count alone (qqPlotData does so itself unless told not to).
void addQqBand(QqPlotData &data);

// Regularized incomplete beta I_x(a, b) and its inverse, for the QQ band (a, b > 0).
double incompleteBeta(double x, double a, double b);
double betaQuantile(double probability, double a, double b);

// One p-value at or below the clumping threshold.
struct ClumpCandidate {
    qint32 snpIndex = 0;
    int chromosome = 0;
    qint64 positionBp = 0;
    double score = 0.0; // -log10(p)
    float value = 0.0f; // the statistic as stored
};

// An independent locus: its lead and how many candidates it took (the lead included).
struct Locus {
    ClumpCandidate lead;
    int count = 0;
};

// Greedy distance clumping of one trait's candidates: the largest score is a lead; every
// candidate on the same chromosome within +-windowBp of it (inclusive) joins its locus and is
// dropped; repeat. Equal scores lead in genome order (chromosome, position, then SNP index).
// Loci come out in the order they were found (best first). Reorders `candidates`.
std::vector<Locus> clumpLoci(std::vector<ClumpCandidate> &candidates, qint64 windowBp);

} // namespace quillmap
