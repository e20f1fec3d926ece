#pragma once
// The key-value parameter file ("vc01 0.001" per line).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace marlinq {

inline constexpr const char* kParameterFileOpenError = "can not open file";
// pid of a line whose key is none of the keys (and of a file without a non-empty line).
inline constexpr std::int32_t kUnknownKeyPid = 0;
// A parameter file holds a few short lines; anything larger is not one.
inline constexpr std::size_t kMaxParameterFileBytes = 16u << 20;
// Notes kept per file; one more says how many were left out.
inline constexpr std::size_t kMaxParameterFileNotes = 100;

// A key the file may hold, and whether its value is an integer (a 32-bit one).
struct ParameterKey {
    std::string_view name;
    bool integer = false;
};

// Something in a line the reader skipped or read differently from what it says.
struct ParameterFileNote {
    std::size_t line = 0;  // 1-based
    std::string text;      // the line, control characters as '?', cut after 80 bytes
    std::string reason;
};

struct ParameterFileResult {
    bool opened = false;
    std::string error;  // when !opened: "PATH: reason"
    // The value each key was set to, in the order of the keys (integers as doubles): empty
    // when the key is missing or all its values failed to read. The last occurrence wins.
    std::vector<std::optional<double>> found;
    // Key number of the last non-empty line (2 + the key's position, 1 for "name",
    // kUnknownKeyPid for anything else and for a file without a non-empty line).
    std::int32_t pid = kUnknownKeyPid;
    bool lastLineHasKnownKey() const { return pid != kUnknownKeyPid; }
    std::vector<ParameterFileNote> notes;  // at most kMaxParameterFileNotes + 1
    std::size_t lineCount = 0;             // lines in the file
    std::size_t recordCount = 0;           // non-empty ones among them
};

// Reads a parameter file. Lines end with LF, CRLF or a lone CR; a leading UTF-8
// byte-order mark is dropped. Each non-empty line is a key and a value (further fields
// are ignored, with a note); keys are those given plus "name". A value is
// read as by scanNumber/scanInteger: a value read only in part ("3O" as 3, "1,5" as 1,
// "3.7" as 3 for an integer key) is kept, with a note; a key without a value, a value
// that does not begin with a number or lies beyond its type's range leaves the key
// unset, with a note; an unknown key is skipped with a note. A line longer than
// kMaxLineLength is skipped with a note and counts as an unknown key.
// Not opened: a missing or unreadable file, a folder, a pipe or device (never waited
// on), a file of more than kMaxParameterFileBytes.
ParameterFileResult readParameterFile(const std::string& path, std::span<const ParameterKey> keys);
// The same for the bytes of a file already read (opened is then true).
ParameterFileResult parseParameterText(std::string_view bytes, std::span<const ParameterKey> keys);

// "PATH:LINE: TEXT — REASON"
std::string formatParameterNote(const std::string& path, const ParameterFileNote& note);

// One line per key, "key value", in the keys' order, point as decimal separator (reals in
// the general format with 15 significant digits).
std::string formatParameterFile(std::span<const ParameterKey> keys, std::span<const double> values);
// Writes them through writeFileAtomically: an existing file is replaced only once the
// new one is complete. false (with "PATH: reason" in error) if it cannot be written.
bool writeParameterFile(const std::string& path, std::span<const ParameterKey> keys, std::span<const double> values,
                        std::string& error);

}  // namespace marlinq
