#pragma once
// Locale-independent number text: the general format the files use, and the classic
// number parse of the readers. Never depends on the C locale.

#include <optional>
#include <string>
#include <string_view>

namespace marlinq {

// General format with at most 15 significant digits: trailing zeros dropped, plain
// notation for decimal exponents -4..14, else d.dddE+XX (capital E, sign, >= 2 digits).
// "0" for zero; decimalSeparator replaces the point.
std::string formatGeneral(double value, char decimalSeparator = '.');

// Classic leading number of text (optional sign, digits, point, fraction, exponent);
// reading stops at the first character that does not fit. nullopt if text does not
// begin with a number.
std::optional<double> parseLeadingDouble(std::string_view text);
// Leading integer part of text ("3.7" -> 3); nullopt if none or outside 32-bit range.
std::optional<int> parseLeadingInt(std::string_view text);

}  // namespace marlinq
