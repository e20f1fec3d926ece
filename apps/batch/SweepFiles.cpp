#include "SweepFiles.h"

#include "files/FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <queue>

namespace marlinq::batch {

namespace {

std::string reason(int error) { return std::strerror(error); }

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string at(const std::string& path, std::int64_t line) { return path + " line " + std::to_string(line) + ": "; }

std::optional<std::int64_t> wholeNumber(std::string_view t) {
    std::int64_t v = 0;
    if (t.empty() || t.front() == '-' || t.front() == '+') return std::nullopt;
    const auto res = std::from_chars(t.data(), t.data() + t.size(), v);
    if (res.ec != std::errc() || res.ptr != t.data() + t.size()) return std::nullopt;
    return v;
}

// The fields of a CSV line (without its line feed), quotes removed.
std::vector<std::string> csvFields(std::string_view line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::size_t fieldCount(std::string_view line) {
    std::size_t n = 1;
    bool quoted = false;
    for (const char c : line) {
        if (c == '"') quoted = !quoted;
        else if (c == ',' && !quoted) ++n;
    }
    return n;
}

// The plan line's parts: the sweep without the shard ending, the shard, the points.
bool parsePlanLine(SweepCsvPart& part, std::string& error) {
    const std::string& line = part.planLine;
    const std::size_t sweep = line.find(" sweep ");
    const std::size_t colon = line.find(": ", sweep == std::string::npos ? 0 : sweep);
    if (line.rfind(kSweepPlanLineStart, 0) != 0 || sweep == std::string::npos || colon == std::string::npos) {
        error = at(part.path, 1) + "not a sweep CSV of this program (its first line names no sweep plan)";
        return false;
    }
    const std::size_t space = line.find(' ', colon + 2);
    const std::optional<std::int64_t> points =
        space == std::string::npos ? std::nullopt : wholeNumber(std::string_view(line).substr(colon + 2, space - colon - 2));
    if (!points || *points < 1) {
        error = at(part.path, 1) + "the sweep plan names no number of points";
        return false;
    }
    part.points = *points;
    part.sweepLine = line;
    const std::size_t ending = line.rfind(kSweepShardEnding);
    if (ending != std::string::npos) {
        std::string shardError;
        const std::optional<Shard> shard = parseShard(line.substr(ending + kSweepShardEnding.size()), shardError);
        if (!shard) {
            error = at(part.path, 1) + "the shard of the plan line is not I/N";
            return false;
        }
        part.shard = shard;
        part.sweepLine.resize(ending);
    }
    return true;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool syncFolderOf(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

std::string partialPathOf(const std::string& output) { return output + ".partial"; }

bool readSweepCsv(const std::string& path, SweepCsvPart& part, const SweepRowVisitor& onRow, std::string& error) {
    part = SweepCsvPart{};
    part.path = path;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": can not be read (" + reason(errno) + ")";
        return false;
    }
    std::string line;
    std::int64_t number = 0;
    std::uint64_t offset = 0;
    std::size_t headerFields = 0;
    std::int64_t lastIndex = -1;
    while (std::getline(in, line)) {
        ++number;
        // A line cut short (no line feed) is never taken for a row.
        if (in.eof()) {
            error = at(path, number) + "the last line is cut short (it has no line end): a damaged or unfinished file";
            return false;
        }
        offset += line.size() + 1;
        if (number == 1) {
            part.planLine = line;
            if (!parsePlanLine(part, error)) return false;
            continue;
        }
        if (part.partialMark) {
            error = at(path, number) + "a line after the mark of a partial sweep";
            return false;
        }
        if (number == 2) {
            if (line.rfind("index,", 0) != 0) {
                error = at(path, 2) + "not the header of a sweep CSV";
                return false;
            }
            part.header = line + '\n';
            headerFields = fieldCount(line);
            continue;
        }
        if (line.rfind(kSweepPartialStart, 0) == 0) {
            part.partialMark = true;
            part.partialText = line.substr(2);
            continue;
        }
        if (!line.empty() && line.front() == '#') {
            error = at(path, number) + "a comment line among the rows";
            return false;
        }
        const std::size_t fields = fieldCount(line);
        if (fields != headerFields) {
            error = at(path, number) + std::to_string(fields) + " fields where the header has " +
                    std::to_string(headerFields) + " (a damaged row)";
            return false;
        }
        const std::optional<std::int64_t> index = wholeNumber(std::string_view(line).substr(0, line.find(',')));
        if (!index || *index >= part.points) {
            error = at(path, number) + "the index is not a point of the sweep (0 to " + std::to_string(part.points - 1) + ")";
            return false;
        }
        if (part.shard && *index % part.shard->count != part.shard->index) {
            error = at(path, number) + "index " + std::to_string(*index) + " is not in shard " +
                    std::to_string(part.shard->index) + "/" + std::to_string(part.shard->count);
            return false;
        }
        if (*index <= lastIndex) part.ascending = false;
        lastIndex = std::max(lastIndex, *index);
        ++part.rows;
        part.rowsEnd = offset;
        if (onRow && !onRow(*index, line + '\n', number, error)) return false;
    }
    if (in.bad()) {
        error = path + ": reading failed (" + reason(errno) + ")";
        return false;
    }
    if (number < 2) {
        error = path + (number == 0 ? ": empty, not a sweep CSV" : ": no header line after the plan line");
        return false;
    }
    if (part.rows == 0) part.rowsEnd = offset - (part.partialMark ? part.partialText.size() + 3 : 0);
    return true;
}

// ---------------------------------------------------------------------------------------

bool SweepCsvSink::open(const std::string& output, const std::string& preamble, std::string& error) {
    output_ = output;
    if (output.empty() || output == "-") return write(preamble, error);
    // A device or a FIFO is written directly: there is nothing to rename.
    struct stat st {};
    if (::stat(output.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        fd_ = ::open(output.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ < 0) {
            error = "can not write file " + output + " (" + reason(errno) + ")";
            return false;
        }
        direct_ = true;
        return write(preamble, error);
    }
    partial_ = partialPathOf(output);
    fd_ = ::open(partial_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        error = "can not write file " + partial_ + " (" + reason(errno) + ")";
        return false;
    }
    lastSync_ = now();
    return write(preamble, error);
}

bool SweepCsvSink::resume(const std::string& output, const SweepCsvPart& part, bool inOrder, std::string& error) {
    output_ = output;
    partial_ = partialPathOf(output);
    inOrder_ = inOrder;
    if (part.path == partial_) {
        // Continue the file itself: its rows stay, a mark of an earlier stop goes.
        fd_ = ::open(partial_.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ < 0 || ::ftruncate(fd_, static_cast<off_t>(part.rowsEnd)) != 0 ||
            ::lseek(fd_, 0, SEEK_END) < 0) {
            error = "can not continue file " + partial_ + " (" + reason(errno) + ")";
            return false;
        }
        return true;
    }
    // A file in place (finished, or marked as partial): its lines before the mark, copied.
    std::ifstream in(part.path, std::ios::binary);
    fd_ = ::open(partial_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (!in || fd_ < 0) {
        error = "can not write file " + partial_ + " (" + reason(errno) + ")";
        return false;
    }
    std::vector<char> buffer(1 << 16);
    std::uint64_t left = part.rowsEnd;
    while (left > 0) {
        const auto want = static_cast<std::streamsize>(std::min<std::uint64_t>(left, buffer.size()));
        in.read(buffer.data(), want);
        if (in.gcount() != want || !writeAll(fd_, buffer.data(), static_cast<std::size_t>(want))) {
            error = "can not copy " + part.path + " to " + partial_;
            return false;
        }
        left -= static_cast<std::uint64_t>(want);
    }
    if (::fsync(fd_) != 0) {
        error = "can not write file " + partial_ + " (" + reason(errno) + ")";
        return false;
    }
    lastSync_ = now();
    return true;
}

bool SweepCsvSink::write(const std::string& text, std::string& error) {
    if (fd_ < 0) {
        std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
        std::cout.flush();
        if (std::cout.fail()) {
            error = "can not write the result to standard output";
            return false;
        }
        return true;
    }
    // Each row reaches the file at once (a killed program loses only the points it was
    // computing); the disk gets them about once a second.
    if (!writeAll(fd_, text.data(), text.size())) {
        error = "can not write file " + partial_ + " (" + reason(errno) + ")";
        return false;
    }
    if (now() - lastSync_ > 1.0) {
        ::fdatasync(fd_);
        lastSync_ = now();
    }
    return true;
}

bool SweepCsvSink::sortRows(std::string& error) {
    // Rows of a resumed file with gaps: all of them, in index order.
    SweepCsvPart part;
    std::vector<std::pair<std::int64_t, std::string>> rows;
    if (!readSweepCsv(partial_, part,
                      [&](std::int64_t index, const std::string& line, std::int64_t, std::string&) {
                          rows.emplace_back(index, line);
                          return true;
                      },
                      error))
        return false;
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string text = part.planLine + '\n' + part.header;
    for (const auto& row : rows) text += row.second;
    if (part.partialMark) text += "# " + part.partialText + '\n';
    const int fd = ::open(partial_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0 || !writeAll(fd, text.data(), text.size()) || ::fsync(fd) != 0) {
        if (fd >= 0) ::close(fd);
        error = "can not write file " + partial_ + " (" + reason(errno) + ")";
        return false;
    }
    ::close(fd);
    return true;
}

bool SweepCsvSink::finish(const std::string& ending, std::string& error) {
    if (!ending.empty() && !write(ending, error)) return false;
    if (fd_ < 0) return true;
    const int fd = fd_;
    fd_ = -1;
    if (direct_) {
        ::close(fd);
        return true;
    }
    if (::fsync(fd) != 0) {
        ::close(fd);
        error = "can not write file " + partial_ + " (" + reason(errno) + ")";
        return false;
    }
    ::close(fd);
    if (!inOrder_ && !sortRows(error)) return false;
    if (::rename(partial_.c_str(), output_.c_str()) != 0) {
        error = "can not rename " + partial_ + " to " + output_ + " (" + reason(errno) + ")";
        return false;
    }
    syncFolderOf(output_);
    return true;
}

SweepCsvSink::~SweepCsvSink() {
    if (fd_ >= 0) ::close(fd_);
}

// ---------------------------------------------------------------------------------------

bool PointFileBatch::add(const std::string& path, const std::string& text, std::string& error) {
    // A temporary name of its own beside the target, created with the umask's permissions.
    const std::filesystem::path target(path);
    const std::string temp = (target.parent_path() / ("." + target.filename().string() + ".tmp-" +
                                                      std::to_string(::getpid()) + "-" + std::to_string(++made_)))
                                 .string();
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = path + ": cannot create a file in its folder (" + reason(errno) + ")";
        return false;
    }
    const bool written = writeAll(fd, text.data(), text.size());
    const int writeError = errno;
    ::close(fd);
    if (!written) {
        ::unlink(temp.c_str());
        error = path + ": cannot write (" + reason(writeError) + ")";
        return false;
    }
    waiting_.emplace_back(temp, path);
    if (since_ < 0.0) since_ = now();
    if (waiting_.size() >= 256 || now() - since_ > 1.0) return flush(error);
    return true;
}

bool PointFileBatch::flush(std::string& error) {
    if (waiting_.empty()) return true;
    // One sync of the file system for the whole batch, then the renames and the folder.
    const int dir = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool ok = dir >= 0 && ::syncfs(dir) == 0;
    if (!ok) error = folder_ + ": cannot sync the point files (" + reason(errno) + ")";
    for (const auto& [temp, path] : waiting_) {
        if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
            error = path + ": cannot rename into place (" + reason(errno) + ")";
            ok = false;
        }
        if (!ok) ::unlink(temp.c_str());
    }
    if (ok && ::fsync(dir) != 0) {
        error = folder_ + ": cannot sync the folder (" + reason(errno) + ")";
        ok = false;
    }
    if (dir >= 0) ::close(dir);
    waiting_.clear();
    since_ = -1.0;
    return ok;
}

PointFileBatch::~PointFileBatch() {
    for (const auto& [temp, path] : waiting_) ::unlink(temp.c_str());
}

// ---------------------------------------------------------------------------------------

namespace {

// Indexes as "3, 7, 11 and 40 more".
std::string indexList(const std::vector<std::int64_t>& indexes, std::int64_t count) {
    std::string s;
    for (std::size_t k = 0; k < indexes.size(); ++k) s += (k ? ", " : "") + std::to_string(indexes[k]);
    if (count > static_cast<std::int64_t>(indexes.size()))
        s += " and " + std::to_string(count - static_cast<std::int64_t>(indexes.size())) + " more";
    return s;
}

}  // namespace

int mergeSweepParts(const std::vector<std::string>& paths, const std::string& output, bool quiet) {
    constexpr int kInvalid = 2, kFailed = 1;
    if (paths.empty()) {
        std::cerr << "--merge needs the files of the parts\n";
        return kInvalid;
    }
    for (std::size_t n = 0; n < paths.size(); ++n) {
        if (!output.empty() && output != "-" && (sameFile(output, paths[n]) || output == paths[n])) {
            std::cerr << "the output file " << output << " is the part " << paths[n] << "; choose another -o\n";
            return kInvalid;
        }
        for (std::size_t m = 0; m < n; ++m)
            if (paths[m] == paths[n] || sameFile(paths[m], paths[n])) {
                std::cerr << "the part " << paths[n] << " is given twice\n";
                return kInvalid;
            }
    }

    // Each index of the sweep in exactly one part.
    std::vector<SweepCsvPart> parts(paths.size());
    std::vector<bool> present;  // each index of the sweep seen in a part
    std::string error;
    for (std::size_t n = 0; n < paths.size(); ++n) {
        SweepCsvPart& part = parts[n];
        const auto visit = [&](std::int64_t index, const std::string&, std::int64_t line, std::string& why) {
            if (!present[static_cast<std::size_t>(index)]) {
                present[static_cast<std::size_t>(index)] = true;
                return true;
            }
            // Which part had it first: looked up again, only now.
            std::string holder = paths[n] + " (twice in this part)";
            for (std::size_t m = 0; m < n; ++m) {
                SweepCsvPart earlier;
                std::string ignored;
                bool found = false;
                readSweepCsv(paths[m], earlier,
                             [&](std::int64_t i, const std::string&, std::int64_t, std::string&) {
                                 found = found || i == index;
                                 return !found;
                             },
                             ignored);
                if (found) {
                    holder = paths[m];
                    break;
                }
            }
            why = at(paths[n], line) + "index " + std::to_string(index) + " is also in " + holder;
            return false;
        };
        // The plan line comes first: the first part's sizes the table of indexes.
        SweepCsvPart head;
        std::ifstream probe(paths[n], std::ios::binary);
        if (!probe) {
            std::cerr << paths[n] << ": can not be read (" << reason(errno) << ")\n";
            return kInvalid;
        }
        std::getline(probe, head.planLine);
        head.path = paths[n];
        if (!parsePlanLine(head, error)) {
            std::cerr << error << '\n';
            return kInvalid;
        }
        if (n == 0) {
            if (head.points > (std::int64_t{1} << 30)) {
                std::cerr << paths[0] << " line 1: a sweep of " << head.points << " points is too large to merge\n";
                return kInvalid;
            }
            present.assign(static_cast<std::size_t>(head.points), false);
        } else if (head.sweepLine != parts[0].sweepLine) {
            std::cerr << at(paths[n], 1) << "a part of another sweep than " << paths[0] << " (or of another version)\n"
                      << "  " << head.sweepLine << "\n  " << parts[0].sweepLine << '\n';
            return kInvalid;
        }
        if (!readSweepCsv(paths[n], part, visit, error)) {
            std::cerr << error << '\n';
            return kInvalid;
        }
        if (n > 0 && part.header != parts[0].header) {
            std::cerr << at(paths[n], 2) << "another header than " << paths[0] << '\n';
            return kInvalid;
        }
        if (!part.ascending) {
            std::cerr << paths[n] << ": the rows are not in index order (not a part written by a sweep)\n";
            return kInvalid;
        }
    }

    // Every index once: else say which are missing, and which shards and parts they belong to.
    std::vector<std::int64_t> missing;
    std::int64_t missingCount = 0;
    for (std::size_t i = 0; i < present.size(); ++i)
        if (!present[i]) {
            if (missing.size() < 10) missing.push_back(static_cast<std::int64_t>(i));
            ++missingCount;
        }
    if (missingCount > 0) {
        std::cerr << missingCount << " of " << present.size() << " points are in no part (indexes "
                  << indexList(missing, missingCount) << ")\n";
        std::vector<std::string> shardsSeen;
        std::int64_t shardCount = 0;
        for (const SweepCsvPart& part : parts) {
            if (part.partialMark) std::cerr << part.path << " is " << part.partialText << '\n';
            if (part.shard) shardCount = std::max(shardCount, part.shard->count);
        }
        for (std::int64_t s = 0; s < shardCount && s < 1000; ++s) {
            const bool given = std::any_of(parts.begin(), parts.end(), [&](const SweepCsvPart& p) {
                return p.shard && p.shard->index == s && p.shard->count == shardCount;
            });
            if (!given && s < static_cast<std::int64_t>(present.size()))
                std::cerr << "shard " << s << "/" << shardCount << " is missing\n";
        }
        std::cerr << "no merged file is written\n";
        return kInvalid;
    }

    // The rows of all parts in index order, each part's own being in order already.
    std::vector<std::unique_ptr<std::ifstream>> streams;
    using Head = std::pair<std::int64_t, std::size_t>;
    std::priority_queue<Head, std::vector<Head>, std::greater<>> heads;
    std::vector<std::string> current(parts.size());
    std::vector<std::string> failed;
    std::int64_t failedCount = 0;
    std::size_t statusField = 0;
    {
        const std::vector<std::string> header = csvFields(parts[0].header.substr(0, parts[0].header.size() - 1));
        statusField = static_cast<std::size_t>(std::find(header.begin(), header.end(), "status") - header.begin());
    }
    const auto advance = [&](std::size_t n) {
        std::string line;
        if (!std::getline(*streams[n], line) || line.rfind(kSweepPartialStart, 0) == 0) return;
        const std::int64_t index = *wholeNumber(std::string_view(line).substr(0, line.find(',')));
        current[n] = line + '\n';
        heads.emplace(index, n);
    };
    for (std::size_t n = 0; n < parts.size(); ++n) {
        streams.push_back(std::make_unique<std::ifstream>(paths[n], std::ios::binary));
        std::string skip;
        std::getline(*streams[n], skip);
        std::getline(*streams[n], skip);
        advance(n);
    }
    const auto write = [&](std::ostream& out) {
        out << parts[0].sweepLine << '\n' << parts[0].header;
        while (!heads.empty()) {
            const auto [index, n] = heads.top();
            heads.pop();
            out << current[n];
            const std::vector<std::string> fields = csvFields(current[n].substr(0, current[n].size() - 1));
            if (statusField < fields.size() && fields[statusField] != "ok") {
                if (failed.size() < 10) failed.push_back("index " + std::to_string(index) + ": " + fields[statusField]);
                ++failedCount;
            }
            advance(n);
        }
        return static_cast<bool>(out);
    };
    if (output.empty() || output == "-") {
        if (!write(std::cout) || !std::cout.flush()) {
            std::cerr << "can not write the result to standard output\n";
            return kFailed;
        }
    } else if (!writeFileAtomically(output, write, error)) {
        std::cerr << "can not write file " << output << " (" << error << ")\n";
        return kFailed;
    }
    if (failedCount > 0) {
        std::cerr << failedCount << " of " << present.size() << " points have no result (their status):\n";
        for (const std::string& f : failed) std::cerr << "  " << f << '\n';
        if (failedCount > static_cast<std::int64_t>(failed.size()))
            std::cerr << "  and " << failedCount - static_cast<std::int64_t>(failed.size()) << " more\n";
    } else if (!quiet) {
        std::cerr << "merged " << present.size() << " points from " << parts.size() << " parts\n";
    }
    return 0;
}

}  // namespace marlinq::batch
