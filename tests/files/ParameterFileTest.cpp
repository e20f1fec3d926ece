#include "files/ParameterFile.h"

#include "CommaLocale.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace marlinq {
namespace {

// The variables the reader writes, preset to recognisable values, and pid preset to 15.
struct Vars {
    double kip = -1, kim = -2, ka = -3, vc01 = -4, vc10 = -5, zp = -6, zn = -7;
    std::int32_t Np = -8, Nm = -9, mpMin = -10, mpMax = -11, mmMin = -12, mmMax = -13, pid = kUnknownKeyPid;
};

std::filesystem::path tempFile(const std::string& name) {
    return std::filesystem::temp_directory_path() / ("marlinq-param-test-" + name);
}

Vars readText(const std::string& content) {
    const auto path = tempFile("read.in");
    std::ofstream(path, std::ios::binary) << content;
    Vars v;
    EXPECT_TRUE(readParameter(v.kip, v.kim, v.ka, v.vc01, v.vc10, v.zp, v.zn, path.string(), v.Np, v.Nm, v.mpMin,
                              v.mpMax, v.mmMin, v.mmMax, v.pid));
    std::filesystem::remove(path);
    return v;
}

const ParameterFileValues kStartup{1e-3, 1e-3, 18, 18, 0.25, 0.25, 0.2, 1, 200, 0, 10, 0, 10};
const std::string kStartupText =
    "vc01 0.001\nvc10 0.001\nzp 18\nzn 18\nkiplus 0.25\nkiminus 0.25\nka 0.2\n"
    "Np 1\nNm 200\nmpMin 0\nmpMax 10\nmmMin 0\nmmMax 10\n";

void expectRoundTrip() {
    EXPECT_EQ(formatParameterFile(kStartup), kStartupText);
    const auto path = tempFile("written.txt");
    ASSERT_TRUE(writeParameterFile(path.string(), kStartup));
    std::ifstream in(path, std::ios::binary);
    const std::string written(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(written, kStartupText);
    std::filesystem::remove(path);

    const Vars v = readText(written);
    EXPECT_EQ(v.pid, 12);
    const ParameterFileValues back{v.vc01, v.vc10, v.zp, v.zn, v.kip, v.kim, v.ka,
                                   v.Np,   v.Nm,   v.mpMin, v.mpMax, v.mmMin, v.mmMax};
    EXPECT_EQ(formatParameterFile(back), kStartupText);
    EXPECT_EQ(back.ka, 0.2);

    ParameterFileValues odd = kStartup;
    odd.kip = 1.0 / 3.0;
    odd.vc10 = 1e-5;
    odd.mmMin = -7;
    const std::string text = formatParameterFile(odd);
    EXPECT_NE(text.find("\nkiplus 0.333333333333333\n"), std::string::npos);
    EXPECT_NE(text.find("\nvc10 1E-05\n"), std::string::npos);
    EXPECT_NE(text.find("\nmmMin -7\n"), std::string::npos);
}

void expectValueEdgeCases(const char* eol) {
    std::string text;
    for (const char* line : {"Np 3.7", "ka 2e-1", "ka abc", " \t zp\t \t0.5  third word \t", "zn 1e999",
                             "mpMax 2147483648", "Nm 7", "Nm 42", "vc10 1E-05"})
        text += std::string(line) + eol;
    text.resize(text.size() - std::string(eol).size());  // no line end after the last line
    const Vars v = readText(text);
    EXPECT_EQ(v.Np, 3);
    EXPECT_EQ(v.ka, 0.2);      // "abc" leaves it
    EXPECT_EQ(v.zp, 0.5);      // mixed separators, third field ignored
    EXPECT_EQ(v.zn, -7);       // beyond a double: unchanged
    EXPECT_EQ(v.mpMax, -11);   // beyond 32 bits: unchanged
    EXPECT_EQ(v.Nm, 42);       // last occurrence wins
    EXPECT_EQ(v.vc10, 1e-5);
    EXPECT_EQ(v.pid, 3);
}

TEST(ParameterFile, StartupValuesRoundTrip) { expectRoundTrip(); }

TEST(ParameterFile, ValueEdgeCasesWithEitherLineEnd) {
    expectValueEdgeCases("\n");
    expectValueEdgeCases("\r\n");
}

TEST(ParameterFile, LastLineDecidesThePid) {
    const Vars rejected = readText(kStartupText + "foo 1\n");
    EXPECT_EQ(rejected.pid, kUnknownKeyPid);
    EXPECT_EQ(rejected.Nm, 200);  // stored even though the caller rejects the file
    EXPECT_EQ(readText("foo 1\n" + kStartupText).pid, 12);
    EXPECT_EQ(readText("").pid, kUnknownKeyPid);
    EXPECT_EQ(readText("ka 0.5\nname my run\n").pid, 1);

    const Vars onlyMmMax = readText("mmMax 12\n");
    EXPECT_EQ(onlyMmMax.pid, 12);
    EXPECT_EQ(onlyMmMax.mmMax, 12);
    EXPECT_EQ(onlyMmMax.ka, -3);

    const std::pair<const char*, int> keys[] = {{"vc01", 2}, {"vc10", 3}, {"zp", 4}, {"zn", 5}, {"kiplus", 6},
                                                {"kiminus", 7}, {"ka", 8}, {"Np", 9}, {"Nm", 10}, {"mpMax", 11},
                                                {"mmMax", 12}, {"mpMin", 13}, {"mmMin", 14}, {"KA", 15}};
    for (const auto& [key, number] : keys) EXPECT_EQ(readText(std::string(key) + " 1\n").pid, number) << key;

    // A key alone counts like an unreadable value; blank lines are skipped.
    const Vars keyAlone = readText("ka 0.5\nzp\n");
    EXPECT_EQ(keyAlone.pid, 4);
    EXPECT_EQ(keyAlone.zp, -6);
    EXPECT_EQ(readText("ka 0.5\nfoo\n").pid, kUnknownKeyPid);
    EXPECT_EQ(readText("ka 0.5\n\n \t \r\n").pid, 8);
}

TEST(ParameterFile, UnopenableFilesAreReported) {
    Vars v;
    const std::string dir = std::filesystem::temp_directory_path().string();
    for (const std::string& path : {dir + "/marlinq-no-such-file.in", dir})
        EXPECT_FALSE(readParameter(v.kip, v.kim, v.ka, v.vc01, v.vc10, v.zp, v.zn, path, v.Np, v.Nm, v.mpMin,
                                   v.mpMax, v.mmMin, v.mmMax, v.pid));
    EXPECT_EQ(v.pid, kUnknownKeyPid);
    EXPECT_FALSE(writeParameterFile(dir + "/marlinq-no-such-dir/p.txt", kStartup));
}

TEST(ParameterFile, SameUnderCommaLocale) {
    MARLINQ_REQUIRE_COMMA_LOCALE(locale);
    expectRoundTrip();
    expectValueEdgeCases("\n");
    EXPECT_EQ(readText("ka 0,5\n").ka, 0.0);  // classic notation: the comma ends the number
}

}  // namespace
}  // namespace marlinq
