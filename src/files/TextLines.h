#pragma once
// The text toolkit shared by the readers of parameter files and chain tables: lines,
// fields and (in io/NumberText.h) numbers, all independent of the locale.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace marlinq {

// Longest line the readers look into; a longer one is reported, not parsed.
inline constexpr std::size_t kMaxLineLength = 64 * 1024;

// Walks the lines of a file's bytes one at a time, without copying or collecting them
// (a file of millions of empty lines costs no memory). Line ends and the byte-order
// mark are those of splitLines.
class LineReader {
public:
    explicit LineReader(std::string_view text);
    // The next line, false at the end.
    bool next(std::string_view& line);
    // 1-based number of the line last returned by next (0 before the first).
    std::size_t lineNumber() const { return lineNumber_; }
    // The text after the line last returned, line end excluded.
    std::string_view rest() const { return text_.substr(pos_); }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t lineNumber_ = 0;
};

// The lines of a file's bytes. LF, CRLF and a lone CR (old Mac files) each end a line;
// a UTF-8 byte-order mark at the very start is dropped; a last line without a line end
// is a line like the others, and a final line end does not start another one (so ""
// has no line and "a\n" one). The views point into text; line i is on line i + 1 of
// the file.
std::vector<std::string_view> splitLines(std::string_view text);

// Blank and tab are the only field separators.
constexpr bool isFieldSeparator(char c) { return c == ' ' || c == '\t'; }

// Appends the fields of line to fields: the maximal runs of characters other than blank
// and tab, in order.
void splitFields(std::string_view line, std::vector<std::string_view>& fields);
std::vector<std::string_view> splitFields(std::string_view line);

// Text of a line for a message: control characters shown as '?', cut after maxLength
// bytes with "..." appended.
std::string printableExcerpt(std::string_view line, std::size_t maxLength = 80);

}  // namespace marlinq
