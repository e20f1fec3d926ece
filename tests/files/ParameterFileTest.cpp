#include "files/ParameterFile.h"
#include "pipeline/ParameterSchema.h"

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

std::filesystem::path tempFile(const std::string& name) {
    // Each test runs in its own process, several at once: the process id keeps their files apart.
    return std::filesystem::temp_directory_path() /
           ("marlinq-param-test-" + std::to_string(::getpid()) + "-" + name);
}

const std::span<const ParameterKey> kKeys = parameterFileKeys();

ParameterFileResult parse(std::string_view text) { return parseParameterText(text, kKeys); }

// The value a result holds for key (nullopt when the file did not set it).
std::optional<double> value(const ParameterFileResult& r, std::string_view key) {
    for (std::size_t k = 0; k < kKeys.size(); ++k)
        if (kKeys[k].name == key) return r.found.at(k);
    ADD_FAILURE() << "no key " << key;
    return std::nullopt;
}

// The text read back from a real file.
ParameterFileResult readText(const std::string& content) {
    const auto path = tempFile("read.in");
    std::ofstream(path, std::ios::binary) << content;
    ParameterFileResult r = readParameterFile(path.string(), kKeys);
    EXPECT_TRUE(r.opened);
    std::filesystem::remove(path);
    return r;
}

// The values a result holds, in the writer's order (0 for a key not set).
std::vector<double> valuesOf(const ParameterFileResult& r) {
    std::vector<double> v;
    for (const std::optional<double>& f : r.found) v.push_back(f.value_or(0.0));
    return v;
}

const std::vector<double> kStartup = parameterFileValues(startupParameterSet());
const std::string kStartupText =
    "vc01 0.001\nvc10 0.001\nzp 18\nzn 18\nkiplus 0.25\nkiminus 0.25\nka 0.2\n"
    "Np 1\nNm 200\nmpMin 0\nmpMax 10\nmmMin 0\nmmMax 10\n";

