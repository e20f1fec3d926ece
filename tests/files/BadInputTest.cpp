// Files users really hand the readers: empty, binary, saved with a byte-order mark, with
// huge lines or numbers out of range, and very large. Every one reads as documented.
#include "files/ChainTables.h"
#include "files/ParameterFile.h"

#include "CommaLocale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <unistd.h>

namespace marlinq {
namespace {

namespace fs = std::filesystem;

const std::string kBom = "\xEF\xBB\xBF";
const std::string kStartupText =
    "vc01 0.001\nvc10 0.001\nzp 18\nzn 18\nkiplus 0.25\nkiminus 0.25\nka 0.2\n"
    "Np 1\nNm 200\nmpMin 0\nmpMax 10\nmmMin 0\nmmMax 10\n";

fs::path writeTemp(const std::string& content) {
    static int counter = 0;
    const fs::path p = fs::temp_directory_path() /
                       ("marlinq_bad_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + ".txt");
    std::ofstream(p, std::ios::binary) << content;
    return p;
}

struct Vars {
    double kip = -1, kim = -2, ka = -3, vc01 = -4, vc10 = -5, zp = -6, zn = -7;
    std::int32_t Np = -8, Nm = -9, mpMin = -10, mpMax = -11, mmMin = -12, mmMax = -13, pid = kUnknownKeyPid;
    bool operator==(const Vars&) const = default;
};

Vars readText(const std::string& content) {
    const fs::path path = writeTemp(content);
    Vars v;
    EXPECT_TRUE(readParameter(v.kip, v.kim, v.ka, v.vc01, v.vc10, v.zp, v.zn, path.string(), v.Np, v.Nm, v.mpMin,
                              v.mpMax, v.mmMin, v.mmMax, v.pid));
    fs::remove(path);
    return v;
}

Vars startupVars() {
    Vars v;
    v.vc01 = v.vc10 = 0.001;
    v.zp = v.zn = 18;
    v.kip = v.kim = 0.25;
    v.ka = 0.2;
    v.Np = 1;
    v.Nm = 200;
    v.mpMin = v.mmMin = 0;
    v.mpMax = v.mmMax = 10;
    v.pid = 12;
    return v;
}

std::string withCrlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string allBytes() {
    std::string s;
    for (int round = 0; round < 4; ++round)
        for (int b = 0; b < 256; ++b) s += static_cast<char>((b * 37 + round * 11) & 0xFF);
    return s;
}

void expectParameterReaderCases() {
    const Vars untouched;
    EXPECT_EQ(readText(""), untouched);
    // Binary bytes: whatever the lines say, the last one's first field is no key.
    const Vars binary = readText(allBytes());
    EXPECT_EQ(binary.pid, kUnknownKeyPid);

    // A file saved by a Windows editor: mark, CRLF. The first key is still a key.
    EXPECT_EQ(readText(kBom + withCrlf(kStartupText)), startupVars());
    EXPECT_EQ(readText(kBom + "zp 20\n").pid, 4);
    EXPECT_EQ(readText(kBom + "zp 20\n").zp, 20);
    // Only a mark at the very start is dropped.
    EXPECT_EQ(readText("ka 0.5\n" + kBom + "zp 20\n").pid, kUnknownKeyPid);
    EXPECT_EQ(readText(kBom).pid, kUnknownKeyPid);

    // Numbers a double cannot hold, and words for numbers, leave the variable unchanged;
    // underflow reads zero; a negative zero keeps its sign; integers take the leading digits.
    const Vars odd = readText("zp 1e999\nzn -1e999\nka nan\nvc01 inf\nvc10 2E-400\nkiplus -0\nkiminus 1e-999x\n"
                              "Np 99999999999\nNm 1e999\nmpMax +3.9\nmmMax -0\n");
    EXPECT_EQ(odd.zp, -6);
    EXPECT_EQ(odd.zn, -7);
    EXPECT_EQ(odd.ka, -3);
    EXPECT_EQ(odd.vc01, -4);
    EXPECT_EQ(odd.vc10, 0.0);
    EXPECT_EQ(odd.kip, 0.0);
    EXPECT_TRUE(std::signbit(odd.kip));
    EXPECT_EQ(odd.kim, 0.0);
    EXPECT_EQ(odd.Np, -8);
    EXPECT_EQ(odd.Nm, 1);
    EXPECT_EQ(odd.mpMax, 3);
    EXPECT_EQ(odd.mmMax, 0);
    EXPECT_EQ(odd.pid, 12);

    // A 1 MB line: a long name, then a value with a million digits.
    const std::string mega(1 << 20, '5');
    const Vars longLines = readText("name " + mega + "\nka 0." + mega + "\nzp 1" + std::string(1 << 20, '0') + "\n");
    EXPECT_EQ(longLines.ka, 0.5555555555555556);
    EXPECT_EQ(longLines.zp, -6);
    EXPECT_EQ(longLines.pid, 4);
    EXPECT_EQ(readText(mega).pid, kUnknownKeyPid);
}

TEST(BadInput, ParameterFilesAsUsersProduceThem) { expectParameterReaderCases(); }

TEST(BadInput, ParameterFilesUnderCommaLocale) {
    MARLINQ_REQUIRE_COMMA_LOCALE(locale);
    expectParameterReaderCases();
}

TEST(BadInput, FiveMegabyteParameterFileReadsItsLastValues) {
    std::string text;
    text.reserve(5u << 20);
    for (int i = 0; text.size() < (5u << 20); ++i) text += "name run " + std::to_string(i) + "\n" + kStartupText;
    text += "zp 19.5\nmmMax 12\n";
    Vars expected = startupVars();
    expected.zp = 19.5;
    expected.mmMax = 12;
    EXPECT_EQ(readText(text), expected);
}

struct Tables {
    std::unique_ptr<CoarseTable> coarse = std::make_unique<CoarseTable>();
    std::unique_ptr<FineTable> fine = std::make_unique<FineTable>();
    Tables() {
        for (auto& row : *coarse) row.fill(0.0);
        for (auto& row : *fine) row.fill(0.0);
    }
    void read(const std::string& content) {
        const fs::path path = writeTemp(content);
        std::string failure;
        EXPECT_TRUE(read_chain_matrix_from(path.string(), *coarse, &failure));
        EXPECT_TRUE(read_chain_matrix01_from(path.string(), *fine, &failure));
        EXPECT_EQ(failure, "");
        fs::remove(path);
    }
    bool allZero() const {
        for (const auto& row : *coarse)
            for (double x : row)
                if (x != 0.0) return false;
        for (const auto& row : *fine)
            for (double x : row)
                if (x != 0.0) return false;
        return true;
    }
};

TEST(BadInput, TableFilesAsUsersProduceThem) {
    {
        Tables t;
        t.read("");
        EXPECT_TRUE(t.allZero());
    }
    {
        Tables t;
        t.read(allBytes());  // no fault; whatever numbers the bytes spell are finite or infinite, never NaN
        for (const auto& row : *t.fine)
            for (double x : row) EXPECT_FALSE(std::isnan(x));
    }
    {
        Tables t;
        t.read(kBom + "0.5\t1.5\r\n2.5\t3.5\r\n");
        EXPECT_EQ((*t.coarse)[0][0], 0.5);
        EXPECT_EQ((*t.fine)[0][1], 1.5);
        EXPECT_EQ((*t.coarse)[1][1], 3.5);
    }
    {
        // Out-of-range and word values: overflow is infinite, underflow zero, words zero.
        Tables t;
        t.read("1e999\t-1e999\t1e-999\tnan\tinf\t-0\t0.5e999\t-.01e400\t1000e-1000\t0.0e999\n");
        const auto& r = (*t.coarse)[0];
        EXPECT_EQ(r[0], HUGE_VAL);
        EXPECT_EQ(r[1], -HUGE_VAL);
        EXPECT_EQ(r[2], 0.0);
        EXPECT_EQ(r[3], 0.0);
        EXPECT_EQ(r[4], 0.0);
        EXPECT_TRUE(std::signbit(r[5]));
        // Whether a number is too large or too small depends on its leading digit, not on
        // the sign of the exponent alone.
        EXPECT_EQ(r[6], HUGE_VAL);
        EXPECT_EQ(r[7], -HUGE_VAL);
        EXPECT_EQ(r[8], 0.0);
        EXPECT_EQ(r[9], 0.0);
    }
    {
        // A 1 MB row: the columns beyond the table are ignored, the next line is the next row.
        std::string row;
        for (int i = 0; row.size() < (1u << 20); ++i) row += std::to_string(i) + "\t";
        Tables t;
        t.read(row + "\n7\n");
        EXPECT_EQ((*t.coarse)[0][19], 19.0);
        EXPECT_EQ((*t.fine)[0][98], 98.0);
        EXPECT_EQ((*t.fine)[1][0], 7.0);
    }
}

TEST(BadInput, FolderInPlaceOfATableIsUnreadable) {
    const fs::path dir = fs::temp_directory_path() / ("marlinq_bad_dir_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    Tables t;
    std::string failure;
    EXPECT_FALSE(read_chain_matrix_from(dir.string(), *t.coarse, &failure));
    EXPECT_EQ(failure, kCoarseTableOpenError);
    EXPECT_FALSE(read_chain_matrix01_from(dir.string(), *t.fine, &failure));
    EXPECT_EQ(failure, kFineTableOpenError);
    fs::remove(dir);
}

}  // namespace
}  // namespace marlinq
