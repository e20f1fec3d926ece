#include "files/ChainTables.h"
#include "kernel/Interpolation.h"
#include "physics/FreeEnergy.h"

#include "CommaLocale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <unistd.h>

namespace marlinq {
namespace {

namespace fs = std::filesystem;

fs::path writeTemp(const std::string& name, const std::string& content) {
    const fs::path p = fs::temp_directory_path() / ("marlinq_tables_" + std::to_string(::getpid()) + "_" + name);
    std::ofstream(p, std::ios::binary) << content;
    return p;
}

const fs::path kShipped = MARLINQ_SOURCE_DATA_DIR;

// A 99 x 99 table whose entry (r, c) is written in one of the classic forms.
std::string fineTableText(const std::string& separator, const std::string& eol) {
    static const char* forms[] = {"%d.%02d", "+%d.%02de0", "%d.%02dE+00", "0%d.%02d00"};
    std::string text;
    char buf[64];
    for (int r = 0; r < 99; ++r) {
        for (int c = 0; c < 99; ++c) {
            std::snprintf(buf, sizeof buf, forms[(r + c) % 4], r, c);
            text += (c ? separator : "") + buf;
        }
        text += eol;
    }
    return text;
}

void expectFineTableRead() {
    for (const auto& [separator, eol] : {std::pair<std::string, std::string>{"\t", "\n"}, {"  \t ", "\r\n"}, {" ", "\r"}}) {
        const fs::path p = writeTemp("fine.dat", fineTableText(separator, eol));
        auto m = std::make_unique<FineTable>();
        std::string error;
        ASSERT_TRUE(loadFineTable(p.string(), *m, error)) << error;
        fs::remove(p);
        for (int r : {0, 1, 50, 98})
            for (int c : {0, 3, 77, 98}) EXPECT_EQ((*m)[r][c], r + c / 100.0) << r << "," << c;
    }
}

TEST(ChainTables, WholeTableInEveryNumberFormAndLineEnd) { expectFineTableRead(); }

TEST(ChainTables, NumbersReadTheSameUnderACommaLocale) {
    MARLINQ_REQUIRE_COMMA_LOCALE(locale);
    expectFineTableRead();
    std::string text = fineTableText("\t", "\n");
    text.replace(text.find("0.01"), 4, "0,01");
    auto m = std::make_unique<FineTable>();
    std::string error;
    EXPECT_FALSE(parseFineTable(text, "t.dat", *m, error));
    EXPECT_EQ(error, "t.dat:1: field 2 \"+0,01e0\" read only in part (as +0); the decimal separator is a point");
}

TEST(ChainTables, LoadedOnceAsOneSharedObject) {
    std::string error;
    const auto tables = loadChainTables((kShipped / kCoarseTableFile).string(), (kShipped / kFineTableFile).string(), error);
    ASSERT_NE(tables, nullptr) << error;
    EXPECT_EQ(error, "");
    auto coarse = std::make_unique<CoarseTable>();
    auto fine = std::make_unique<FineTable>();
    ASSERT_TRUE(loadCoarseTable((kShipped / kCoarseTableFile).string(), *coarse, error));
    ASSERT_TRUE(loadFineTable((kShipped / kFineTableFile).string(), *fine, error));
    EXPECT_EQ(tables->coarse, *coarse);
    EXPECT_EQ(tables->fine, *fine);

    // The tables swapped: the coarse file has too few rows and columns for the fine one
    // (read first).
    EXPECT_EQ(loadChainTables((kShipped / kFineTableFile).string(), (kShipped / kCoarseTableFile).string(), error),
              nullptr);
    EXPECT_EQ(error, (kShipped / kCoarseTableFile).string() + ":1: expected 99 numbers, found 20");
}

TEST(ChainTables, MissingFileIsReportedToTheCaller) {
    // The program's message, with where it looked; the reader itself writes nothing.
    const fs::path missing = fs::temp_directory_path() / "marlinq_no_such_folder";
    std::string error;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(loadChainTables((missing / kCoarseTableFile).string(), (missing / kFineTableFile).string(), error),
              nullptr);
    EXPECT_EQ(error, std::string(kFineTableOpenError) + " (" + (missing / kFineTableFile).string() + ": no such file)");
    EXPECT_EQ(loadChainTables((missing / kCoarseTableFile).string(), (kShipped / kFineTableFile).string(), error),
              nullptr);
    EXPECT_EQ(error,
              std::string(kCoarseTableOpenError) + " (" + (missing / kCoarseTableFile).string() + ": no such file)");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// --- the tables that ship with the program ---

class ShippedTables : public ::testing::Test {
protected:
    void SetUp() override {
        coarse = std::make_unique<CoarseTable>();
        fine = std::make_unique<FineTable>();
        std::string error;
        ASSERT_TRUE(loadCoarseTable((kShipped / kCoarseTableFile).string(), *coarse, error)) << error;
        ASSERT_TRUE(loadFineTable((kShipped / kFineTableFile).string(), *fine, error)) << error;
    }
    static double energy(double ka, double ki) { return FreeEnergy::freeEnergy_Chain(0.0, ka, ki, 1.0, false, 0, 10); }
    std::unique_ptr<CoarseTable> coarse;
    std::unique_ptr<FineTable> fine;
};

TEST_F(ShippedTables, SampledEntriesMatchARecomputation) {
    // Corners, both sides of the direct-solve band (ka = 0.5 .. 0.7), large charges.
    for (int r : {0, 1, 2, 10, 19})
        for (int c : {0, 3, 19}) {
            SCOPED_TRACE(::testing::Message() << "coarse " << r << "," << c);
            EXPECT_EQ((*coarse)[r][c], energy(r * kCoarseStep + kTableOrigin, c * kCoarseStep + kTableOrigin));
        }
    for (int r : {0, 2, 3, 4, 5, 6, 40, 98})
        for (int c : {0, 17, 60, 98}) {
            SCOPED_TRACE(::testing::Message() << "fine " << r << "," << c);
            EXPECT_EQ((*fine)[r][c], energy(r * kFineStep + kTableOrigin, c * kFineStep + kTableOrigin));
        }
    // The corner agrees with the fixed value the interpolation returns there.
    EXPECT_NEAR((*fine)[98][98], 8.9899, 1e-4);
}

TEST_F(ShippedTables, FineTableIsSmooth) {
    // The energy grows with the charge along every row and falls with the salt along every
    // column. The one exception: at ka = 0.2 the 801-point grid cannot resolve the thinnest,
    // most highly charged cylinders, and above ki = 9 the energy bends over.
    auto unresolved = [](int r, int c) { return r == 0 && c * kFineStep + kTableOrigin > 9.0; };
    const auto& m = *fine;
    for (int r = 0; r < 99; ++r)
        for (int c = 0; c < 99; ++c) {
            ASSERT_TRUE(std::isfinite(m[r][c]) && m[r][c] > 0.0) << r << "," << c;
            if (c > 0 && !unresolved(r, c)) {
                EXPECT_GT(m[r][c], m[r][c - 1]) << "row " << r << ", column " << c;
            }
            if (r > 0 && !unresolved(r - 1, c)) {
                EXPECT_LT(m[r][c], m[r - 1][c]) << "row " << r << ", column " << c;
            }
        }
}

}  // namespace
}  // namespace marlinq
