// Files users really hand the readers: empty, binary, saved with a byte-order mark, with
// huge lines or numbers out of range, and very large. Every one reads as documented.
#include "files/ChainTables.h"
#include "io/FileAccess.h"
#include "files/ParameterFile.h"
#include "files/TextLines.h"
#include "pipeline/ParameterSchema.h"

#include "CommaLocale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <sys/stat.h>
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

// What the reader set: each key's value (nullopt when not set) and the pid.
struct Read {
    std::vector<std::optional<double>> found;
    std::int32_t pid = kUnknownKeyPid;
    bool operator==(const Read&) const = default;
    std::optional<double> operator[](std::string_view key) const {
        for (std::size_t k = 0; k < parameterFileKeys().size(); ++k)
            if (parameterFileKeys()[k].name == key) return found[k];
        ADD_FAILURE() << "no key " << key;
        return std::nullopt;
    }
};

Read readText(const std::string& content) {
    const fs::path path = writeTemp(content);
    const ParameterFileResult r = readParameterFile(path.string(), parameterFileKeys());
    fs::remove(path);
    EXPECT_TRUE(r.opened) << r.error;
    return Read{r.found, r.pid};
}

Read startupRead() {
    Read v;
    for (const double x : parameterFileValues(startupParameterSet())) v.found.push_back(x);
    v.pid = 14;
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
    const Read untouched{std::vector<std::optional<double>>(parameterFileKeys().size())};
    EXPECT_EQ(readText(""), untouched);
    // Binary bytes: whatever the lines say, the last one's first field is no key.
    const Read binary = readText(allBytes());
    EXPECT_EQ(binary.pid, kUnknownKeyPid);

    // A file saved by a Windows editor: mark, CRLF. The first key is still a key.
    EXPECT_EQ(readText(kBom + withCrlf(kStartupText)), startupRead());
    EXPECT_EQ(readText(kBom + "zp 20\n").pid, 4);
    EXPECT_EQ(readText(kBom + "zp 20\n")["zp"], 20);
    // Only a mark at the very start is dropped.
    EXPECT_EQ(readText("ka 0.5\n" + kBom + "zp 20\n").pid, kUnknownKeyPid);
    EXPECT_EQ(readText(kBom).pid, kUnknownKeyPid);

    // Numbers a double cannot hold, and words for numbers, leave the key unset;
    // underflow reads zero; a negative zero keeps its sign; integers take the leading digits.
    const Read odd = readText("zp 1e999\nzn -1e999\nka nan\nvc01 inf\nvc10 2E-400\nkiplus -0\nkiminus 1e-999x\n"
                              "Np 99999999999\nNm 1e999\nmpMax +3.9\nmmMax -0\n");
    for (const char* unset : {"zp", "zn", "ka", "vc01", "Np"}) EXPECT_EQ(odd[unset], std::nullopt) << unset;
    EXPECT_EQ(odd["vc10"], 0.0);
    EXPECT_EQ(odd["kiplus"], 0.0);
    EXPECT_TRUE(std::signbit(*odd["kiplus"]));
    EXPECT_EQ(odd["kiminus"], 0.0);
    EXPECT_EQ(odd["Nm"], 1);
    EXPECT_EQ(odd["mpMax"], 3);
    EXPECT_EQ(odd["mmMax"], 0);
    EXPECT_EQ(odd.pid, 14);

    // Lines of a megabyte are not looked into: each is skipped and counts as an unknown
    // key; a value just under the limit with thousands of digits still reads.
    const std::string mega(1 << 20, '5');
    const Read longLines = readText("name " + mega + "\nka 0." + mega + "\nzp 1" + std::string(1 << 20, '0') + "\n");
    EXPECT_EQ(longLines["ka"], std::nullopt);
    EXPECT_EQ(longLines["zp"], std::nullopt);
    EXPECT_EQ(longLines.pid, kUnknownKeyPid);
    EXPECT_EQ(readText("zp 1" + std::string(1 << 20, '0') + "\nka 0.5\n").pid, 8);
    EXPECT_EQ(readText("ka 0." + std::string(60000, '5') + "\n")["ka"], 0.5555555555555556);
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
    const Read read = readText(text);
    EXPECT_EQ(read["zp"], 19.5);
    EXPECT_EQ(read["mmMax"], 12);
    EXPECT_EQ(read["Nm"], 200);
    EXPECT_EQ(read.pid, 14);
}

