#include "files/TextLines.h"

namespace marlinq {

LineReader::LineReader(std::string_view text) : text_(text) {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") text_.remove_prefix(3);
}

bool LineReader::next(std::string_view& line) {
    const std::size_t n = text_.size();
    if (pos_ >= n) return false;
    ++lineNumber_;
    const char* const begin = text_.data();
    std::size_t end = pos_;
    while (end < n && begin[end] != '\n' && begin[end] != '\r') ++end;
    line = text_.substr(pos_, end - pos_);
    if (end == n) {
        pos_ = n;
    } else {
        // CRLF is one line end; a CR alone or an LF alone is one too.
        pos_ = (begin[end] == '\r' && end + 1 < n && begin[end + 1] == '\n') ? end + 2 : end + 1;
    }
    return true;
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    LineReader reader(text);
    std::string_view line;
    while (reader.next(line)) lines.push_back(line);
    return lines;
}

void splitFields(std::string_view line, std::vector<std::string_view>& fields) {
    std::size_t pos = 0;
    const std::size_t n = line.size();
    while (pos < n) {
        while (pos < n && isFieldSeparator(line[pos])) ++pos;
        const std::size_t start = pos;
        while (pos < n && !isFieldSeparator(line[pos])) ++pos;
        if (pos > start) fields.push_back(line.substr(start, pos - start));
    }
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    splitFields(line, fields);
    return fields;
}

std::string printableExcerpt(std::string_view line, std::size_t maxLength) {
    const bool cut = line.size() > maxLength;
    if (cut) line = line.substr(0, maxLength);
    std::string out;
    out.reserve(line.size() + 3);
    for (char c : line) {
        const auto u = static_cast<unsigned char>(c);
        out.push_back((u < 0x20 && c != '\t') || u == 0x7F ? '?' : c);
    }
    if (cut) out += "...";
    return out;
}

}  // namespace marlinq