std::string writeAndRead(const std::string& path, const std::vector<double>& values, std::string& error) {
    if (!writeParameterFile(path, kKeys, values, error)) return {};
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void expectRoundTrip() {
    EXPECT_EQ(formatParameterFile(kKeys, kStartup), kStartupText);
    const auto path = tempFile("written.txt");
    std::string error;
    const std::string written = writeAndRead(path.string(), kStartup, error);
    EXPECT_EQ(written, kStartupText) << error;
    std::filesystem::remove(path);

    const ParameterFileResult back = readText(written);
    EXPECT_EQ(back.pid, 14);
    EXPECT_EQ(formatParameterFile(kKeys, valuesOf(back)), kStartupText);
    EXPECT_EQ(value(back, "ka"), 0.2);

    ParameterSet odd = startupParameterSet();
    odd.plen = 54;  // kiplus 1/3
    odd.params.vc10 = 1e-5;
    odd.params.mmMin = -7;
    const std::string text = formatParameterSet(odd);
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
    const ParameterFileResult r = readText(text);
    EXPECT_EQ(value(r, "Np"), 3);
    EXPECT_EQ(value(r, "ka"), 0.2);   // "abc" leaves it
    EXPECT_EQ(value(r, "zp"), 0.5);   // mixed separators, third field ignored
    EXPECT_EQ(value(r, "zn"), std::nullopt);     // beyond a double: not set
    EXPECT_EQ(value(r, "mpMax"), std::nullopt);  // beyond 32 bits: not set
    EXPECT_EQ(value(r, "Nm"), 42);    // last occurrence wins
    EXPECT_EQ(value(r, "vc10"), 1e-5);
    EXPECT_EQ(r.pid, 3);
}

TEST(ParameterFile, StartupValuesRoundTrip) { expectRoundTrip(); }

TEST(ParameterFile, ValueEdgeCasesWithEitherLineEnd) {
    expectValueEdgeCases("\n");
    expectValueEdgeCases("\r\n");
}

TEST(ParameterFile, LastLineDecidesThePid) {
    const ParameterFileResult rejected = readText(kStartupText + "foo 1\n");
    EXPECT_EQ(rejected.pid, kUnknownKeyPid);
    EXPECT_EQ(value(rejected, "Nm"), 200);  // stored even though the caller rejects the file
    EXPECT_EQ(readText("foo 1\n" + kStartupText).pid, 14);
    EXPECT_EQ(readText("").pid, kUnknownKeyPid);
    EXPECT_EQ(readText("ka 0.5\nname my run\n").pid, 1);

    const ParameterFileResult onlyMmMax = readText("mmMax 12\n");
    EXPECT_EQ(onlyMmMax.pid, 14);
    EXPECT_EQ(value(onlyMmMax, "mmMax"), 12);
    EXPECT_EQ(value(onlyMmMax, "ka"), std::nullopt);

    // Each key's number is 2 + its place in the writer's order.
    for (std::size_t k = 0; k < kKeys.size(); ++k)
        EXPECT_EQ(readText(std::string(kKeys[k].name) + " 1\n").pid, static_cast<std::int32_t>(k) + 2);
    EXPECT_EQ(readText("KA 1\n").pid, kUnknownKeyPid);

    // A key alone counts like an unreadable value; blank lines are skipped.
    const ParameterFileResult keyAlone = readText("ka 0.5\nzp\n");
    EXPECT_EQ(keyAlone.pid, 4);
    EXPECT_EQ(value(keyAlone, "zp"), std::nullopt);
    EXPECT_EQ(readText("ka 0.5\nfoo\n").pid, kUnknownKeyPid);
    EXPECT_EQ(readText("ka 0.5\n\n \t \r\n").pid, 8);
}

TEST(ParameterFile, UnopenableFilesAreReported) {
    const std::string dir = std::filesystem::temp_directory_path().string();
    for (const std::string& path : {dir + "/marlinq-no-such-file.in", dir})
        EXPECT_FALSE(readParameterFile(path, kKeys).opened);
    std::string error;
    EXPECT_FALSE(writeParameterFile(dir + "/marlinq-no-such-dir/p.txt", kKeys, kStartup, error));
}

TEST(ParameterFile, SameUnderCommaLocale) {
    MARLINQ_REQUIRE_COMMA_LOCALE(locale);
    expectRoundTrip();
    expectValueEdgeCases("\n");
    EXPECT_EQ(value(readText("ka 0,5\n"), "ka"), 0.0);  // classic notation: the comma ends the number
    const ParameterFileResult noted = parse("ka 0.5x\nzp 2,5\n");
    ASSERT_EQ(noted.notes.size(), 2u);
    EXPECT_EQ(noted.notes[0].reason, "value \"0.5x\" read only in part, as 0.5");
    EXPECT_EQ(noted.notes[1].reason, "value \"2,5\" read only in part, as 2 (the decimal separator is a point)");
}

TEST(ParameterFile, LoneCarriageReturnsEndLines) {
    // Saved by an old Mac editor: every line is read, not the first alone.
    std::string mac = kStartupText;
    for (char& ch : mac)
        if (ch == '\n') ch = '\r';
    const ParameterFileResult r = readText(mac);
    EXPECT_EQ(formatParameterFile(kKeys, valuesOf(r)), kStartupText);
    EXPECT_EQ(r.pid, 14);
    EXPECT_TRUE(r.notes.empty());
}

// The notes of a text, as "LINE: TEXT — REASON".
std::vector<std::string> notesOf(const std::string& text) {
    std::vector<std::string> out;
    for (const ParameterFileNote& n : parse(text).notes) {
        const std::string formatted = formatParameterNote("p.in", n);
        EXPECT_EQ(formatted.rfind("p.in:", 0), 0u);
        out.push_back(formatted.substr(5));
    }
    return out;
}

TEST(ParameterFile, NotesNameTheLineAndTheReason) {
    const ParameterFileResult r =
        parse("zp 3O\nkA 1.5\nka 1,5\nmpMax 1e2\nNp 3.7\nzn\nvc10 abc\nvc01 1e999\nmmMax 2147483648\n"
                           "\n name  my run\nkiplus 0.25 0.5 x\nmmMin +4\n");
    EXPECT_TRUE(r.opened);
    EXPECT_EQ(value(r, "zp"), 3.0);
    EXPECT_EQ(value(r, "ka"), 1.0);
    EXPECT_EQ(value(r, "mpMax"), 1);
    EXPECT_EQ(value(r, "Np"), 3);
    EXPECT_EQ(value(r, "kiplus"), 0.25);
    EXPECT_EQ(value(r, "mmMin"), 4);
    for (const char* unset : {"zn", "vc10", "vc01", "mmMax", "kiminus"}) EXPECT_EQ(value(r, unset), std::nullopt);
    EXPECT_EQ(r.pid, 13);
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
    const ParameterFileResult r = parse(text);
    ASSERT_EQ(r.notes.size(), kMaxParameterFileNotes + 1);
    EXPECT_EQ(r.notes.back().line, 101u);
    EXPECT_EQ(r.notes.back().reason, "900 more notes from this line on are not listed");
    EXPECT_EQ(value(r, "ka"), 0.5);  // reading goes on to the end
    EXPECT_EQ(r.pid, 8);
}

TEST(ParameterFile, LastOccurrenceWins) {
    const ParameterFileResult r = parse("ka 0.5\nka 0.7\nmmMax 12\nNm abc\n");
    EXPECT_EQ(value(r, "ka"), 0.7);
    EXPECT_EQ(value(r, "mmMax"), 12);
    EXPECT_EQ(value(r, "Nm"), std::nullopt);
    for (const std::optional<double>& v : parse("name x\nfoo 1\nka abc\n").found) EXPECT_EQ(v, std::nullopt);
    EXPECT_EQ(parse("").pid, kUnknownKeyPid);
    EXPECT_EQ(parse("ka 1\n").pid, 8);
}

TEST(ParameterFile, FoldersPipesAndHugeFilesAreRefusedAtOnce) {
    const auto dir = tempFile("dir");
    std::filesystem::create_directories(dir);
    ParameterFileResult r = readParameterFile(dir.string(), kKeys);
    EXPECT_FALSE(r.opened);
    EXPECT_EQ(r.error, dir.string() + ": is a folder, not a file");
    r = readParameterFile((dir / "none.in").string(), kKeys);
    EXPECT_EQ(r.error, (dir / "none.in").string() + ": no such file");

    // Nobody writes to this pipe: opening it for reading would wait for ever.
    const auto fifo = dir / "params.in";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    r = readParameterFile(fifo.string(), kKeys);
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
    r = readParameterFile(huge.string(), kKeys);
    EXPECT_FALSE(r.opened);
    EXPECT_EQ(r.error, huge.string() + ": larger than 16777216 bytes; not read");
    EXPECT_LT(std::chrono::steady_clock::now() - hugeStart, std::chrono::seconds(2));
    std::filesystem::remove_all(dir);
}

TEST(ParameterFile, FailedSaveKeepsTheOldFile) {
    const auto dir = tempFile("save");
    std::filesystem::create_directories(dir);
    const auto path = dir / "p.txt";
    std::ofstream(path, std::ios::binary) << "old\n";
    std::filesystem::permissions(path, std::filesystem::perms(0640));
    std::string error;
    ASSERT_TRUE(writeParameterFile(path.string(), kKeys, kStartup, error)) << error;
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), kStartupText);
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0640));
    // A folder in the way of the file: refused, nothing else touched.
    EXPECT_FALSE(writeParameterFile(dir.string(), kKeys, kStartup, error));
    EXPECT_EQ(error, dir.string() + ": is a folder, not a file; not overwritten");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);  // no temporary left
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace marlinq
