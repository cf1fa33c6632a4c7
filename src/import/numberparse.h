#pragma once

#include <QByteArrayView>

#include <optional>

// Number parsing of the import. Numbers are written in C notation: an optional sign, digits with
// an optional decimal point and fraction (at least one digit in all), an optional exponent (e or
// E, optional sign, digits). Blanks, "inf", "nan", hexadecimal and decimal commas are rejected.
// Parsing never depends on the process locale.
namespace quillmap {

// True when `text` is one whole number in the notation above.
bool isCNumber(QByteArrayView text);

// A statistic: a C number whose magnitude, as a double, does not exceed the largest float.
// Returns the value rounded to single precision (values below the float range become 0), or
// nothing when invalid.
std::optional<float> parseStatistic(QByteArrayView text);
// The same; `*lost` is set when the text is a nonzero number that single precision keeps only
// as 0 or as a subnormal (fewer significant digits), and cleared otherwise.
std::optional<float> parseStatistic(QByteArrayView text, bool *lost);

// -log10 of a p-value written as a C number, taken from the decimal text itself, so that values
// below the double range keep their magnitude: "3.5e-415" gives 414.456, "1" gives 0. `status`
// says why there is no value: the text is no number, the p-value is 0 (no finite -log10), or it
// is negative or above 1.
struct NegLog10 {
    enum class Status { Ok, NotANumber, Zero, OutOfRange };
    Status status = Status::NotANumber;
    double value = 0.0;
};
NegLog10 negLog10(QByteArrayView text);

// A SNP position in Mb: a valid statistic that also holds a decimal point followed by at least
// one digit ("12.5", "-1.5", "1.5e2"; not "12" or "12."). Returns the value in double precision.
std::optional<double> parsePosition(QByteArrayView text);

// A C number converted to double; an overflow gives nothing, an underflow gives (signed) 0.
std::optional<double> parseDouble(QByteArrayView text);

} // namespace quillmap
