#pragma once
// Locale-independent number text: the general format the files use, and the classic
// number parse of the readers. Never depends on the C locale.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace marlinq {

// General format with at most 15 significant digits: trailing zeros dropped, plain
// notation for decimal exponents -4..14, else d.dddE+XX (capital E, sign, >= 2 digits).
// "0" for zero; decimalSeparator replaces the point.
std::string formatGeneral(double value, char decimalSeparator = '.');

// The one reader of numbers in files. Scans the classic number at the start of text:
// optional sign, digits, optional point and fraction, optional exponent (e or E, optional
// sign, digits; an 'e' without digits is not part of the number). Never looks at the
// locale. consumed is the number of characters that form the number (0: text does not
// begin with one), so consumed < text.size() means the text was read only in part.
// A magnitude beyond a double sets outOfRange and gives +-infinity; one too small for a
// double reads as (signed) zero and is not out of range.
struct NumberScan {
    double value = 0.0;
    std::size_t consumed = 0;
    bool outOfRange = false;
};
NumberScan scanNumber(std::string_view text);

// The leading integer of text (optional sign, digits; "3.7" gives 3 with consumed 1).
// outOfRange when it does not fit 32 bits (value is then 0); consumed 0 when none.
struct IntegerScan {
    std::int32_t value = 0;
    std::size_t consumed = 0;
    bool outOfRange = false;
};
IntegerScan scanInteger(std::string_view text);

// Classic leading number of text (optional sign, digits, point, fraction, exponent);
// reading stops at the first character that does not fit. nullopt if text does not
// begin with a number.
std::optional<double> parseLeadingDouble(std::string_view text);

}  // namespace marlinq
