#include "files/DistributionExport.h"

#include "CommaLocale.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace marlinq {
namespace {

void expectLayout() {
    // 0..2 x 0..2: the free-chain cells come from absValue, as the job sets them there.
    const std::vector<double> full{0, 1e-3, 0.5, 2e-3, 0.25, 1e-5, 0, 0, 1.0 / 3.0};
    const DistributionView d{0, 2, 0, 2, 2e-3, 1e-3, full.data()};
    EXPECT_EQ(formatDistribution(d, '.'), "0\t0.001\t0.5\t\n0.002\t0.25\t1E-05\t\n0\t0\t0.333333333333333\t\n");
    EXPECT_EQ(formatDistribution(d, ',').substr(0, 12), "0\t0,001\t0,5\t");

    // M+ 2..3, M- 3..4: zeros below the ranges except vc10 at (1, 0) and vc01 at (0, 1).
    const std::vector<double> offset{0.1, 0.2, 0.3, 0.4};
    const DistributionView o{2, 3, 3, 4, 7e-3, 9e-3, offset.data()};
    EXPECT_EQ(formatDistribution(o, '.'),
              "0\t0.009\t0\t0\t0\t\n0.007\t0\t0\t0\t0\t\n0\t0\t0\t0.1\t0.2\t\n0\t0\t0\t0.3\t0.4\t\n");
}

TEST(DistributionExport, LayoutFromZeroWithFreeChains) { expectLayout(); }

TEST(DistributionExport, FileHoldsTheSameText) {
    const std::vector<double> abs{0.1, 0.2, 0.3, 0.4};
    const DistributionView d{1, 2, 0, 1, 7e-3, 9e-3, abs.data()};
    const auto path = std::filesystem::temp_directory_path() / "marlinq-export-test.txt";
    ASSERT_TRUE(writeDistribution(path.string(), d, '.'));
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "0\t0.009\t\n0.1\t0.2\t\n0.3\t0.4\t\n");
    std::filesystem::remove(path);
    EXPECT_FALSE(writeDistribution((path / "no" / "dir").string(), d, '.'));
}

TEST(DistributionExport, PointSeparatorUnderCommaLocale) {
    MARLINQ_REQUIRE_COMMA_LOCALE(locale);
    expectLayout();
}

TEST(DistributionExport, SizeIsKnownBeforeWriting) {
    const std::vector<double> cells{0, 1e-3, 0.5, 2e-3, 0.25, 1e-5, -1.0 / 3.0, 1e-300, 1.0 / 3.0, 1e20, 0, 7};
    // Ranges from 0, offset, below 0, empty, and with the free-chain cells inside and outside.
    const DistributionView views[] = {
        {0, 2, 0, 3, 2e-3, 1e-3, cells.data()},   {2, 3, 3, 8, 7e-3, 9e-3, cells.data()},
        {-1, 1, -2, 1, 1.0 / 7, 2e-9, cells.data()}, {5, 4, 0, 3, 1e-3, 1e-3, cells.data()},
        {0, -1, 0, 3, 1e-3, 1e-3, cells.data()},  {0, 3, 0, -1, 1e-3, 1e-3, cells.data()},
        {1, 1, 1, 12, 0.5, 0.25, cells.data()},   {3, 5, 1, 4, 0.5, 0.25, nullptr},
    };
    for (const DistributionView& d : views) {
        const std::uint64_t exact = formatDistribution(d, '.').size();
        EXPECT_EQ(distributionExportSize(d), exact) << d.mpMin << ".." << d.mpMax << ", " << d.mmMin << ".." << d.mmMax;
        EXPECT_GE(distributionExportSizeBound(d), exact);
        EXPECT_LE(distributionExportSizeBound(d), exact + 22 * 12);
    }
    // A huge table of zeros is sized at once, without a cell being formatted.
    const std::vector<double> one{0.5};
    const DistributionView huge{100000, 100000, 100000, 100000, 1e-3, 1e-3, one.data()};
    EXPECT_EQ(distributionExportSize(huge), 100001ull * (100001ull * 2 + 1) + 2 * 4 + 2);
    const DistributionView widest{0, 0, 2147483647, 2147483647, 1e-3, 1e-3, one.data()};
    EXPECT_EQ(distributionExportSize(widest), 2147483648ull * 2 + 1 + 4 + 2);
    EXPECT_EQ(distributionExportSizeBound(widest), 2147483648ull * 2 + 1 + 4 + 21);
}

void expectLongFormat() {
    const std::vector<double> abs{0.1, 3e-20, 1.0 / 3.0, 0.0};
    const std::vector<double> value{0.25, 0.5, 0.125, 0.125};
    const DistributionView d{2, 3, 0, 1, 7e-3, 9e-3, abs.data()};
    EXPECT_EQ(formatDistributionLong(d, value.data()),
              "M+\tM-\tabsValue\tValue\n"
              "2\t0\t0.1\t0.25\n2\t1\t3e-20\t0.5\n3\t0\t0.3333333333333333\t0.125\n3\t1\t0\t0.125\n");
    // Without the normalised matrix, Value is absValue over the sum.
    const std::vector<double> w{1, 3};
    const DistributionView row{4, 4, 5, 6, 0, 0, w.data()};
    EXPECT_EQ(formatDistributionLong(row, nullptr), "M+\tM-\tabsValue\tValue\n4\t5\t1\t0.25\n4\t6\t3\t0.75\n");
    const DistributionView none{4, 3, 0, 1, 0, 0, w.data()};
    EXPECT_EQ(formatDistributionLong(none, nullptr), "M+\tM-\tabsValue\tValue\n");
}

TEST(DistributionExport, LongFormatHoldsTheComputedCellsExactly) { expectLongFormat(); }

TEST(DistributionExport, LongFormatUnderCommaLocale) {
    MARLINQ_REQUIRE_COMMA_LOCALE(locale);
    expectLongFormat();
}

TEST(DistributionExport, FailedExportKeepsTheOldFile) {
    const auto dir = std::filesystem::temp_directory_path() / "marlinq-export-keep";
    std::filesystem::create_directories(dir);
    const auto path = dir / "d.txt";
    std::ofstream(path, std::ios::binary) << "old\n";
    const std::vector<double> abs{0.1, 0.2};
    const DistributionView d{0, 0, 0, 1, 7e-3, 9e-3, abs.data()};
    std::string error;
    ASSERT_TRUE(writeDistributionLong(path.string(), d, nullptr, error)) << error;
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
              "M+\tM-\tabsValue\tValue\n0\t0\t0.1\t0.3333333333333333\n0\t1\t0.2\t0.6666666666666666\n");
    EXPECT_FALSE(writeDistribution(dir.string(), d, '.', error));
    EXPECT_EQ(error, dir.string() + ": is a folder, not a file; not overwritten");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace marlinq
