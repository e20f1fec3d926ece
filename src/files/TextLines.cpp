#include "files/TextLines.h"

namespace marlinq {

std::vector<std::string_view> splitLines(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    const std::size_t n = text.size();
    while (start < n) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        // CRLF is one line end; a CR alone or an LF alone is one too.
        start = (text[end] == '\r' && end + 1 < n && text[end + 1] == '\n') ? end + 2 : end + 1;
    }
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
