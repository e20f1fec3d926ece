#include "files/ChainTables.h"

#include "files/DataPaths.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <string_view>

namespace marlinq {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The classic number at the start of a field (optional sign, digits, optional point and
// fraction, optional exponent), read the same whatever the locale. Reading stops at the
// first character that does not fit; a field that does not begin with a number reads 0.
double parseField(std::string_view s) {
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    const std::size_t mantissaStart = i;
    std::size_t digits = 0;
    // Decimal magnitude of the first non-zero digit, to tell overflow from underflow.
    std::int64_t leadMagnitude = 0;
    bool seenNonZero = false;
    while (i < s.size() && isDigit(s[i])) {
        if (seenNonZero) ++leadMagnitude;
        else if (s[i] != '0') seenNonZero = true;
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) {
            if (!seenNonZero) {
                --leadMagnitude;
                if (s[i] != '0') seenNonZero = true;
            }
            ++i;
            ++digits;
        }
    }
    if (digits == 0) return 0.0;
    std::int64_t exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        bool expNegative = false;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) expNegative = s[j++] == '-';
        if (j < s.size() && isDigit(s[j])) {
            while (j < s.size() && isDigit(s[j])) {
                if (exponent < 1000000000) exponent = exponent * 10 + (s[j] - '0');
                ++j;
            }
            i = j;
            if (expNegative) exponent = -exponent;
        }
    }
    double value = 0.0;
    const char* first = s.data() + mantissaStart;
    const char* last = s.data() + i;
    const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: infinity or zero, as the C library gives.
        value = (seenNonZero && leadMagnitude + exponent >= 0) ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (ec != std::errc() || ptr != last) {
        return 0.0;
    }
    return negative ? -value : value;
}

template <std::size_t N>
bool readTable(const std::string& path, std::array<std::array<double, N>, N>& m, const char* openError,
               std::string* failure) {
    // A folder opens as a stream on Linux but yields no line: it is as unreadable as a
    // missing file, and must not pass for a table of zeros.
    std::error_code ec;
    std::ifstream in;
    if (!std::filesystem::is_directory(path, ec)) in.open(path);
    if (!in.is_open()) {
        if (failure) *failure = openError;
        return false;
    }
    std::string line;
    std::vector<std::string> fields;
    for (std::size_t r = 0; r < N; ++r) {
        // A file with fewer lines leaves the remaining rows as they are (zero).
        if (!std::getline(in, line)) break;
        // A byte-order mark (a table saved by a Windows editor) is not part of the first number.
        if (r == 0 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        fields.clear();
        MatrixExplode(line, fields);
        // Fields beyond the table's columns are ignored; missing ones leave their entries.
        const std::size_t count = fields.size() < N ? fields.size() : N;
        for (std::size_t c = 0; c < count; ++c) m[r][c] = parseField(fields[c]);
    }
    return true;
}

}  // namespace

void MatrixExplode(const std::string& str, std::vector<std::string>& results) {
    std::size_t i = 0;
    const std::size_t n = str.size();
    while (i < n) {
        while (i < n && (str[i] == ' ' || str[i] == '\t')) ++i;
        if (i == n) break;
        const std::size_t start = i;
        while (i < n && str[i] != ' ' && str[i] != '\t') ++i;
        results.push_back(str.substr(start, i - start));
    }
}

bool read_chain_matrix_from(const std::string& path, CoarseTable& m, std::string* failure) {
    return readTable(path, m, kCoarseTableOpenError, failure);
}

bool read_chain_matrix01_from(const std::string& path, FineTable& m, std::string* failure) {
    return readTable(path, m, kFineTableOpenError, failure);
}

bool read_chain_matrix(CoarseTable& m, std::string* failure) {
    return read_chain_matrix_from(locateDataFile(kCoarseTableFile), m, failure);
}

bool read_chain_matrix01(FineTable& m, std::string* failure) {
    return read_chain_matrix01_from(locateDataFile(kFineTableFile), m, failure);
}

std::shared_ptr<const ChainTables> loadChainTables(const std::string& coarsePath, const std::string& finePath,
                                                   std::string& error) {
    auto tables = std::make_shared<ChainTables>();
    // The fine table first: it serves the usual low salt and charge densities.
    if (!read_chain_matrix01_from(finePath, tables->fine, &error)) return nullptr;
    if (!read_chain_matrix_from(coarsePath, tables->coarse, &error)) return nullptr;
    return tables;
}

}  // namespace marlinq
