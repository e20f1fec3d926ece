#include "files/ParameterFile.h"

#include "files/FileAccess.h"
#include "files/NumberFormat.h"
#include "files/TextLines.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

namespace marlinq {

namespace {

struct KeyEntry {
    const char* key;
    std::int32_t pid;
    std::optional<double> ParameterFileFound::*real;
    std::optional<std::int32_t> ParameterFileFound::*integer;
};

constexpr KeyEntry kKeys[] = {
    {"vc01", 2, &ParameterFileFound::vc01, nullptr},    {"vc10", 3, &ParameterFileFound::vc10, nullptr},
    {"zp", 4, &ParameterFileFound::zp, nullptr},        {"zn", 5, &ParameterFileFound::zn, nullptr},
    {"kiplus", 6, &ParameterFileFound::kip, nullptr},   {"kiminus", 7, &ParameterFileFound::kim, nullptr},
    {"ka", 8, &ParameterFileFound::ka, nullptr},        {"Np", 9, nullptr, &ParameterFileFound::Np},
    {"Nm", 10, nullptr, &ParameterFileFound::Nm},       {"mpMax", 11, nullptr, &ParameterFileFound::mpMax},
    {"mmMax", 12, nullptr, &ParameterFileFound::mmMax}, {"mpMin", 13, nullptr, &ParameterFileFound::mpMin},
    {"mmMin", 14, nullptr, &ParameterFileFound::mmMin},
};
constexpr std::int32_t kNamePid = 1;

const KeyEntry* findKey(std::string_view key) {
    for (const KeyEntry& e : kKeys)
        if (key == e.key) return &e;
    return nullptr;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string quoted(std::string_view text) {
    std::string out(1, '"');
    out += printableExcerpt(text, 40);
    out += '"';
    return out;
}

std::string formatInt(std::int64_t v) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

class NoteList {
public:
    explicit NoteList(std::vector<ParameterFileNote>& notes) : notes_(notes) {}
    // reason() builds the text only for a note that is kept: a file of millions of bad
    // lines costs no more than counting them.
    template <typename Reason>
    void add(std::size_t line, std::string_view text, const Reason& reason) {
        if (notes_.size() < kMaxParameterFileNotes) {
            notes_.push_back({line, printableExcerpt(text), reason()});
        } else {
            if (left_ == 0) firstLeft_ = line;
            ++left_;
        }
    }
    void finish() {
        if (left_ > 0)
            notes_.push_back(
                {firstLeft_, std::string(),
                 formatInt(static_cast<std::int64_t>(left_)) + " more notes from this line on are not listed"});
    }

private:
    std::vector<ParameterFileNote>& notes_;
    std::size_t left_ = 0;
    std::size_t firstLeft_ = 0;
};

// A value read only in part: what was read and what was left.
std::string partialReason(std::string_view value, std::size_t consumed, const std::string& readAs) {
    std::string reason = "value " + quoted(value) + " read only in part, as " + readAs;
    if (value[consumed] == ',') reason += " (the decimal separator is a point)";
    return reason;
}

void readLine(std::size_t lineNumber, std::string_view line, ParameterFileResult& result, NoteList& notes,
              std::vector<std::string_view>& fields) {
    if (line.size() > kMaxLineLength) {
        ++result.recordCount;
        result.pid = kUnknownKeyPid;
        notes.add(lineNumber, line,
                  [&] { return std::string("line longer than " + formatInt(kMaxLineLength) + " bytes; skipped"); });
        return;
    }
    if (line.empty()) return;
    fields.clear();
    splitFields(line, fields);
    // A line without any field (empty or only blanks) is not a record: it leaves pid as
    // the previous line set it, so a trailing blank line does not spoil a good file.
    if (fields.empty()) return;
    ++result.recordCount;
    const std::string_view key = fields[0];

    if (key == "name") {
        result.pid = kNamePid;
        return;
    }
    const KeyEntry* entry = findKey(key);
    if (entry == nullptr) {
        result.pid = kUnknownKeyPid;
        notes.add(lineNumber, line, [&] {
            std::string reason = "unknown key " + quoted(key);
            for (const KeyEntry& e : kKeys)
                if (equalIgnoringCase(key, e.key))
                    reason += " (keys are case-sensitive: \"" + std::string(e.key) + "\"?)";
            return reason + "; line skipped";
        });
        return;
    }
    result.pid = entry->pid;
    if (fields.size() < 2) {
        notes.add(lineNumber, line, [&] {
            return std::string("key " + quoted(key) + " without a value; " + entry->key + " left unchanged");
        });
        return;
    }
    const std::string_view value = fields[1];
    if (entry->real != nullptr) {
        const NumberScan scan = scanNumber(value);
        if (scan.consumed == 0) {
            notes.add(lineNumber, line, [&] {
                return std::string("value " + quoted(value) + " is not a number; " + entry->key + " left unchanged");
            });
            return;
        }
        if (scan.outOfRange) {
            notes.add(lineNumber, line, [&] {
                return std::string("value " + quoted(value) + " is beyond the range of a double; " + entry->key +
                                   " left unchanged");
            });
            return;
        }
        result.found.*(entry->real) = scan.value;
        if (scan.consumed < value.size())
            notes.add(lineNumber, line,
                      [&] { return std::string(partialReason(value, scan.consumed, formatGeneral(scan.value, '.'))); });
    } else {
        const IntegerScan scan = scanInteger(value);
        if (scan.consumed == 0) {
            notes.add(lineNumber, line, [&] {
                return std::string("value " + quoted(value) + " is not an integer; " + entry->key + " left unchanged");
            });
            return;
        }
        if (scan.outOfRange) {
            notes.add(lineNumber, line, [&] {
                return std::string("value " + quoted(value) + " does not fit a 32-bit integer; " + entry->key +
                                   " left unchanged");
            });
            return;
        }
        result.found.*(entry->integer) = scan.value;
        if (scan.consumed < value.size())
            notes.add(lineNumber, line,
                      [&] { return std::string(partialReason(value, scan.consumed, formatInt(scan.value))); });
    }
    if (fields.size() > 2) {
        const std::size_t restStart = static_cast<std::size_t>(fields[2].data() - line.data());
        const std::size_t restEnd = static_cast<std::size_t>(fields.back().data() + fields.back().size() - line.data());
        notes.add(lineNumber, line, [&] {
            return std::string("text after the value ignored: " + quoted(line.substr(restStart, restEnd - restStart)));
        });
    }
}

}  // namespace

void ParameterFileFound::applyTo(ParameterFileValues& v) const {
    if (vc01) v.vc01 = *vc01;
    if (vc10) v.vc10 = *vc10;
    if (zp) v.zp = *zp;
    if (zn) v.zn = *zn;
    if (kip) v.kip = *kip;
    if (kim) v.kim = *kim;
    if (ka) v.ka = *ka;
    if (Np) v.Np = *Np;
    if (Nm) v.Nm = *Nm;
    if (mpMin) v.mpMin = *mpMin;
    if (mpMax) v.mpMax = *mpMax;
    if (mmMin) v.mmMin = *mmMin;
    if (mmMax) v.mmMax = *mmMax;
}

bool ParameterFileFound::empty() const {
    return !vc01 && !vc10 && !zp && !zn && !kip && !kim && !ka && !Np && !Nm && !mpMin && !mpMax && !mmMin && !mmMax;
}

ParameterFileResult readParameterFile(const std::string& path) {
    ParameterFileResult result;
    std::string bytes;
    if (!readRegularFile(path, kMaxParameterFileBytes, bytes, result.error)) return result;
    return parseParameterText(bytes);
}

ParameterFileResult parseParameterText(std::string_view bytes) {
    ParameterFileResult result;
    result.opened = true;
    LineReader reader(bytes);
    NoteList notes(result.notes);
    std::vector<std::string_view> fields;
    std::string_view line;
    while (reader.next(line)) readLine(reader.lineNumber(), line, result, notes, fields);
    result.lineCount = reader.lineNumber();
    notes.finish();
    return result;
}

std::string formatParameterNote(const std::string& path, const ParameterFileNote& note) {
    std::string out = path + ":" + formatInt(static_cast<std::int64_t>(note.line)) + ": ";
    if (!note.text.empty()) out += note.text + " \xE2\x80\x94 ";  // an em dash
    out += note.reason;
    return out;
}

std::string formatParameterFile(const ParameterFileValues& v) {
    std::string out;
    const auto addDouble = [&out](const char* key, double value) {
        out += key;
        out += ' ';
        out += formatGeneral(value, '.');
        out += '\n';
    };
    const auto addInt = [&out](const char* key, std::int32_t value) {
        out += key;
        out += ' ';
        out += formatInt(value);
        out += '\n';
    };
    addDouble("vc01", v.vc01);
    addDouble("vc10", v.vc10);
    addDouble("zp", v.zp);
    addDouble("zn", v.zn);
    addDouble("kiplus", v.kip);
    addDouble("kiminus", v.kim);
    addDouble("ka", v.ka);
    addInt("Np", v.Np);
    addInt("Nm", v.Nm);
    addInt("mpMin", v.mpMin);
    addInt("mpMax", v.mpMax);
    addInt("mmMin", v.mmMin);
    addInt("mmMax", v.mmMax);
    return out;
}

bool writeParameterFile(const std::string& path, const ParameterFileValues& v, std::string& error) {
    const std::string text = formatParameterFile(v);
    return writeFileAtomically(
        path,
        [&text](std::ostream& out) {
            out.write(text.data(), static_cast<std::streamsize>(text.size()));
            return static_cast<bool>(out);
        },
        error);
}

bool writeParameterFile(const std::string& path, const ParameterFileValues& v) {
    std::string error;
    return writeParameterFile(path, v, error);
}

std::optional<std::int32_t> recoverChargedLength(double charge, double density) {
    const double quotient = charge / density;
    if (!std::isfinite(quotient)) return std::nullopt;
    const double nearest = std::round(quotient);
    const double length = std::fabs(quotient - nearest) <= 1e-9 * std::fabs(nearest) ? nearest : std::trunc(quotient);
    if (length < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
        length > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    return static_cast<std::int32_t>(length);
}

}  // namespace marlinq
