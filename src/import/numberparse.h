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

// A SNP position in Mb: a valid statistic that also holds a decimal point followed by at least
// one digit ("12.5", "-1.5", "1.5e2"; not "12" or "12."). Returns the value in double precision.
std::optional<double> parsePosition(QByteArrayView text);

// A C number converted to double; an overflow gives nothing, an underflow gives (signed) 0.
std::optional<double> parseDouble(QByteArrayView text);

} // namespace quillmap
