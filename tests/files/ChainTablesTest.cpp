#include "files/ChainTables.h"
#include "kernel/Interpolation.h"
#include "physics/FreeEnergy.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
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

TEST(ChainTables, FieldsAreRunsBetweenBlanksAndTabs) {
    std::vector<std::string> f{"kept"};
    MatrixExplode("  0.1\t0.2  0.3 \t", f);
    EXPECT_EQ(f, (std::vector<std::string>{"kept", "0.1", "0.2", "0.3"}));
    f.clear();
    MatrixExplode("", f);
    EXPECT_TRUE(f.empty());
}

TEST(ChainTables, ReaderLayoutAndNumberForms) {
    // Short file, extra columns, CRLF, a last line without line feed, a short line,
    // number forms the classic notation allows and fields that are not numbers.
    std::string text = "0.1\t0.2  0.3\r\n";
    text += "-1.5e2 +2E-1 .5 7. 3abc x -0 1e999 1e-999 nan 0x10";
    for (int c = 12; c < 25; ++c) text += " 9";
    text += "\n\n4\t5";
    const fs::path p = writeTemp("short.dat", text);
    auto m = std::make_unique<CoarseTable>();
    ASSERT_TRUE(read_chain_matrix_from(p.string(), *m));
    const auto& t = *m;
    EXPECT_EQ(t[0][0], 0.1);
    EXPECT_EQ(t[0][1], 0.2);
    EXPECT_EQ(t[0][2], 0.3);
    EXPECT_EQ(t[0][3], 0.0);  // missing fields leave the entry as it was
    const double row1[] = {-150.0, 0.2, 0.5, 7.0, 3.0, 0.0, 0.0, HUGE_VAL, 0.0, 0.0, 0.0, 9.0, 9.0};
    for (int c = 0; c < 13; ++c) EXPECT_EQ(t[1][c], row1[c]) << "column " << c;
    EXPECT_EQ(t[1][19], 9.0);
    for (double v : t[2]) EXPECT_EQ(v, 0.0);  // an empty line
    EXPECT_EQ(t[3][0], 4.0);
    EXPECT_EQ(t[3][1], 5.0);
    for (int r = 4; r < 20; ++r)
        for (double v : t[r]) EXPECT_EQ(v, 0.0);
    fs::remove(p);
}

TEST(ChainTables, NumbersReadTheSameUnderACommaLocale) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "de_DE.utf8"))
        GTEST_SKIP() << "no German locale installed";
    const fs::path p = writeTemp("comma.dat", "2.75 1,5\n");
    auto m = std::make_unique<FineTable>();
    const bool ok = read_chain_matrix01_from(p.string(), *m);
    std::setlocale(LC_ALL, previous.c_str());
    fs::remove(p);
    ASSERT_TRUE(ok);
    EXPECT_EQ((*m)[0][0], 2.75);
    EXPECT_EQ((*m)[0][1], 1.0);
}

TEST(ChainTables, MissingFileIsReportedToTheCaller) {
    const std::string missing = (fs::temp_directory_path() / "marlinq_no_such_table.dat").string();
    auto coarse = std::make_unique<CoarseTable>();
    auto fine = std::make_unique<FineTable>();
    std::string failure;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(read_chain_matrix_from(missing, *coarse, &failure));
    EXPECT_EQ(failure, "can not open Chains_values.dat");
    EXPECT_FALSE(read_chain_matrix01_from(missing, *fine, &failure));
    EXPECT_EQ(failure, "can not open Chains_values01.dat");
    // The reader only reports to its caller; nothing goes to the console by itself.
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// --- the tables that ship with the program ---

class ShippedTables : public ::testing::Test {
protected:
    void SetUp() override {
        coarse = std::make_unique<CoarseTable>();
        fine = std::make_unique<FineTable>();
        ASSERT_TRUE(read_chain_matrix_from((kShipped / kCoarseTableFile).string(), *coarse));
        ASSERT_TRUE(read_chain_matrix01_from((kShipped / kFineTableFile).string(), *fine));
    }
    static double energy(double ka, double ki) { return FreeEnergy::freeEnergy_Chain(0.0, ka, ki, 1.0, false, 0, 10); }
    std::unique_ptr<CoarseTable> coarse;
    std::unique_ptr<FineTable> fine;
};

TEST_F(ShippedTables, SampledEntriesMatchARecomputation) {
    // Corners, both sides of the direct-solve band (ka = 0.5 .. 0.7), large charges.
    for (int r : {0, 1, 2, 10, 19})
        for (int c : {0, 3, 19}) {
            SCOPED_TRACE(testing::Message() << "coarse " << r << "," << c);
            EXPECT_EQ((*coarse)[r][c], energy(r * kCoarseStep + kTableOrigin, c * kCoarseStep + kTableOrigin));
        }
    for (int r : {0, 2, 3, 4, 5, 6, 40, 98})
        for (int c : {0, 17, 60, 98}) {
            SCOPED_TRACE(testing::Message() << "fine " << r << "," << c);
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
