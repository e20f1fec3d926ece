#include "files/DistributionExport.h"

#include "CommaLocale.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace marlinq {
namespace {

std::vector<std::vector<std::string>> table(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t eol = text.find('\n', start);
        EXPECT_NE(eol, std::string::npos) << "every line ends with a line feed";
        if (eol == std::string::npos) break;
        const std::string line = text.substr(start, eol - start);
        EXPECT_EQ(line.find('\r'), std::string::npos);
        EXPECT_TRUE(!line.empty() && line.back() == '\t') << "every value is followed by a tab";
        std::vector<std::string> cells;
        std::size_t p = 0;
        while (p < line.size()) {
            const std::size_t tab = line.find('\t', p);
            cells.push_back(line.substr(p, tab - p));
            p = tab + 1;
        }
        rows.push_back(cells);
        start = eol + 1;
    }
    return rows;
}

void expectFullRange(char sep) {
    // 3 x 3 from 0: the free-chain cells come from absValue, as the job sets them.
    const std::vector<double> abs{0, 1e-3, 0.5, 2e-3, 0.25, 1e-5, 0, 0, 1.0 / 3.0};
    const DistributionView d{0, 2, 0, 2, 2e-3, 1e-3, abs.data()};
    const auto rows = table(formatDistribution(d, sep));
    ASSERT_EQ(rows.size(), 3u);
    for (const auto& r : rows) ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(rows[1][0], sep == '.' ? "0.002" : "0,002");  // vc10
    EXPECT_EQ(rows[0][1], sep == '.' ? "0.001" : "0,001");                                   // vc01
    EXPECT_EQ(rows[0][0], "0");
    EXPECT_EQ(rows[1][2], "1E-05");
    EXPECT_EQ(rows[2][2], sep == '.' ? "0.333333333333333" : "0,333333333333333");
}

void expectOffsetRange() {
    // M+ 2..3, M- 3..4: rows 0 and 1 and the first three values of every row are 0,
    // except the free chains at (1, 0) and (0, 1).
    const std::vector<double> abs{0.1, 0.2, 0.3, 0.4};
    const DistributionView d{2, 3, 3, 4, 7e-3, 9e-3, abs.data()};
    const auto rows = table(formatDistribution(d, '.'));
    ASSERT_EQ(rows.size(), 4u);
    const std::vector<std::vector<std::string>> expected{{"0", "0.009", "0", "0", "0"},
                                                         {"0.007", "0", "0", "0", "0"},
                                                         {"0", "0", "0", "0.1", "0.2"},
                                                         {"0", "0", "0", "0.3", "0.4"}};
    EXPECT_EQ(rows, expected);
}

TEST(DistributionExport, LayoutOverTheFullTableFromZero) {
    expectFullRange('.');
    expectFullRange(',');
    expectOffsetRange();
}

TEST(DistributionExport, FileAndStreamMatchTheText) {
    const std::vector<double> abs{0.1, 0.2, 0.3, 0.4};
    const DistributionView d{1, 2, 0, 1, 7e-3, 9e-3, abs.data()};
    const std::string text = formatDistribution(d, '.');
    EXPECT_EQ(text, "0\t0.009\t\n0.1\t0.2\t\n0.3\t0.4\t\n");

    std::ostringstream os;
    EXPECT_TRUE(writeDistribution(os, d, '.'));
    EXPECT_EQ(os.str(), text);

    const auto path = std::filesystem::temp_directory_path() / "marlinq-export-test.txt";
    ASSERT_TRUE(writeDistribution(path.string(), d, '.'));
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), text);
    std::filesystem::remove(path);
    EXPECT_FALSE(writeDistribution((path / "no" / "dir").string(), d, '.'));
}

TEST(DistributionExport, PointSeparatorUnderCommaLocale) {
    MARLINQ_REQUIRE_COMMA_LOCALE(locale);
    expectFullRange('.');
    expectOffsetRange();
}

}  // namespace
}  // namespace marlinq
