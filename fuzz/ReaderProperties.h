#pragma once
// What must hold for any bytes handed to the file readers; shared by the fuzz targets and
// the test that replays their corpora and every input that ever failed.

#include "files/ChainTables.h"
#include "io/NumberText.h"
#include "files/ParameterFile.h"
#include "pipeline/ParameterSchema.h"
#include "files/TextLines.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fuzzing {

// The lines hold no line end, the fields no separator, and the lines and their ends
// together are the bytes (less a leading byte-order mark).
inline bool textToolkitHolds(const std::string& bytes) {
    const std::vector<std::string_view> lines = marlinq::splitLines(bytes);
    std::size_t covered = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (std::string_view line : lines) {
        if (line.find_first_of("\r\n") != std::string_view::npos) return false;
        if (line.data() != bytes.data() + covered) return false;
        covered += line.size();
        if (covered < bytes.size()) {
            if (bytes[covered] == '\r' && covered + 1 < bytes.size() && bytes[covered + 1] == '\n') covered += 2;
            else if (bytes[covered] == '\r' || bytes[covered] == '\n') covered += 1;
            else return false;
        }
        for (std::string_view f : marlinq::splitFields(line))
            if (f.empty() || f.find_first_of(" \t") != std::string_view::npos) return false;
    }
    if (covered != bytes.size()) return false;
    // The number reader never reads past a field and gives a finite value unless out of range.
    for (std::string_view line : lines)
        for (std::string_view f : marlinq::splitFields(line)) {
            const marlinq::NumberScan n = marlinq::scanNumber(f);
            if (n.consumed > f.size() || std::isnan(n.value)) return false;
            if (std::isinf(n.value) != n.outOfRange) return false;
            const marlinq::IntegerScan i = marlinq::scanInteger(f);
            if (i.consumed > f.size() || (i.outOfRange && i.value != 0)) return false;
        }
    return true;
}

// The file at path holds bytes. The reader opens it, reports pid as a key number, sets
// a real only to a finite number or a signed zero, an integer to a whole 32-bit number,
// every note names a line of the file, and parsing the same bytes directly gives the same
// reading.
inline bool parameterFileHolds(const std::string& path, const std::string& bytes) {
    if (!textToolkitHolds(bytes)) return false;
    const marlinq::ParameterFileResult r = marlinq::readParameterFile(path, marlinq::parameterFileKeys());
    if (!r.opened) return bytes.size() > marlinq::kMaxParameterFileBytes;
    const auto keyCount = static_cast<std::int32_t>(marlinq::parameterFileKeys().size());
    if (r.pid != marlinq::kUnknownKeyPid && (r.pid < 1 || r.pid > keyCount + 1)) return false;
    if (r.notes.size() > marlinq::kMaxParameterFileNotes + 1) return false;
    for (const marlinq::ParameterFileNote& n : r.notes) {
        if (n.line < 1 || n.line > r.lineCount || n.reason.empty()) return false;
        if (marlinq::formatParameterNote(path, n).rfind(path + ":" + std::to_string(n.line) + ": ", 0) != 0)
            return false;
    }
    // The bytes read from the file and the same bytes parsed directly agree.
    const marlinq::ParameterFileResult direct = marlinq::parseParameterText(bytes, marlinq::parameterFileKeys());
    if (direct.pid != r.pid || direct.recordCount != r.recordCount || direct.notes.size() != r.notes.size() ||
        direct.found != r.found)
        return false;
    // A real is finite (or a signed zero); an integer is whole and fits 32 bits.
    for (std::size_t k = 0; k < r.found.size(); ++k) {
        if (!r.found[k]) continue;
        const double v = *r.found[k];
        if (!std::isfinite(v)) return false;
        if (marlinq::parameterFileKeys()[k].integer && (v != std::trunc(v) || std::fabs(v) > 2147483648.0)) return false;
    }
    return true;
}

// The file at path, read as either table, is either accepted with every entry finite
// or refused with a message that starts with the path (and a line number when the
// file was read).
inline bool chainTablesHold(const std::string& path) {
    auto coarse = std::make_unique<marlinq::CoarseTable>();
    auto fine = std::make_unique<marlinq::FineTable>();
    std::string error;
    if (marlinq::loadCoarseTable(path, *coarse, error)) {
        for (const auto& row : *coarse)
            for (double x : row)
                if (!std::isfinite(x)) return false;
    } else if (error.rfind(path + ":", 0) != 0) {
        return false;
    }
    error.clear();
    if (marlinq::loadFineTable(path, *fine, error)) {
        for (const auto& row : *fine)
            for (double x : row)
                if (!std::isfinite(x)) return false;
    } else if (error.rfind(path + ":", 0) != 0) {
        return false;
    }
    return true;
}

}  // namespace fuzzing
