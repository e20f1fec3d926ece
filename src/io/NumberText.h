#pragma once
// The one number-text policy of the program. Files get a point whatever the locale:
// the shortest text that reads back to the same double (std::to_chars), or one of the
// fixed-digit forms the files and messages have always used (15 significant digits in the
// general format, N significant digits as printf's %.Ng, N decimals as %.Nf). The window
// shows the same forms with the desktop's decimal separator (the decimalSeparator
// arguments). Nothing here depends on the C locale; the classic number parse of the
// readers is here too.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace marlinq {

// The shortest text that reads back to exactly v ("0.714", "1e-05"); "nan", "inf",
// "-inf" for the non-finite.
std::string shortestText(double v);
void appendShortest(std::string& out, double v);
// An integer in decimal.
void appendInteger(std::string& out, std::int64_t v);

// digits significant digits in the shortest general form, as printf's %.<digits>g
// ("0.10000000000000001", "1e-05", "1.23e+07"); "nan", "inf", "-inf" for the non-finite.
// decimalSeparator replaces the point (the window's form).
std::string significantText(double v, int digits, char decimalSeparator = '.');
// 17 significant digits (significantText(v, 17)), with "nan" for every NaN: the
// round-trip form of the CSV and JSON files that have always had 17 digits.
std::string formatReal17(double v);
// decimals digits after the point, as printf's %.<decimals>f.
std::string fixedText(double v, int decimals);

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
