// The toolkit both readers share: lines, fields and the number reader.
#include "io/NumberText.h"
#include "files/TextLines.h"

#include "CommaLocale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace marlinq {
namespace {

using Lines = std::vector<std::string_view>;

TEST(TextLines, EveryLineEndEndsALine) {
    EXPECT_EQ(splitLines(""), Lines{});
    EXPECT_EQ(splitLines("\n"), Lines{""});
    EXPECT_EQ(splitLines("a"), Lines{"a"});
    EXPECT_EQ(splitLines("a\n"), Lines{"a"});
    EXPECT_EQ(splitLines("a\nb"), (Lines{"a", "b"}));
    EXPECT_EQ(splitLines("a\r\nb\r\n"), (Lines{"a", "b"}));
    // Old Mac files: a lone CR ends a line too.
    EXPECT_EQ(splitLines("a\rb\rc"), (Lines{"a", "b", "c"}));
    EXPECT_EQ(splitLines("a\r"), Lines{"a"});
    // Mixed: CR CR LF is a lone CR and then a CRLF; LF CR is two line ends.
    EXPECT_EQ(splitLines("a\r\r\nb\n\rc"), (Lines{"a", "", "b", "", "c"}));
    EXPECT_EQ(splitLines("\n\n"), (Lines{"", ""}));
}

TEST(TextLines, OnlyALeadingByteOrderMarkIsDropped) {
    EXPECT_EQ(splitLines("\xEF\xBB\xBFka 1\r\n"), Lines{"ka 1"});
    EXPECT_EQ(splitLines("\xEF\xBB\xBF"), Lines{});
    EXPECT_EQ(splitLines("a\n\xEF\xBB\xBF"
                         "b"),
              (Lines{"a",
                     "\xEF\xBB\xBF"
                     "b"}));
    EXPECT_EQ(splitLines("\xEF\xBB"
                         "a"),
              Lines{"\xEF\xBB"
                    "a"});
}

TEST(TextLines, FieldsAreRunsBetweenBlanksAndTabs) {
    EXPECT_EQ(splitFields("  0.1\t0.2  0.3 \t"), (Lines{"0.1", "0.2", "0.3"}));
    EXPECT_EQ(splitFields(" \t "), Lines{});
    // Only blank and tab separate: a vertical tab or a no-break space is part of a field.
    EXPECT_EQ(splitFields("a\vb c\xC2\xA0"
                          "d"),
              (Lines{"a\vb",
                     "c\xC2\xA0"
                     "d"}));
    Lines appended{"kept"};
    splitFields("x y", appended);
    EXPECT_EQ(appended, (Lines{"kept", "x", "y"}));
}

TEST(TextLines, PrintableExcerpt) {
    EXPECT_EQ(printableExcerpt("ka\t1\x01\x7F"), "ka\t1??");
    EXPECT_EQ(printableExcerpt(std::string(100, 'x'), 5), "xxxxx...");
}

void expectNumberScan() {
    struct Case {
        const char* text;
        double value;
        std::size_t consumed;
        bool outOfRange;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {"0.5", 0.5, 3, false},       {"3O", 3.0, 1, false},
        {"1,5", 1.0, 1, false},       {"1e2", 100.0, 3, false},
        {"1e", 1.0, 1, false},        {"1e+", 1.0, 1, false},
        {"-.5E-1x", -0.05, 6, false}, {"7.", 7.0, 2, false},
        {"+2", 2.0, 2, false},        {"1e999", inf, 5, true},
        {"-1e999", -inf, 6, true},    {"0.1e310", inf, 7, true},
        {"1e-999", 0.0, 6, false},    {"1000e-1000", 0.0, 10, false},
        {"0e99999", 0.0, 7, false},   {"abc", 0.0, 0, false},
        {"", 0.0, 0, false},          {"-", 0.0, 0, false},
        {".", 0.0, 0, false},         {"nan", 0.0, 0, false},
        {"inf", 0.0, 0, false},       {"0x10", 0.0, 1, false},
    };
    for (const Case& c : cases) {
        const NumberScan s = scanNumber(c.text);
        EXPECT_EQ(s.value, c.value) << c.text;
        EXPECT_EQ(s.consumed, c.consumed) << c.text;
        EXPECT_EQ(s.outOfRange, c.outOfRange) << c.text;
    }
    EXPECT_TRUE(std::signbit(scanNumber("-0").value));

    const IntegerScan part = scanInteger("1e2");
    EXPECT_EQ(part.value, 1);
    EXPECT_EQ(part.consumed, 1u);
    EXPECT_EQ(scanInteger("-2147483648").value, std::numeric_limits<std::int32_t>::min());
    const IntegerScan big = scanInteger("99999999999999999999999x");
    EXPECT_TRUE(big.outOfRange);
    EXPECT_EQ(big.consumed, 23u);
    EXPECT_EQ(scanInteger("x1").consumed, 0u);
}

TEST(TextLines, NumberReaderTellsHowMuchItRead) { expectNumberScan(); }

TEST(TextLines, NumberReaderIgnoresACommaLocale) {
    MARLINQ_REQUIRE_COMMA_LOCALE(locale);
    expectNumberScan();
}

}  // namespace
}  // namespace marlinq
