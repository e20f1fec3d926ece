#include "files/NumberFormat.h"

#include "CommaLocale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace marlinq {
namespace {

void expectGeneralCases() {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {1.0 / 3.0, "0.333333333333333"},
        {-2.0 / 3.0, "-0.666666666666667"},
        {1e-5, "1E-05"},
        {1e-20, "1E-20"},
        {1e15, "1E+15"},
        {1.5e15, "1.5E+15"},
        {1e14, "100000000000000"},
        {123456789012345.0, "123456789012345"},
        {1234567890123456.0, "1.23456789012346E+15"},
        {0.0001, "0.0001"},
        {0.00012345, "0.00012345"},
        {72.0, "72"},
        {0.25, "0.25"},
        {0.001, "0.001"},
        {0.2, "0.2"},
        {-18.0, "-18"},
        {0.0, "0"},
        {-0.0, "0"},
        {1e100, "1E+100"},
        {1e-300, "1E-300"},
        // rounding to 15 digits moves the exponent
        {std::nextafter(1.0, 0.0), "1"},
        {std::nextafter(1e-4, 0.0), "0.0001"},
        {std::nextafter(1e15, 0.0), "1E+15"},
        {std::numeric_limits<double>::quiet_NaN(), "NaN"},
        {std::numeric_limits<double>::infinity(), "Infinity"},
        {-std::numeric_limits<double>::infinity(), "-Infinity"},
    };
    for (const Case& c : cases) EXPECT_EQ(formatGeneral(c.value), c.text) << c.text;
    EXPECT_EQ(formatGeneral(0.5, ','), "0,5");
    EXPECT_EQ(formatGeneral(1.25e-7, ','), "1,25E-07");
}

void expectParseCases() {
    EXPECT_EQ(parseLeadingDouble("2e-1"), 0.2);
    EXPECT_EQ(parseLeadingDouble("0.5xyz"), 0.5);
    EXPECT_EQ(parseLeadingDouble("+1.5E+2"), 150.0);
    EXPECT_EQ(parseLeadingDouble("-3"), -3.0);
    EXPECT_EQ(parseLeadingDouble(".5"), 0.5);
    EXPECT_EQ(parseLeadingDouble("7."), 7.0);
    EXPECT_EQ(parseLeadingDouble("1e"), 1.0);    // incomplete exponent is not part of the number
    EXPECT_EQ(parseLeadingDouble("1e+x"), 1.0);
    EXPECT_EQ(parseLeadingDouble("0,5"), 0.0);   // classic notation only: reading stops at ','
    EXPECT_EQ(parseLeadingDouble("1e-400"), 0.0);  // underflow reads as zero
    EXPECT_EQ(parseLeadingDouble("1e999"), std::nullopt);  // overflow has no value
    EXPECT_EQ(parseLeadingDouble("-1e999"), std::nullopt);
    for (const char* bad : {"", "abc", "-", ".", "e5", "inf", "nan", "Infinity", " 1"})
        EXPECT_EQ(parseLeadingDouble(bad), std::nullopt) << bad;

    EXPECT_EQ(parseLeadingInt("3.7"), 3);
    EXPECT_EQ(parseLeadingInt("-12abc"), -12);
    EXPECT_EQ(parseLeadingInt("+5"), 5);
    EXPECT_EQ(parseLeadingInt("1e3"), 1);
    EXPECT_EQ(parseLeadingInt("2147483647"), 2147483647);
    EXPECT_EQ(parseLeadingInt("-2147483648"), std::numeric_limits<int>::min());
    for (const char* bad : {"2147483648", "-2147483649", "99999999999999999999", "", "x1", ".5", "-"})
        EXPECT_EQ(parseLeadingInt(bad), std::nullopt) << bad;
}

TEST(NumberFormat, GeneralFormatAndClassicParse) {
    expectGeneralCases();
    expectParseCases();
}

TEST(NumberFormat, WrittenTextReadsBackToTheSameFifteenDigits) {
    for (double v : {1.0 / 3.0, 6.02214076e23, 1e-20, 0.2, 123.456, -7.5e-9}) {
        const std::optional<double> back = parseLeadingDouble(formatGeneral(v));
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(formatGeneral(*back), formatGeneral(v));
        EXPECT_NEAR(*back, v, std::abs(v) * 1e-14);
    }
}

TEST(NumberFormat, UnaffectedByCommaLocale) {
    MARLINQ_REQUIRE_COMMA_LOCALE(locale);
    expectGeneralCases();
    expectParseCases();
}

}  // namespace
}  // namespace marlinq
