#include "io/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

namespace marlinq {

namespace {

constexpr int kSignificantDigits = 15;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string shortestText(double v) {
    std::string s;
    appendShortest(s, v);
    return s;
}

void appendShortest(std::string& out, double v) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, res.ptr);
}

void appendInteger(std::string& out, std::int64_t v) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, res.ptr);
}

std::string significantText(double v, int digits, char decimalSeparator) {
    // to_chars with a precision is printf's %g in the classic locale, without the locale.
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, digits);
    std::string s(buf, res.ptr);
    if (decimalSeparator != '.')
        for (char& ch : s)
            if (ch == '.') ch = decimalSeparator;
    return s;
}

std::string formatReal17(double v) {
    if (std::isnan(v)) return "nan";
    return significantText(v, 17);
}

std::string fixedText(double v, int decimals) {
    char buf[512];  // %.Nf of 1e308 has 309 digits before the point
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    if (res.ec != std::errc()) return significantText(v, 17);
    return std::string(buf, res.ptr);
}

std::string formatGeneral(double value, char decimalSeparator) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
    if (value == 0.0) return "0";  // also for -0.0

    // d.dddddddddddddde+XX, correctly rounded to 15 significant digits.
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, kSignificantDigits - 1);
    const std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));

    std::size_t pos = 0;
    const bool negative = sci[pos] == '-';
    if (negative) ++pos;
    std::string digits;
    for (; pos < sci.size() && sci[pos] != 'e'; ++pos) {
        if (isDigit(sci[pos])) digits.push_back(sci[pos]);
    }
    int exponent = 0;
    std::from_chars(sci.data() + pos + 1 + (sci[pos + 1] == '+' ? 1 : 0), sci.data() + sci.size(), exponent);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string out;
    if (negative) out.push_back('-');
    if (exponent >= -5 + 1 && exponent < kSignificantDigits) {
        if (exponent >= 0) {
            const std::size_t intDigits = static_cast<std::size_t>(exponent) + 1;
            if (digits.size() <= intDigits) {
                out += digits;
                out.append(intDigits - digits.size(), '0');
            } else {
                out.append(digits, 0, intDigits);
                out.push_back(decimalSeparator);
                out.append(digits, intDigits, std::string::npos);
            }
        } else {
            out.push_back('0');
            out.push_back(decimalSeparator);
            out.append(static_cast<std::size_t>(-exponent - 1), '0');
            out += digits;
        }
    } else {
        out.push_back(digits[0]);
        if (digits.size() > 1) {
            out.push_back(decimalSeparator);
            out.append(digits, 1, std::string::npos);
        }
        out.push_back('E');
        out.push_back(exponent < 0 ? '-' : '+');
        const int absExp = exponent < 0 ? -exponent : exponent;
        if (absExp < 10) out.push_back('0');
        out += std::to_string(absExp);
    }
    return out;
}

NumberScan scanNumber(std::string_view text) {
    NumberScan scan;
    std::size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::size_t mantissaStart = pos;

    // Decimal magnitude of the first non-zero digit, to tell overflow from underflow.
    std::int64_t leadMagnitude = 0;
    bool seenNonZero = false;
    std::size_t intDigits = 0, fracDigits = 0;
    while (pos < text.size() && isDigit(text[pos])) {
        if (seenNonZero) ++leadMagnitude;
        else if (text[pos] != '0') seenNonZero = true;
        ++intDigits;
        ++pos;
    }
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        while (pos < text.size() && isDigit(text[pos])) {
            ++fracDigits;
            if (!seenNonZero) {
                --leadMagnitude;
                if (text[pos] != '0') seenNonZero = true;
            }
            ++pos;
        }
    }
    if (intDigits + fracDigits == 0) return scan;  // no number: consumed 0
    std::size_t end = pos;

    std::int64_t exponent = 0;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        std::size_t p = pos + 1;
        bool expNegative = false;
        if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
            expNegative = text[p] == '-';
            ++p;
        }
        if (p < text.size() && isDigit(text[p])) {
            while (p < text.size() && isDigit(text[p])) {
                if (exponent < 1000000000) exponent = exponent * 10 + (text[p] - '0');
                ++p;
            }
            if (expNegative) exponent = -exponent;
            end = p;
        }
    }
    scan.consumed = end;

    // from_chars does not take a leading '+'; the sign is applied afterwards.
    double value = 0.0;
    const auto res = std::from_chars(text.data() + mantissaStart, text.data() + end, value, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) {
        if (!seenNonZero || leadMagnitude + exponent < 0) {
            value = 0.0;  // underflow reads as zero, as the C library's reader does
        } else {
            value = std::numeric_limits<double>::infinity();
            scan.outOfRange = true;
        }
    } else if (res.ec != std::errc() || res.ptr != text.data() + end) {
        // Cannot happen for the characters accepted above; treat as no number.
        scan.consumed = 0;
        return scan;
    }
    scan.value = negative ? -value : value;
    return scan;
}

IntegerScan scanInteger(std::string_view text) {
    IntegerScan scan;
    std::size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::size_t start = pos;
    std::int64_t magnitude = 0;
    bool tooLarge = false;
    while (pos < text.size() && isDigit(text[pos])) {
        if (!tooLarge) {
            magnitude = magnitude * 10 + (text[pos] - '0');
            if (magnitude > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1) tooLarge = true;
        }
        ++pos;
    }
    if (pos == start) return scan;
    scan.consumed = pos;
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (tooLarge || value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        scan.outOfRange = true;
        return scan;
    }
    scan.value = static_cast<std::int32_t>(value);
    return scan;
}

std::optional<double> parseLeadingDouble(std::string_view text) {
    const NumberScan scan = scanNumber(text);
    if (scan.consumed == 0 || scan.outOfRange) return std::nullopt;
    return scan.value;
}

}  // namespace marlinq
