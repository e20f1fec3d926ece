#include "files/ParameterFile.h"

#include "CommaLocale.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

namespace marlinq {
namespace {

// The variables the reader writes, preset to recognisable values, and pid preset to 15.
struct Vars {
    double kip = -1, kim = -2, ka = -3, vc01 = -4, vc10 = -5, zp = -6, zn = -7;
    std::int32_t Np = -8, Nm = -9, mpMin = -10, mpMax = -11, mmMin = -12, mmMax = -13, pid = kUnknownKeyPid;
};

std::filesystem::path tempFile(const std::string& name) {
    // Each test runs in its own process, several at once: the process id keeps their files apart.
    return std::filesystem::temp_directory_path() /
           ("marlinq-param-test-" + std::to_string(::getpid()) + "-" + name);
}

// The file read as the engine reads it: the values found written over the preset ones,
// pid the key number of the last non-empty line.
Vars readText(const std::string& content) {
    const auto path = tempFile("read.in");
    std::ofstream(path, std::ios::binary) << content;
    const ParameterFileResult result = readParameterFile(path.string());
    std::filesystem::remove(path);
    EXPECT_TRUE(result.opened) << result.error;
    Vars v;
    ParameterFileValues values{v.vc01, v.vc10, v.zp, v.zn, v.kip, v.kim, v.ka,
                               v.Np,   v.Nm,   v.mpMin, v.mpMax, v.mmMin, v.mmMax};
    result.found.applyTo(values);
    v = Vars{values.kip, values.kim, values.ka,    values.vc01,  values.vc10,  values.zp,    values.zn,
             values.Np,  values.Nm,  values.mpMin, values.mpMax, values.mmMin, values.mmMax, result.pid};
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
    const std::string dir = std::filesystem::temp_directory_path().string();
    for (const std::string& path : {dir + "/marlinq-no-such-file.in", dir}) {
        const ParameterFileResult r = readParameterFile(path);
        EXPECT_FALSE(r.opened) << path;
        EXPECT_TRUE(r.found.empty()) << path;
        EXPECT_EQ(r.pid, kUnknownKeyPid) << path;
    }
    EXPECT_FALSE(writeParameterFile(dir + "/marlinq-no-such-dir/p.txt", kStartup));
}

TEST(ParameterFile, SameUnderCommaLocale) {
    MARLINQ_REQUIRE_COMMA_LOCALE(locale);
    expectRoundTrip();
    expectValueEdgeCases("\n");
    EXPECT_EQ(readText("ka 0,5\n").ka, 0.0);  // classic notation: the comma ends the number
    const ParameterFileResult noted = parseParameterText("ka 0.5x\nzp 2,5\n");
    ASSERT_EQ(noted.notes.size(), 2u);
    EXPECT_EQ(noted.notes[0].reason, "value \"0.5x\" read only in part, as 0.5");
    EXPECT_EQ(noted.notes[1].reason, "value \"2,5\" read only in part, as 2 (the decimal separator is a point)");
}

TEST(ParameterFile, LoneCarriageReturnsEndLines) {
    // Saved by an old Mac editor: every line is read, not the first alone.
    std::string mac = kStartupText;
    for (char& ch : mac)
        if (ch == '\n') ch = '\r';
    const Vars v = readText(mac);
    const ParameterFileValues back{v.vc01, v.vc10, v.zp, v.zn, v.kip, v.kim, v.ka,
                                   v.Np,   v.Nm,   v.mpMin, v.mpMax, v.mmMin, v.mmMax};
    EXPECT_EQ(formatParameterFile(back), kStartupText);
    EXPECT_EQ(v.pid, 12);
    EXPECT_TRUE(parseParameterText(mac).notes.empty());
}

// The notes of a text, as "LINE: TEXT — REASON".
std::vector<std::string> notesOf(const std::string& text) {
    std::vector<std::string> out;
    for (const ParameterFileNote& n : parseParameterText(text).notes) {
        const std::string formatted = formatParameterNote("p.in", n);
        EXPECT_EQ(formatted.rfind("p.in:", 0), 0u);
        out.push_back(formatted.substr(5));
    }
    return out;
}

TEST(ParameterFile, NotesNameTheLineAndTheReason) {
    const ParameterFileResult r =
        parseParameterText("zp 3O\nkA 1.5\nka 1,5\nmpMax 1e2\nNp 3.7\nzn\nvc10 abc\nvc01 1e999\nmmMax 2147483648\n"
                           "\n name  my run\nkiplus 0.25 0.5 x\nmmMin +4\n");
    EXPECT_TRUE(r.opened);
    EXPECT_EQ(r.found.zp, 3.0);
    EXPECT_EQ(r.found.ka, 1.0);
    EXPECT_EQ(r.found.mpMax, 1);
    EXPECT_EQ(r.found.Np, 3);
    EXPECT_EQ(r.found.kip, 0.25);
    EXPECT_EQ(r.found.mmMin, 4);
    EXPECT_FALSE(r.found.zn);
    EXPECT_FALSE(r.found.vc10);
    EXPECT_FALSE(r.found.vc01);
    EXPECT_FALSE(r.found.mmMax);
    EXPECT_FALSE(r.found.kim);
    EXPECT_EQ(r.pid, 14);
    EXPECT_EQ(r.lineCount, 13u);
    EXPECT_EQ(r.recordCount, 12u);

    const std::string dash = " \xE2\x80\x94 ";
    const std::vector<std::string> expected{
        "1: zp 3O" + dash + "value \"3O\" read only in part, as 3",
        "2: kA 1.5" + dash + "unknown key \"kA\" (keys are case-sensitive: \"ka\"?); line skipped",
        "3: ka 1,5" + dash + "value \"1,5\" read only in part, as 1 (the decimal separator is a point)",
        "4: mpMax 1e2" + dash + "value \"1e2\" read only in part, as 1",
        "5: Np 3.7" + dash + "value \"3.7\" read only in part, as 3",
        "6: zn" + dash + "key \"zn\" without a value; zn left unchanged",
        "7: vc10 abc" + dash + "value \"abc\" is not a number; vc10 left unchanged",
        "8: vc01 1e999" + dash + "value \"1e999\" is beyond the range of a double; vc01 left unchanged",
        "9: mmMax 2147483648" + dash + "value \"2147483648\" does not fit a 32-bit integer; mmMax left unchanged",
        "12: kiplus 0.25 0.5 x" + dash + "text after the value ignored: \"0.5 x\"",
    };
    EXPECT_EQ(notesOf("zp 3O\nkA 1.5\nka 1,5\nmpMax 1e2\nNp 3.7\nzn\nvc10 abc\nvc01 1e999\nmmMax 2147483648\n"
                      "\n name  my run\nkiplus 0.25 0.5 x\nmmMin +4\n"),
              expected);
    // The file as the writer writes it has nothing to note.
    EXPECT_TRUE(notesOf(kStartupText).empty());
    // Control characters in a line are shown as '?'.
    EXPECT_EQ(notesOf("k\x01 1\n"), std::vector<std::string>{"1: k? 1" + dash + "unknown key \"k?\"; line skipped"});
}

TEST(ParameterFile, NotesStopAfterAHundred) {
    std::string text;
    for (int i = 0; i < 1000; ++i) text += "foo " + std::to_string(i) + "\n";
    text += "ka 0.5\n";
    const ParameterFileResult r = parseParameterText(text);
    ASSERT_EQ(r.notes.size(), kMaxParameterFileNotes + 1);
    EXPECT_EQ(r.notes.back().line, 101u);
    EXPECT_EQ(r.notes.back().reason, "900 more notes from this line on are not listed");
    EXPECT_EQ(r.found.ka, 0.5);  // reading goes on to the end
    EXPECT_EQ(r.pid, 8);
}

TEST(ParameterFile, FoundValuesApplyOverTheCallersOwn) {
    ParameterFileValues v = kStartup;
    parseParameterText("ka 0.5\nka 0.7\nmmMax 12\nNm abc\n").found.applyTo(v);
    ParameterFileValues expected = kStartup;
    expected.ka = 0.7;  // the last occurrence wins
    expected.mmMax = 12;
    EXPECT_EQ(formatParameterFile(v), formatParameterFile(expected));
    EXPECT_TRUE(parseParameterText("name x\nfoo 1\nka abc\n").found.empty());
    EXPECT_EQ(parseParameterText("").pid, kUnknownKeyPid);
    EXPECT_EQ(parseParameterText("ka 1\n").pid, 8);
}

TEST(ParameterFile, FoldersPipesAndHugeFilesAreRefusedAtOnce) {
    const auto dir = tempFile("dir");
    std::filesystem::create_directories(dir);
    ParameterFileResult r = readParameterFile(dir.string());
    EXPECT_FALSE(r.opened);
    EXPECT_EQ(r.error, dir.string() + ": is a folder, not a file");
    r = readParameterFile((dir / "none.in").string());
    EXPECT_EQ(r.error, (dir / "none.in").string() + ": no such file");

    // Nobody writes to this pipe: opening it for reading would wait for ever.
    const auto fifo = dir / "params.in";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    r = readParameterFile(fifo.string());
    EXPECT_FALSE(r.opened);
    EXPECT_EQ(r.error, fifo.string() + ": is a pipe (FIFO), not a regular file");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

    // A sparse gigabyte: refused by its size before a byte is read.
    const auto huge = dir / "huge.in";
    {
        std::ofstream(huge, std::ios::binary) << "ka 0.5\n";
    }
    std::filesystem::resize_file(huge, 1ull << 30);
    const auto hugeStart = std::chrono::steady_clock::now();
    r = readParameterFile(huge.string());
    EXPECT_FALSE(r.opened);
    EXPECT_EQ(r.error, huge.string() + ": larger than 16777216 bytes; not read");
    EXPECT_LT(std::chrono::steady_clock::now() - hugeStart, std::chrono::seconds(2));
    std::filesystem::remove_all(dir);
}

TEST(ParameterFile, ChargedLengthComesBackFromChargeAndDensity) {
    EXPECT_EQ(recoverChargedLength(18, 0.25), 72);
    EXPECT_EQ(recoverChargedLength(72.9, 1.0), 72);  // not near an integer: truncated
    EXPECT_EQ(recoverChargedLength(-7.5, 1.0), -7);
    EXPECT_EQ(recoverChargedLength(71.99999999999999, 1.0), 72);
    EXPECT_EQ(recoverChargedLength(71.9999999, 1.0), 71);  // 1.4e-9 off: truncated
    EXPECT_EQ(recoverChargedLength(0.0, 0.0), std::nullopt);
    EXPECT_EQ(recoverChargedLength(1.0, 0.0), std::nullopt);
    EXPECT_EQ(recoverChargedLength(3e9, 1.0), std::nullopt);
    EXPECT_EQ(recoverChargedLength(2147483647.0, 1.0), 2147483647);
    EXPECT_EQ(recoverChargedLength(std::nan(""), 1.0), std::nullopt);
}

TEST(ParameterFile, EveryChargedLengthSurvivesSaveAndLoad) {
    // Every charge and length the window accepts (density 0.2 .. 10), saved with the density
    // written to 15 digits and loaded back, gives the length it was saved with.
    int pairs = 0, truncationLosses = 0, failures = 0;
    for (int q = 1; q <= 200; ++q)
        for (int n = 1; n <= 1000; ++n) {
            const double density = static_cast<double>(q) / n;
            if (density < 0.2 || density > 10.0) continue;
            ++pairs;
            ParameterFileValues v = kStartup;
            v.zp = v.zn = q;
            v.kip = v.kim = density;
            const ParameterFileResult r = parseParameterText(formatParameterFile(v));
            ASSERT_TRUE(r.found.zp && r.found.kip && r.found.zn && r.found.kim);
            if (std::trunc(*r.found.zp / *r.found.kip) != n) ++truncationLosses;
            if (recoverChargedLength(*r.found.zp, *r.found.kip) != n ||
                recoverChargedLength(*r.found.zn, *r.found.kim) != n) {
                if (++failures < 10) ADD_FAILURE() << "q " << q << ", N " << n;
            }
        }
    EXPECT_EQ(pairs, 98600);
    EXPECT_EQ(failures, 0);
    EXPECT_GT(truncationLosses, 40000);  // what plain truncation would have lost
    // And once through a real file.
    ParameterFileValues v = kStartup;
    v.zp = 7;
    v.kip = 7.0 / 29;
    const auto path = tempFile("length.txt");
    ASSERT_TRUE(writeParameterFile(path.string(), v));
    const ParameterFileResult r = readParameterFile(path.string());
    std::filesystem::remove(path);
    ASSERT_TRUE(r.opened);
    EXPECT_EQ(recoverChargedLength(*r.found.zp, *r.found.kip), 29);
}

TEST(ParameterFile, FailedSaveKeepsTheOldFile) {
    const auto dir = tempFile("save");
    std::filesystem::create_directories(dir);
    const auto path = dir / "p.txt";
    std::ofstream(path, std::ios::binary) << "old\n";
    std::filesystem::permissions(path, std::filesystem::perms(0640));
    std::string error;
    ASSERT_TRUE(writeParameterFile(path.string(), kStartup, error)) << error;
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), kStartupText);
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0640));
    // A folder in the way of the file: refused, nothing else touched.
    EXPECT_FALSE(writeParameterFile(dir.string(), kStartup, error));
    EXPECT_EQ(error, dir.string() + ": is a folder, not a file; not overwritten");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);  // no temporary left
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace marlinq
