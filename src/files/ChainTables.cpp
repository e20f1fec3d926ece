#include "files/ChainTables.h"

#include "io/FileAccess.h"
#include "io/NumberText.h"
#include "files/TextLines.h"

#include <cmath>

namespace marlinq {

namespace {

std::string lineRef(const std::string& name, std::size_t line) { return name + ":" + std::to_string(line) + ": "; }

std::string quotedField(std::string_view f) {
    std::string out(1, '"');
    out += printableExcerpt(f, 40);
    out += '"';
    return out;
}

template <std::size_t N>
bool parseTable(std::string_view bytes, const std::string& name, std::array<std::array<double, N>, N>& m,
                std::string& error) {
    const std::string grid = std::to_string(N) + " rows of " + std::to_string(N) + " numbers";
    if (bytes.size() >= 2 &&
        ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF'))) {
        error = lineRef(name, 1) + "UTF-16 text; a table is plain text with one byte per character";
        return false;
    }
    const auto blank = [](std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; };
    LineReader reader(bytes);
    if (reader.rest().find_first_not_of(" \t\r\n") == std::string_view::npos) {
        error = name + ": the file is empty; expected " + grid;
        return false;
    }

    auto table = std::make_unique<std::array<std::array<double, N>, N>>();
    std::vector<std::string_view> fields;
    fields.reserve(N + 1);
    std::string_view line;
    for (std::size_t r = 0; r < N; ++r) {
        const std::size_t lineNo = r + 1;
        if (!reader.next(line)) {
            error = lineRef(name, lineNo) + "expected " + std::to_string(N) +
                    " numbers, found 0 (the file ends after " + std::to_string(r) + " of " + std::to_string(N) +
                    " rows)";
            return false;
        }
        if (line.size() > kMaxLineLength) {
            error = lineRef(name, lineNo) + "line longer than " + std::to_string(kMaxLineLength) + " bytes";
            return false;
        }
        if (line.find('\0') != std::string_view::npos) {
            error = lineRef(name, lineNo) + "holds a NUL byte: not a text table (binary, or UTF-16 text)";
            return false;
        }
        fields.clear();
        splitFields(line, fields);
        if (fields.size() != N) {
            error = lineRef(name, lineNo) + "expected " + std::to_string(N) + " numbers, found " +
                    std::to_string(fields.size());
            return false;
        }
        for (std::size_t c = 0; c < N; ++c) {
            const std::string_view f = fields[c];
            const NumberScan scan = scanNumber(f);
            const auto where = [&] {
                return lineRef(name, lineNo) + "field " + std::to_string(c + 1) + " " + quotedField(f);
            };
            if (scan.consumed == 0) {
                error = where() + " is not a number";
                return false;
            }
            if (scan.outOfRange || !std::isfinite(scan.value)) {
                error = where() + " is beyond the range of a double";
                return false;
            }
            if (scan.consumed < f.size()) {
                error = where() + " read only in part (as " + std::string(f.substr(0, scan.consumed)) + ")";
                if (f[scan.consumed] == ',') error += "; the decimal separator is a point";
                return false;
            }
            (*table)[r][c] = scan.value;
        }
    }
    while (reader.next(line)) {
        if (!blank(line)) {
            error = lineRef(name, reader.lineNumber()) + "text after the last of the " + std::to_string(N) + " rows";
            return false;
        }
    }
    m = *table;
    return true;
}

template <std::size_t N>
bool loadTable(const std::string& path, std::array<std::array<double, N>, N>& m, std::string& error,
               bool* missingFile = nullptr) {
    std::string bytes;
    if (!readRegularFile(path, kMaxTableFileBytes, bytes, error, missingFile)) return false;
    return parseTable(bytes, path, m, error);
}

}  // namespace

bool parseCoarseTable(std::string_view bytes, const std::string& name, CoarseTable& m, std::string& error) {
    return parseTable(bytes, name, m, error);
}

bool parseFineTable(std::string_view bytes, const std::string& name, FineTable& m, std::string& error) {
    return parseTable(bytes, name, m, error);
}

bool loadCoarseTable(const std::string& path, CoarseTable& m, std::string& error) { return loadTable(path, m, error); }

bool loadFineTable(const std::string& path, FineTable& m, std::string& error) { return loadTable(path, m, error); }

std::shared_ptr<const ChainTables> loadChainTables(const std::string& coarsePath, const std::string& finePath,
                                                   std::string& error) {
    auto tables = std::make_shared<ChainTables>();
    // The fine table first: it serves the usual low salt and charge densities. A file that
    // cannot be read keeps the program's "can not open" message, with the reason after it.
    const auto load = [&](const std::string& path, auto& table, const char* openError) {
        std::string bytes, reason;
        if (!readRegularFile(path, kMaxTableFileBytes, bytes, reason)) {
            error = std::string(openError) + " (" + reason + ")";
            return false;
        }
        return parseTable(bytes, path, table, error);
    };
    if (!load(finePath, tables->fine, kFineTableOpenError)) return nullptr;
    if (!load(coarsePath, tables->coarse, kCoarseTableOpenError)) return nullptr;
    return tables;
}

}  // namespace marlinq
