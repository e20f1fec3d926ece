#include "files/NumberFormat.h"

#include "CommaLocale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace marlinq {
namespace {

void expectNumberText() {
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, const char*> general[] = {
        {1.0 / 3.0, "0.333333333333333"}, {-2.0 / 3.0, "-0.666666666666667"}, {1e-5, "1E-05"},
        {1e-20, "1E-20"}, {1e15, "1E+15"}, {1e14, "100000000000000"}, {1234567890123456.0, "1.23456789012346E+15"},
        {0.0001, "0.0001"}, {0.00012345, "0.00012345"}, {72.0, "72"}, {-18.0, "-18"}, {0.0, "0"}, {-0.0, "0"},
        {1e100, "1E+100"}, {1e-300, "1E-300"},
        // rounding to 15 digits moves the exponent
        {std::nextafter(1.0, 0.0), "1"}, {std::nextafter(1e-4, 0.0), "0.0001"}, {std::nextafter(1e15, 0.0), "1E+15"},
        {std::nan(""), "NaN"}, {inf, "Infinity"}, {-inf, "-Infinity"}};
    for (const auto& [value, text] : general) EXPECT_EQ(formatGeneral(value), text) << text;
    EXPECT_EQ(formatGeneral(0.5, ','), "0,5");
    EXPECT_EQ(formatGeneral(1.25e-7, ','), "1,25E-07");

    const std::pair<const char*, double> doubles[] = {{"2e-1", 0.2}, {"0.5xyz", 0.5}, {"+1.5E+2", 150.0},
                                                      {".5", 0.5},   {"7.", 7.0},      {"1e+x", 1.0},
                                                      {"0,5", 0.0},  {"1e-400", 0.0}};  // underflow reads as 0
    for (const auto& [text, value] : doubles) EXPECT_EQ(parseLeadingDouble(text), value) << text;
    for (const char* bad : {"", "abc", "-", ".", "e5", "inf", "nan", " 1", "1e999", "-1e999"})
        EXPECT_EQ(parseLeadingDouble(bad), std::nullopt) << bad;
}

TEST(NumberFormat, GeneralFormatAndClassicParse) { expectNumberText(); }

TEST(NumberFormat, UnaffectedByCommaLocale) {
    MARLINQ_REQUIRE_COMMA_LOCALE(locale);
    expectNumberText();
}

}  // namespace
}  // namespace marlinq
