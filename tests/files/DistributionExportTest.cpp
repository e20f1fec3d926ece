#include "files/DistributionExport.h"

#include "CommaLocale.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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

}  // namespace
}  // namespace marlinq