// Time limits below are for an optimised build; the sanitizers slow everything down.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSlowdown = 5;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr int kSlowdown = 5;
#else
constexpr int kSlowdown = 1;
#endif
#else
constexpr int kSlowdown = 1;
#endif

TEST(BadInput, LargestAcceptedFilesReadWithinSeconds) {
    // Just under the size limit: millions of noted lines, of empty lines, of lone CRs, and
    // lines of thousands of fields. Each is read to its end, in bounded time.
    const std::size_t size = kMaxParameterFileBytes - 64;
    std::string fields;
    while (fields.size() < kMaxLineLength - 8) fields += "a ";
    for (const std::string& unit : {std::string("foo 1\n"), std::string("\n"), std::string("\r"), fields + "\n"}) {
        std::string text;
        text.reserve(size + 16);
        while (text.size() + unit.size() < size) text += unit;
        text += "ka 0.5\n";
        const fs::path path = writeTemp(text);
        const auto start = std::chrono::steady_clock::now();
        const ParameterFileResult r = readParameterFile(path.string(), parameterFileKeys());
        const auto elapsed = std::chrono::steady_clock::now() - start;
        fs::remove(path);
        EXPECT_TRUE(r.opened) << r.error;
        EXPECT_EQ((Read{r.found, r.pid}["ka"]), 0.5);
        EXPECT_LE(r.notes.size(), kMaxParameterFileNotes + 1);
        EXPECT_LT(elapsed, std::chrono::seconds(3 * kSlowdown)) << unit.size() << "-byte lines";
    }
    // A table of sixteen million line ends is refused at its first line.
    const fs::path path = writeTemp(std::string(kMaxTableFileBytes - 1, '\n') + "1");
    const auto start = std::chrono::steady_clock::now();
    auto m = std::make_unique<FineTable>();
    std::string error;
    EXPECT_FALSE(loadFineTable(path.string(), *m, error));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2 * kSlowdown));
    EXPECT_EQ(error, path.string() + ":1: expected 99 numbers, found 0");
    fs::remove(path);
}

// A table file read as either table: refused, with the file and the first bad line.
std::string refusal(const std::string& content, bool fine = false) {
    const fs::path path = writeTemp(content);
    std::string failure;
    auto coarse = std::make_unique<CoarseTable>();
    auto fine99 = std::make_unique<FineTable>();
    ::testing::internal::CaptureStdout();
    const bool ok = fine ? loadFineTable(path.string(), *fine99, failure) : loadCoarseTable(path.string(), *coarse, failure);
    const std::string out = ::testing::internal::GetCapturedStdout();
    fs::remove(path);
    EXPECT_FALSE(ok);
    EXPECT_EQ(out, "") << "the reader reports to its caller only";
    EXPECT_EQ(failure.rfind(path.string() + ":", 0), 0u) << failure;
    return failure.substr(std::min(failure.size(), path.string().size()));
}

std::string coarseRow(const std::string& value = "0.5") {
    std::string row;
    for (int c = 0; c < 20; ++c) row += (c ? "\t" : "") + value;
    return row;
}

std::string coarseText(int rows) {
    std::string text;
    for (int r = 0; r < rows; ++r) text += coarseRow() + "\n";
    return text;
}

TEST(BadInput, TableFilesAsUsersProduceThemAreRefused) {
    EXPECT_EQ(refusal(""), ": the file is empty; expected 20 rows of 20 numbers");
    EXPECT_EQ(refusal("\n \t\n"), ": the file is empty; expected 20 rows of 20 numbers");
    EXPECT_EQ(refusal(allBytes()), ":1: holds a NUL byte: not a text table (binary, or UTF-16 text)");
    EXPECT_EQ(refusal("\xFF\xFE" + std::string("0\0.\0"), true),
              ":1: UTF-16 text; a table is plain text with one byte per character");
    EXPECT_EQ(refusal(coarseText(5)), ":6: expected 20 numbers, found 0 (the file ends after 5 of 20 rows)");
    EXPECT_EQ(refusal(coarseText(5), true), ":1: expected 99 numbers, found 20");
    EXPECT_EQ(refusal(coarseText(3) + "\n" + coarseText(16)), ":4: expected 20 numbers, found 0");
    EXPECT_EQ(refusal(coarseText(2) + coarseRow("0,5") + "\n" + coarseText(17)),
              ":3: field 1 \"0,5\" read only in part (as 0); the decimal separator is a point");
    EXPECT_EQ(refusal(coarseText(1) + "1e999\t" + coarseRow().substr(4) + "\n" + coarseText(18)),
              ":2: field 1 \"1e999\" is beyond the range of a double");
    for (const char* word : {"nan", "inf", "-inf", "NaN", "Infinity", "x"})
        EXPECT_EQ(refusal(coarseText(19) + word + coarseRow().substr(3) + "\n"),
                  ":20: field 1 \"" + std::string(word) + "\" is not a number");
    EXPECT_EQ(refusal(coarseText(7) + coarseRow("3abc") + "\n" + coarseText(12)),
              ":8: field 1 \"3abc\" read only in part (as 3)");
    EXPECT_EQ(refusal(coarseText(20) + "7\n"), ":21: text after the last of the 20 rows");
    // A 1 MB row is not split into a million fields.
    std::string row;
    for (int i = 0; row.size() < (1u << 20); ++i) row += std::to_string(i) + "\t";
    EXPECT_EQ(refusal(row + "\n" + coarseText(19)), ":1: line longer than 65536 bytes");
}

