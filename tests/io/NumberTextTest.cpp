#include "io/NumberText.h"

#include "CommaLocale.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <limits>
#include <locale>
#include <random>
#include <sstream>
#include <vector>

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

TEST(NumberText, GeneralFormatAndClassicParse) { expectNumberText(); }

TEST(NumberText, UnaffectedByCommaLocale) {
    MARLINQ_REQUIRE_COMMA_LOCALE(locale);
    expectNumberText();
}

// Doubles of every magnitude: random bit patterns (the non-finite skipped), and the
// neighbours of the powers of ten, where rounding to fewer digits is hardest.
std::vector<double> testDoubles() {
    std::vector<double> v;
    std::mt19937_64 rng(20261208);
    while (v.size() < 100000) {
        const std::uint64_t bits = rng();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (std::isfinite(d)) v.push_back(d);
    }
    for (int e = -320; e <= 308; ++e) {
        const double p = std::pow(10.0, e);
        for (const double d : {p, std::nextafter(p, 0.0), std::nextafter(p, 2 * p), -p, 0.5 * p, 0.95 * p})
            if (std::isfinite(d)) v.push_back(d);
    }
    return v;
}

// The text the program wrote before the one number policy: a classic-locale stream at a
// precision, in the general or the fixed form.
std::string streamText(double v, int precision, bool fixed) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::setprecision(precision);
    if (fixed) out << std::fixed;
    out << v;
    return out.str();
}

void expectOldBytesAndRoundTrip() {
    for (const double v : testDoubles()) {
        // Shortest text: reads back exactly, with the file reader and with from_chars, and is
        // never longer than 17 digits are.
        const std::string shortest = shortestText(v);
        const NumberScan scan = scanNumber(shortest);
        ASSERT_EQ(scan.consumed, shortest.size()) << shortest;
        ASSERT_EQ(scan.value, v) << shortest;
        ASSERT_LE(shortest.size(), formatReal17(v).size()) << shortest;
        // 17 digits read back exactly too.
        ASSERT_EQ(scanNumber(formatReal17(v)).value, v) << formatReal17(v);
        // The fixed-digit forms give the stream's bytes, as the messages and files had them.
        for (const int digits : {2, 3, 6, 15, 17})
            ASSERT_EQ(significantText(v, digits), streamText(v, digits, false)) << v << " " << digits;
        if (std::abs(v) < 1e30) {
            ASSERT_EQ(fixedText(v, 5), streamText(v, 5, true)) << v;
        }
    }
    // The non-finite as the files have always had them.
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(formatReal17(std::nan("")), "nan");
    EXPECT_EQ(formatReal17(-std::nan("")), "nan");
    EXPECT_EQ(formatReal17(-inf), "-inf");
    EXPECT_EQ(significantText(inf, 6), streamText(inf, 6, false));
    EXPECT_EQ(shortestText(0.714), "0.714");
    EXPECT_EQ(formatReal17(0.714), "0.71399999999999997");
    EXPECT_EQ(significantText(0.001, 6, ','), "0,001");
}

TEST(NumberText, RoundTripsAndKeepsTheOldBytes) { expectOldBytesAndRoundTrip(); }

TEST(NumberText, RoundTripsAndKeepsTheOldBytesUnderACommaLocale) {
    MARLINQ_REQUIRE_COMMA_LOCALE(locale);
    std::locale::global(std::locale("de_DE.UTF-8"));
    expectOldBytesAndRoundTrip();
    std::locale::global(std::locale::classic());
}

// Every number of the stored reference outputs (written in the general format) is written
// again to the same bytes from the value read back.
TEST(NumberText, StoredReferencesKeepTheirBytes) {
    std::size_t numbers = 0;
    for (const auto& entry : std::filesystem::directory_iterator(MARLINQ_REFERENCE_DIR)) {
        const std::string name = entry.path().filename().string();
        if (!(name.ends_with(".txt") || name.ends_with(".csv")) || name == "cases.txt") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), {});
        std::size_t pos = 0;
        while (pos < text.size()) {
            const std::size_t end = text.find_first_of("\t,\n", pos);
            const std::string field = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
            pos = end == std::string::npos ? text.size() : end + 1;
            const NumberScan scan = scanNumber(field);
            if (field.empty() || scan.consumed != field.size()) continue;  // a header
            EXPECT_EQ(formatGeneral(scan.value), field) << name;
            ++numbers;
        }
    }
    EXPECT_GT(numbers, 1000u);
}

}  // namespace
}  // namespace marlinq
