#include "files/ParameterFile.h"

#include "io/FileAccess.h"
#include "io/NumberText.h"
#include "files/TextLines.h"

#include <cmath>
#include <limits>
#include <string_view>

namespace marlinq {

namespace {

constexpr std::int32_t kNamePid = 1;

// The position of key among keys, or keys.size().
std::size_t findKey(std::span<const ParameterKey> keys, std::string_view key) {
    for (std::size_t k = 0; k < keys.size(); ++k)
        if (key == keys[k].name) return k;
    return keys.size();
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
                 std::to_string(static_cast<std::int64_t>(left_)) + " more notes from this line on are not listed"});
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

void readLine(std::span<const ParameterKey> keys, std::size_t lineNumber, std::string_view line,
              ParameterFileResult& result, NoteList& notes, std::vector<std::string_view>& fields) {
    if (line.size() > kMaxLineLength) {
        ++result.recordCount;
        result.pid = kUnknownKeyPid;
        notes.add(lineNumber, line,
                  [&] { return std::string("line longer than " + std::to_string(kMaxLineLength) + " bytes; skipped"); });
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
    const std::size_t index = findKey(keys, key);
    if (index == keys.size()) {
        result.pid = kUnknownKeyPid;
        notes.add(lineNumber, line, [&] {
            std::string reason = "unknown key " + quoted(key);
            for (const ParameterKey& k : keys)
                if (equalIgnoringCase(key, k.name))
                    reason += " (keys are case-sensitive: \"" + std::string(k.name) + "\"?)";
            return reason + "; line skipped";
        });
        return;
    }
    const std::string name(keys[index].name);
    result.pid = static_cast<std::int32_t>(index) + 2;
    if (fields.size() < 2) {
        notes.add(lineNumber, line, [&] {
            return std::string("key " + quoted(key) + " without a value; " + name + " left unchanged");
        });
        return;
    }
    const std::string_view value = fields[1];
    if (!keys[index].integer) {
        const NumberScan scan = scanNumber(value);
        if (scan.consumed == 0) {
            notes.add(lineNumber, line, [&] {
                return std::string("value " + quoted(value) + " is not a number; " + name + " left unchanged");
            });
            return;
        }
        if (scan.outOfRange) {
            notes.add(lineNumber, line, [&] {
                return std::string("value " + quoted(value) + " is beyond the range of a double; " + name +
                                   " left unchanged");
            });
            return;
        }
        result.found[index] = scan.value;
        if (scan.consumed < value.size())
            notes.add(lineNumber, line,
                      [&] { return std::string(partialReason(value, scan.consumed, formatGeneral(scan.value, '.'))); });
    } else {
        const IntegerScan scan = scanInteger(value);
        if (scan.consumed == 0) {
            notes.add(lineNumber, line, [&] {
                return std::string("value " + quoted(value) + " is not an integer; " + name + " left unchanged");
            });
            return;
        }
        if (scan.outOfRange) {
            notes.add(lineNumber, line, [&] {
                return std::string("value " + quoted(value) + " does not fit a 32-bit integer; " + name +
                                   " left unchanged");
            });
            return;
        }
        result.found[index] = static_cast<double>(scan.value);
        if (scan.consumed < value.size())
            notes.add(lineNumber, line,
                      [&] { return std::string(partialReason(value, scan.consumed, std::to_string(scan.value))); });
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

ParameterFileResult readParameterFile(const std::string& path, std::span<const ParameterKey> keys) {
    ParameterFileResult result;
    std::string bytes;
    if (!readRegularFile(path, kMaxParameterFileBytes, bytes, result.error, nullptr, &result.errorNumber))
        return result;
    return parseParameterText(bytes, keys);
}

ParameterFileResult parseParameterText(std::string_view bytes, std::span<const ParameterKey> keys) {
    ParameterFileResult result;
    result.opened = true;
    result.found.resize(keys.size());
    LineReader reader(bytes);
    NoteList notes(result.notes);
    std::vector<std::string_view> fields;
    std::string_view line;
    while (reader.next(line)) readLine(keys, reader.lineNumber(), line, result, notes, fields);
    result.lineCount = reader.lineNumber();
    notes.finish();
    return result;
}

std::string formatParameterNote(const std::string& path, const ParameterFileNote& note) {
    std::string out = path + ":" + std::to_string(static_cast<std::int64_t>(note.line)) + ": ";
    if (!note.text.empty()) out += note.text + " \xE2\x80\x94 ";  // an em dash
    out += note.reason;
    return out;
}

std::string formatParameterFile(std::span<const ParameterKey> keys, std::span<const double> values) {
    std::string out;
    for (std::size_t k = 0; k < keys.size() && k < values.size(); ++k) {
        out += keys[k].name;
        out += ' ';
        out += keys[k].integer ? std::to_string(static_cast<std::int32_t>(values[k])) : formatGeneral(values[k], '.');
        out += '\n';
    }
    return out;
}

bool writeParameterFile(const std::string& path, std::span<const ParameterKey> keys, std::span<const double> values,
                        std::string& error) {
    const std::string text = formatParameterFile(keys, values);
    return writeTextFileAtomically(path, text, error);
}

}  // namespace marlinq
