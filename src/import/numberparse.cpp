#include "import/numberparse.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <system_error>

namespace quillmap {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Scans the notation; on success tells whether a '.' followed by a digit was seen and the
// approximate decimal exponent of the first significant digit (used only to tell an overflow
// from an underflow when the conversion is out of range).
struct Scan {
    bool ok = false;
    bool fractionDigits = false;
    bool nonZero = false;
    long long magnitude = 0;
    // The digits from the first nonzero one as an integer (while at most 19 of them) and the
    // power of ten that scales it to the value: what a short number converts from directly.
    unsigned long long significand = 0;
    int significantDigits = 0;
    long long scale = 0;
};

Scan scan(QByteArrayView text)
{
    Scan s;
    const char *p = text.data();
    const char *end = p + text.size();
    if (p != end && (*p == '+' || *p == '-'))
        ++p;
    long long intDigits = 0; // digits before the point, after leading zeros
    long long leadingFracZeros = 0;
    bool anyDigit = false;
    const auto take = [&s](char c) {
        if (++s.significantDigits <= 19)
            s.significand = s.significand * 10 + unsigned(c - '0');
    };
    while (p != end && isDigit(*p)) {
        anyDigit = true;
        if (*p != '0' || s.nonZero) {
            s.nonZero = true;
            ++intDigits;
            take(*p);
        }
        ++p;
    }
    if (p != end && *p == '.') {
        ++p;
        while (p != end && isDigit(*p)) {
            anyDigit = true;
            s.fractionDigits = true;
            if (!s.nonZero) {
                if (*p == '0')
                    ++leadingFracZeros;
                else
                    s.nonZero = true;
            }
            if (s.nonZero)
                take(*p);
            --s.scale;
            ++p;
        }
    }
    if (!anyDigit)
        return s;
    long long exponent = 0;
    if (p != end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negative = false;
        if (p != end && (*p == '+' || *p == '-'))
            negative = *p++ == '-';
        if (p == end || !isDigit(*p))
            return s;
        while (p != end && isDigit(*p)) {
            if (exponent < 1000000000LL)
                exponent = exponent * 10 + (*p - '0');
            ++p;
        }
        if (negative)
            exponent = -exponent;
    }
    if (p != end)
        return s;
    s.ok = true;
    s.magnitude = intDigits > 0 ? intDigits - 1 + exponent : exponent - leadingFracZeros - 1;
    s.scale += exponent;
    return s;
}

std::optional<double> convert(QByteArrayView text, const Scan &s)
{
    // At most 15 digits are exact in a double, and so is 10^k up to k = 22: one multiplication
    // or division of the two is then rounded once, to the double nearest the decimal value,
    // which is what from_chars gives. Most statistics are written that short.
    static constexpr double PowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                             1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (s.significantDigits <= 15 && s.scale >= -22 && s.scale <= 22) {
        const double digits = double(s.significand);
        const double magnitude = s.scale >= 0 ? digits * PowersOfTen[s.scale]
                                              : digits / PowersOfTen[-s.scale];
        return text.front() == '-' ? -magnitude : magnitude;
    }
    const char *first = text.data();
    const char *last = first + text.size();
    if (*first == '+')
        ++first;
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Too small for a double rounds to zero; too large is no number at all.
        if (s.nonZero && s.magnitude >= 0)
            return std::nullopt;
        return text.front() == '-' ? -0.0 : 0.0;
    }
    if (ec != std::errc() || ptr != last || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

bool isCNumber(QByteArrayView text)
{
    return scan(text).ok;
}

std::optional<double> parseDouble(QByteArrayView text)
{
    const Scan s = scan(text);
    if (!s.ok)
        return std::nullopt;
    return convert(text, s);
}

std::optional<float> parseStatistic(QByteArrayView text)
{
    bool lost = false;
    return parseStatistic(text, &lost);
}

std::optional<float> parseStatistic(QByteArrayView text, bool *lost)
{
    *lost = false;
    const Scan s = scan(text);
    if (!s.ok)
        return std::nullopt;
    const std::optional<double> value = convert(text, s);
    if (!value || std::fabs(*value) > double(FLT_MAX))
        return std::nullopt;
    const float stored = float(*value);
    *lost = s.nonZero && std::fabs(stored) < FLT_MIN;
    return stored;
}

NegLog10 negLog10(QByteArrayView text)
{
    const Scan s = scan(text);
    if (!s.ok)
        return {NegLog10::Status::NotANumber, 0.0};
    if (!s.nonZero)
        return {NegLog10::Status::Zero, 0.0};
    if (text.front() == '-')
        return {NegLog10::Status::OutOfRange, 0.0};
    const std::optional<double> value = convert(text, s);
    if (!value || *value > 1.0)
        return {NegLog10::Status::OutOfRange, 0.0};
    if (*value >= DBL_MIN)
        return {NegLog10::Status::Ok, *value == 1.0 ? 0.0 : -std::log10(*value)};

    // Below the double range: the value is m x 10^scale with m the first 18 significant digits.
    const char *p = text.data();
    const char *const end = p + text.size();
    if (*p == '+')
        ++p;
    unsigned long long m = 0;
    int digits = 0;
    long long scale = 0;
    bool fraction = false;
    for (; p != end && *p != 'e' && *p != 'E'; ++p) {
        if (*p == '.') {
            fraction = true;
            continue;
        }
        const int d = *p - '0';
        if (m == 0 && d == 0) {
            if (fraction)
                --scale;
        } else if (digits < 18) {
            m = m * 10 + unsigned(d);
            ++digits;
            if (fraction)
                --scale;
        } else if (!fraction) {
            ++scale;
        }
    }
    long long exponent = 0;
    if (p != end) {
        ++p;
        const bool negative = *p == '-';
        if (*p == '+' || *p == '-')
            ++p;
        for (; p != end; ++p) {
            if (exponent < 1000000000000LL)
                exponent = exponent * 10 + (*p - '0');
        }
        if (negative)
            exponent = -exponent;
    }
    const double result = -(std::log10(double(m)) + double(scale + exponent));
    if (!(result <= double(FLT_MAX)))
        return {NegLog10::Status::OutOfRange, 0.0};
    return {NegLog10::Status::Ok, result};
}

std::optional<double> parsePosition(QByteArrayView text)
{
    const Scan s = scan(text);
    if (!s.ok || !s.fractionDigits)
        return std::nullopt;
    const std::optional<double> value = convert(text, s);
    if (!value || std::fabs(*value) > double(FLT_MAX))
        return std::nullopt;
    return value;
}

} // namespace quillmap
