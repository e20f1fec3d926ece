#include "files/ParameterFile.h"

#include "CommaLocale.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace marlinq {
namespace {

// The fourteen variables the reader writes, preset to recognisable values.
struct Vars {
    double kip = -1, kim = -2, ka = -3, vc01 = -4, vc10 = -5, zp = -6, zn = -7;
    std::int32_t Np = -8, Nm = -9, mpMin = -10, mpMax = -11, mmMin = -12, mmMax = -13;
    std::int32_t pid = kUnknownKeyPid;

    bool read(const std::string& file) {
        return readParameter(kip, kim, ka, vc01, vc10, zp, zn, file, Np, Nm, mpMin, mpMax, mmMin, mmMax, pid);
    }
};

class ParameterFileTest : public ::testing::Test {
protected:
    std::filesystem::path dir_;
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("marlinq-param-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string file(const std::string& content, const std::string& name = "p.in") {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    static std::string slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

const ParameterFileValues kStartup{1e-3, 1e-3, 18, 18, 0.25, 0.25, 0.2, 1, 200, 0, 10, 0, 10};
const char* const kStartupText =
    "vc01 0.001\nvc10 0.001\nzp 18\nzn 18\nkiplus 0.25\nkiminus 0.25\nka 0.2\n"
    "Np 1\nNm 200\nmpMin 0\nmpMax 10\nmmMin 0\nmmMax 10\n";

void roundTrip(const std::string& path) {
    ASSERT_TRUE(writeParameterFile(path, kStartup));
    Vars v;
    ASSERT_TRUE(v.read(path));
    EXPECT_EQ(v.pid, 12);  // mmMax is the last line
    EXPECT_EQ(v.vc01, 1e-3);
    EXPECT_EQ(v.vc10, 1e-3);
    EXPECT_EQ(v.zp, 18);
    EXPECT_EQ(v.zn, 18);
    EXPECT_EQ(v.kip, 0.25);
    EXPECT_EQ(v.kim, 0.25);
    EXPECT_EQ(v.ka, 0.2);
    EXPECT_EQ(v.Np, 1);
    EXPECT_EQ(v.Nm, 200);
    EXPECT_EQ(v.mpMin, 0);
    EXPECT_EQ(v.mpMax, 10);
    EXPECT_EQ(v.mmMin, 0);
    EXPECT_EQ(v.mmMax, 10);
}

TEST_F(ParameterFileTest, StartupValuesWriteTheThirteenLinesAndReadBack) {
    EXPECT_EQ(formatParameterFile(kStartup), kStartupText);
    const std::string path = (dir_ / "startup.txt").string();
    roundTrip(path);
    EXPECT_EQ(slurp(path), kStartupText);

    ParameterFileValues odd = kStartup;
    odd.kip = 1.0 / 3.0;
    odd.vc10 = 1e-5;
    odd.vc01 = 1e-20;
    odd.mmMin = -7;
    const std::string text = formatParameterFile(odd);
    EXPECT_NE(text.find("\nkiplus 0.333333333333333\n"), std::string::npos);
    EXPECT_NE(text.find("\nvc10 1E-05\n"), std::string::npos);
    EXPECT_EQ(text.rfind("vc01 1E-20\n", 0), 0u);
    EXPECT_NE(text.find("\nmmMin -7\n"), std::string::npos);
}

TEST_F(ParameterFileTest, WriterReportsAnUnwritablePath) {
    EXPECT_FALSE(writeParameterFile((dir_ / "missing" / "p.txt").string(), kStartup));
}

TEST_F(ParameterFileTest, UnopenableFileChangesNothing) {
    Vars v;
    EXPECT_FALSE(v.read((dir_ / "absent.in").string()));
    EXPECT_FALSE(v.read(dir_.string()));  // a folder
    EXPECT_EQ(v.pid, kUnknownKeyPid);
    EXPECT_EQ(v.ka, -3);
}

TEST_F(ParameterFileTest, LastLineDecidesThePid) {
    const std::string all = kStartupText;
    Vars bottom;
    ASSERT_TRUE(bottom.read(file(all + "foo 1\n")));
    EXPECT_EQ(bottom.pid, kUnknownKeyPid);
    EXPECT_EQ(bottom.Nm, 200);  // values are stored even though the caller rejects the file

    Vars top;
    ASSERT_TRUE(top.read(file("foo 1\n" + all)));
    EXPECT_EQ(top.pid, 12);

    Vars onlyMmMax;
    ASSERT_TRUE(onlyMmMax.read(file("mmMax 12\n")));
    EXPECT_EQ(onlyMmMax.pid, 12);
    EXPECT_EQ(onlyMmMax.mmMax, 12);
    EXPECT_EQ(onlyMmMax.ka, -3);
    EXPECT_EQ(onlyMmMax.mmMin, -12);

    Vars empty;
    ASSERT_TRUE(empty.read(file("")));
    EXPECT_EQ(empty.pid, kUnknownKeyPid);

    Vars named;
    ASSERT_TRUE(named.read(file("ka 0.5\nname my run\n")));
    EXPECT_EQ(named.pid, 1);
    EXPECT_EQ(named.ka, 0.5);

    // Key numbers of every key.
    const std::pair<const char*, int> keys[] = {{"vc01", 2}, {"vc10", 3},  {"zp", 4},     {"zn", 5},
                                                {"kiplus", 6}, {"kiminus", 7}, {"ka", 8},     {"Np", 9},
                                                {"Nm", 10},  {"mpMax", 11}, {"mmMax", 12}, {"mpMin", 13},
                                                {"mmMin", 14}, {"KA", 15}};
    for (const auto& [key, number] : keys) {
        Vars v;
        ASSERT_TRUE(v.read(file(std::string(key) + " 1\n")));
        EXPECT_EQ(v.pid, number) << key;
    }
}

TEST_F(ParameterFileTest, ShortAndBlankLines) {
    // A known key alone keeps its value but counts; an unknown key alone rejects.
    Vars keyAlone;
    ASSERT_TRUE(keyAlone.read(file("ka 0.5\nzp\n")));
    EXPECT_EQ(keyAlone.pid, 4);
    EXPECT_EQ(keyAlone.zp, -6);
    EXPECT_EQ(keyAlone.ka, 0.5);

    Vars unknownAlone;
    ASSERT_TRUE(unknownAlone.read(file("ka 0.5\nfoo\n")));
    EXPECT_EQ(unknownAlone.pid, kUnknownKeyPid);

    // Empty and blank-only lines are skipped, so a trailing one does not reject the file.
    Vars blanks;
    ASSERT_TRUE(blanks.read(file("ka 0.5\n\n \t \r\n\n")));
    EXPECT_EQ(blanks.pid, 8);
    EXPECT_EQ(blanks.ka, 0.5);
}

void expectValueEdgeCases(const std::string& path) {
    Vars v;
    ASSERT_TRUE(v.read(path));
    EXPECT_EQ(v.Np, 3);     // "3.7"
    EXPECT_EQ(v.ka, 0.2);   // "2e-1", then "abc" leaves it
    EXPECT_EQ(v.zp, 0.5);   // extra fields ignored, mixed separators
    EXPECT_EQ(v.zn, -7);    // "1e999" does not fit a double: unchanged
    EXPECT_EQ(v.mpMax, -11);  // 2147483648 does not fit 32 bits: unchanged
    EXPECT_EQ(v.Nm, 42);    // last occurrence wins
    EXPECT_EQ(v.vc10, 1e-5);  // last line without a line feed
    EXPECT_EQ(v.pid, 3);
}

const char* const kEdgeLines[] = {"Np 3.7",  "ka 2e-1",        "ka abc",   " \t zp\t \t0.5  third word \t",
                                  "zn 1e999", "mpMax 2147483648", "Nm 7",   "Nm 42",
                                  "vc10 1E-05"};

std::string joinLines(const char* eol, bool finalEol) {
    std::string s;
    for (std::size_t i = 0; i < std::size(kEdgeLines); ++i) {
        s += kEdgeLines[i];
        if (i + 1 < std::size(kEdgeLines) || finalEol) s += eol;
    }
    return s;
}

TEST_F(ParameterFileTest, ValueEdgeCasesWithEitherLineEnd) {
    expectValueEdgeCases(file(joinLines("\n", false), "lf.in"));
    expectValueEdgeCases(file(joinLines("\r\n", false), "crlf.in"));
    expectValueEdgeCases(file(joinLines("\r\n", true), "crlf-final.in"));
}

TEST_F(ParameterFileTest, SameUnderCommaLocale) {
    MARLINQ_REQUIRE_COMMA_LOCALE(locale);
    EXPECT_EQ(formatParameterFile(kStartup), kStartupText);
    roundTrip((dir_ / "comma.txt").string());
    expectValueEdgeCases(file(joinLines("\n", true), "comma.in"));
    Vars v;
    ASSERT_TRUE(v.read(file("ka 0,5\n")));
    EXPECT_EQ(v.ka, 0.0);  // classic notation: reading stops at the comma
}

TEST(StringExplode, SplitsOnRunsOfBlanksAndTabsOnly) {
    std::vector<std::string> f{"kept"};
    StringExplode("\t a\t\tb  c;d \t", f);
    EXPECT_EQ(f, (std::vector<std::string>{"kept", "a", "b", "c;d"}));
    f.clear();
    StringExplode(" \t ", f);
    EXPECT_TRUE(f.empty());
}

}  // namespace
}  // namespace marlinq