TEST(BadInput, TableFilesAsEditorsSaveThemAreRead) {
    // A byte-order mark, CRLF or lone CR line ends, blank lines after the table, no line
    // end after the last row, underflow to zero: all fine.
    for (const std::string eol : {"\n", "\r\n", "\r"}) {
        std::string text = kBom;
        for (int r = 0; r < 20; ++r) text += coarseRow(r == 19 ? "1e-999" : "-2.5E+1") + (r == 19 ? "" : eol);
        for (const std::string& tail : {std::string(), eol + " \t" + eol + eol}) {
            const fs::path path = writeTemp(text + tail);
            auto m = std::make_unique<CoarseTable>();
            std::string failure;
            EXPECT_TRUE(loadCoarseTable(path.string(), *m, failure)) << failure;
            fs::remove(path);
            EXPECT_EQ((*m)[0][0], -25.0);
            EXPECT_EQ((*m)[18][19], -25.0);
            EXPECT_EQ((*m)[19][19], 0.0);
        }
    }
}

TEST(BadInput, RefusedTableLeavesTheMatrixAsItWas) {
    const fs::path path = writeTemp(coarseText(19) + coarseRow("x") + "\n");
    auto m = std::make_unique<CoarseTable>();
    for (auto& r : *m) r.fill(42.0);
    std::string failure;
    EXPECT_FALSE(loadCoarseTable(path.string(), *m, failure));
    fs::remove(path);
    for (const auto& r : *m)
        for (double x : r) EXPECT_EQ(x, 42.0);
}

TEST(BadInput, FolderOrPipeInPlaceOfATableIsRefusedAtOnce) {
    const fs::path dir = fs::temp_directory_path() / ("marlinq_bad_dir_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    auto coarse = std::make_unique<CoarseTable>();
    auto fine = std::make_unique<FineTable>();
    std::string error;
    EXPECT_FALSE(loadCoarseTable(dir.string(), *coarse, error));
    EXPECT_EQ(error, dir.string() + ": is a folder, not a file");
    EXPECT_FALSE(loadFineTable(dir.string(), *fine, error));
    EXPECT_EQ(error, dir.string() + ": is a folder, not a file");

    // Nobody ever writes to this pipe: a reader that opened it would wait for ever.
    const fs::path fifo = dir / "Chains_values.dat";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(loadCoarseTable(fifo.string(), *coarse, error));
    EXPECT_EQ(error, fifo.string() + ": is a pipe (FIFO), not a regular file");
    // Both tables: the program's "can not open" message with the reason (the fine table is
    // looked for first, and it is missing from this folder; then the pipe as the coarse one).
    EXPECT_EQ(loadChainTables(fifo.string(), (dir / kFineTableFile).string(), error), nullptr);
    EXPECT_EQ(error, std::string(kFineTableOpenError) + " (" + (dir / kFineTableFile).string() + ": no such file)");
    EXPECT_EQ(loadChainTables(fifo.string(), (fs::path(MARLINQ_SOURCE_DATA_DIR) / kFineTableFile).string(), error),
              nullptr);
    EXPECT_EQ(error, std::string(kCoarseTableOpenError) + " (" + fifo.string() + ": is a pipe (FIFO), not a regular file)");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    fs::remove_all(dir);
}

}  // namespace
}  // namespace marlinq
