#include "files/ParameterFile.h"

#include "files/NumberFormat.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <optional>

namespace marlinq {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t'; }

// Editors on Windows start UTF-8 files with a byte-order mark; it is not part of the
// first key.
void dropByteOrderMark(std::string& line) {
    if (line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
}

void readDouble(const std::string& text, double& target) {
    if (const std::optional<double> v = parseLeadingDouble(text)) target = *v;
}

void readInt(const std::string& text, std::int32_t& target) {
    if (const std::optional<int> v = parseLeadingInt(text)) target = *v;
}

std::string formatInt(std::int32_t v) {
    char buf[16];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

}  // namespace

void StringExplode(const std::string& str, std::vector<std::string>& results) {
    std::size_t pos = 0;
    while (pos < str.size()) {
        while (pos < str.size() && isSpace(str[pos])) ++pos;
        const std::size_t start = pos;
        while (pos < str.size() && !isSpace(str[pos])) ++pos;
        if (pos > start) results.emplace_back(str, start, pos - start);
    }
}

bool readParameter(double& kip, double& kim, double& ka, double& vc01, double& vc10, double& zp, double& zn,
                   const std::string& file, std::int32_t& Np, std::int32_t& Nm, std::int32_t& mpMin,
                   std::int32_t& mpMax, std::int32_t& mmMin, std::int32_t& mmMax, std::int32_t& pid) {
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec)) return false;  // opens, but cannot be read
    std::ifstream in(file, std::ios::in | std::ios::binary);
    if (!in.is_open()) return false;

    std::string line;
    std::vector<std::string> fields;
    bool firstLine = true;
    while (std::getline(in, line)) {
        if (firstLine) dropByteOrderMark(line);
        firstLine = false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        fields.clear();
        StringExplode(line, fields);
        // A line without any field (empty or only blanks) is not a record: it is skipped
        // and leaves pid as the previous line set it, so a trailing blank line does not
        // make a good file unreadable.
        if (fields.empty()) continue;
        const std::string& key = fields[0];
        // A key alone counts like a key with an unreadable value: a known key sets pid
        // and leaves its variable unchanged; an unknown one sets 15.
        const std::string value = fields.size() > 1 ? fields[1] : std::string();

        if (key == "name") pid = 1;
        else if (key == "vc01") { pid = 2; readDouble(value, vc01); }
        else if (key == "vc10") { pid = 3; readDouble(value, vc10); }
        else if (key == "zp") { pid = 4; readDouble(value, zp); }
        else if (key == "zn") { pid = 5; readDouble(value, zn); }
        else if (key == "kiplus") { pid = 6; readDouble(value, kip); }
        else if (key == "kiminus") { pid = 7; readDouble(value, kim); }
        else if (key == "ka") { pid = 8; readDouble(value, ka); }
        else if (key == "Np") { pid = 9; readInt(value, Np); }
        else if (key == "Nm") { pid = 10; readInt(value, Nm); }
        else if (key == "mpMax") { pid = 11; readInt(value, mpMax); }
        else if (key == "mmMax") { pid = 12; readInt(value, mmMax); }
        else if (key == "mpMin") { pid = 13; readInt(value, mpMin); }
        else if (key == "mmMin") { pid = 14; readInt(value, mmMin); }
        else pid = kUnknownKeyPid;
    }
    return true;
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

bool writeParameterFile(const std::string& path, const ParameterFileValues& v) {
    std::ofstream out(path, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!out.is_open()) return false;
    const std::string text = formatParameterFile(v);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return !out.fail();
}

}  // namespace marlinq
