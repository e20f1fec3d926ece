#pragma once
// The key-value parameter file ("vc01 0.001" per line).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marlinq {

inline constexpr const char* kParameterFileOpenError = "can not open file";
inline constexpr std::int32_t kUnknownKeyPid = 15;
// A parameter file holds thirteen short lines; anything larger is not one.
inline constexpr std::size_t kMaxParameterFileBytes = 16u << 20;
// Notes kept per file; one more says how many were left out.
inline constexpr std::size_t kMaxParameterFileNotes = 100;

struct ParameterFileValues {
    double vc01, vc10, zp, zn, kip, kim, ka;
    std::int32_t Np, Nm, mpMin, mpMax, mmMin, mmMax;
};

// The values a file set: a key missing from the file (or whose values all failed to
// read) stays empty.
struct ParameterFileFound {
    std::optional<double> vc01, vc10, zp, zn, kip, kim, ka;
    std::optional<std::int32_t> Np, Nm, mpMin, mpMax, mmMin, mmMax;

    // Writes the values found over v, leaving the others as they are.
    void applyTo(ParameterFileValues& v) const;
    bool empty() const;
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
    ParameterFileFound found;
    // Key number of the last non-empty line (2..14 for the thirteen keys, 1 for "name",
    // 15 for anything else, 15 also when the file has no non-empty line).
    std::int32_t pid = kUnknownKeyPid;
    bool lastLineHasKnownKey() const { return pid != kUnknownKeyPid; }
    std::vector<ParameterFileNote> notes;  // at most kMaxParameterFileNotes + 1
    std::size_t lineCount = 0;             // lines in the file
    std::size_t recordCount = 0;           // non-empty ones among them
};

// Reads a parameter file. Lines end with LF, CRLF or a lone CR; a leading UTF-8
// byte-order mark is dropped. Each non-empty line is a key and a value (further fields
// are ignored, with a note); keys are those the writer writes plus "name". A value is
// read as by scanNumber/scanInteger: a value read only in part ("3O" as 3, "1,5" as 1,
// "3.7" as 3 for an integer key) is kept, with a note; a key without a value, a value
// that does not begin with a number or lies beyond its type's range leaves the key
// unset, with a note; an unknown key is skipped with a note. A line longer than
// kMaxLineLength is skipped with a note and counts as an unknown key.
// Not opened: a missing or unreadable file, a folder, a pipe or device (never waited
// on), a file of more than kMaxParameterFileBytes.
ParameterFileResult readParameterFile(const std::string& path);
// The same for the bytes of a file already read (opened is then true).
ParameterFileResult parseParameterText(std::string_view bytes);

// "PATH:LINE: TEXT — REASON"
std::string formatParameterNote(const std::string& path, const ParameterFileNote& note);

// The thirteen lines, in the writer's order, point as decimal separator.
std::string formatParameterFile(const ParameterFileValues& v);
// Writes them through writeFileAtomically: an existing file is replaced only once the
// new one is complete. false (with "PATH: reason" in error) if it cannot be written.
bool writeParameterFile(const std::string& path, const ParameterFileValues& v);
bool writeParameterFile(const std::string& path, const ParameterFileValues& v, std::string& error);

// The length of a charged block from its charge and charge density, as a loaded file
// gives them (the file keeps only those two). A quotient within a relative 1e-9 of an
// integer is that integer (72 / (72 / 72.0) written with 15 digits may read back as
// 71.99999999999999); any other is truncated (72.9 gives 72). nullopt when the quotient
// is not finite or does not fit 32 bits.
std::optional<std::int32_t> recoverChargedLength(double charge, double density);

}  // namespace marlinq
