#include "io/SweepStore.h"

#include "io/FileAccess.h"

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
#include <sys/file.h>
#include <csignal>
#include <unordered_set>
#include <memory>
#include <queue>

namespace marlinq {

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
        // "I/N" with 0 <= I < N, as --shard takes it.
        const std::string_view text = std::string_view(line).substr(ending + kSweepShardEnding.size());
        const std::size_t slash = text.find('/');
        const std::optional<std::int64_t> index = slash == std::string_view::npos ? std::nullopt : wholeNumber(text.substr(0, slash));
        const std::optional<std::int64_t> count =
            slash == std::string_view::npos ? std::nullopt : wholeNumber(text.substr(slash + 1));
        if (!index || !count || *count < 1 || *index >= *count) {
            error = at(part.path, 1) + "the shard of the plan line is not I/N";
            return false;
        }
        part.shard = SweepFileShard{*index, *count};
        part.sweepLine.resize(ending);
    }
    return true;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool writeAllAt(int fd, const char* data, std::size_t size, std::uint64_t offset) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
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

std::string kindText(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a pipe (FIFO)";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "not a regular file";
}

// The lines of a file read through a descriptor, each with whether it had its line end.
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd), buffer_(1 << 16) {}
    // false at the end of the file or on a read error (error() is then its errno).
    bool next(std::string& line, bool& complete) {
        line.clear();
        for (;;) {
            if (pos_ < end_) {
                const char* s = buffer_.data() + pos_;
                const auto* nl = static_cast<const char*>(std::memchr(s, '\n', end_ - pos_));
                const std::size_t n = nl != nullptr ? static_cast<std::size_t>(nl - s) : end_ - pos_;
                line.append(s, n);
                pos_ += n;
                if (nl != nullptr) {
                    ++pos_;
                    complete = true;
                    return true;
                }
            }
            if (line.size() > kLongestLine) {
                error_ = EFBIG;
                return false;
            }
            const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                error_ = errno;
                return false;
            }
            if (n == 0) {
                complete = false;
                return !line.empty();
            }
            pos_ = 0;
            end_ = static_cast<std::size_t>(n);
        }
    }
    int error() const { return error_; }
    static constexpr std::size_t kLongestLine = 1 << 20;

private:
    int fd_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0, end_ = 0;
    int error_ = 0;
};

std::string readError(const std::string& path, int error) {
    if (error == EFBIG) return path + ": a line longer than 1 MiB: not a sweep CSV";
    return path + ": reading failed (" + reason(error) + ")";
}

// Closes a descriptor when it goes out of scope.
struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

std::string partialPathOf(const std::string& output) { return output + ".partial"; }

std::string sweepOutputPlace(const std::string& output) {
    if (output.empty() || output == "-") return output;
    struct stat lst {};
    if (::lstat(output.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        std::error_code ec;
        const std::filesystem::path resolved = std::filesystem::weakly_canonical(output, ec);
        if (!ec) return resolved.string();
    }
    return output;
}

int openRegularFile(const std::string& path, std::string& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = path + ": can not be read (" + reason(errno) + ")";
        return -1;
    }
    const auto notRegular = [&](mode_t mode) {
        error = path + ": " + kindText(mode) + ", not a regular file (a sweep's files are regular files)";
        return -1;
    };
    if (!S_ISREG(st.st_mode)) return notRegular(st.st_mode);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": can not be read (" + reason(errno) + ")";
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return notRegular(st.st_mode);
    }
    return fd;
}

std::vector<std::string> csvFields(const std::string& line) {
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

bool readSweepPlanLine(const std::string& path, SweepCsvPart& part, std::string& error) {
    part = SweepCsvPart{};
    part.path = path;
    const int fd = openRegularFile(path, error);
    if (fd < 0) return false;
    const FdCloser closer{fd};
    LineReader in(fd);
    bool complete = false;
    if (!in.next(part.planLine, complete)) {
        error = in.error() != 0 ? readError(path, in.error()) : path + ": empty, not a sweep CSV";
        return false;
    }
    return parsePlanLine(part, error);
}

bool readSweepCsv(const std::string& path, SweepCsvPart& part, const SweepRowVisitor& onRow, std::string& error,
                  bool dropCutLastLine) {
    part = SweepCsvPart{};
    part.path = path;
    const int fd = openRegularFile(path, error);
    if (fd < 0) return false;
    const FdCloser closer{fd};
    LineReader in(fd);
    std::string line;
    bool complete = false;
    std::int64_t number = 0;
    std::uint64_t offset = 0;
    std::size_t headerFields = 0;
    std::int64_t lastIndex = -1;
    while (in.next(line, complete)) {
        ++number;
        // A line cut short (no line feed) is never taken for a row.
        if (!complete) {
            if (dropCutLastLine && number > 2) {
                part.cutLineDropped = true;
                break;
            }
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
            part.rowsEnd = offset;
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
    if (in.error() != 0) {
        error = readError(path, in.error());
        return false;
    }
    if (number < 2) {
        error = path + (number == 0 ? ": empty, not a sweep CSV" : ": no header line after the plan line");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------

RowDoubts::RowDoubts(const std::string& header) {
    const std::vector<std::string> names = csvFields(header.substr(0, header.find('\n')));
    for (std::size_t k = 0; k < names.size(); ++k) {
        if (names[k] == "warnings") warnings_ = k;
        if (names[k] == "unconverged_solves" || names[k] == "nonfinite_cells" || names[k] == "beyond_dh_cells" ||
            names[k] == "range_edge")
            counts_.push_back(k);
    }
}

bool RowDoubts::doubtful(const std::vector<std::string>& fields) const {
    if (warnings_ == 0) return false;
    if (warnings_ < fields.size() && !fields[warnings_].empty()) return true;
    return std::any_of(counts_.begin(), counts_.end(),
                       [&](std::size_t k) { return k < fields.size() && !fields[k].empty() && fields[k] != "0"; });
}

std::string doubtsLine(std::int64_t doubtful, std::int64_t points, const std::vector<std::int64_t>& first) {
    std::string s = std::to_string(doubtful) + " of " + std::to_string(points) + (points == 1 ? " point" : " points") +
                    (doubtful == 1 ? " carries" : " carry") + " doubts (index" + (doubtful == 1 ? " " : "es ");
    for (std::size_t k = 0; k < first.size(); ++k) s += (k ? ", " : "") + std::to_string(first[k]);
    if (doubtful > static_cast<std::int64_t>(first.size()))
        s += " and " + std::to_string(doubtful - static_cast<std::int64_t>(first.size())) + " more";
    return s + (doubtful == 1 ? "): its" : "): their") +
           " warnings, unconverged_solves, nonfinite_cells, beyond_dh_cells and range_edge columns say which";
}

// ---------------------------------------------------------------------------------------

namespace {

// Why FILE.partial can not be taken: a link, not a regular file, locked by a running
// sweep, or the rows of an earlier one. "" when it is an empty file nobody holds (left by
// a sweep killed as it started: it may go).
std::string partialInUse(const std::string& partial) {
    const int fd = ::open(partial.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ELOOP) return partial + " is a symbolic link; a sweep keeps its rows in a file of its own: remove it";
        return "can not write file " + partial + " (" + reason(errno) + ")";
    }
    const FdCloser closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return partial + " is " + kindText(st.st_mode) + "; a sweep keeps its rows in a regular file: remove it";
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0)
        return "another sweep is writing " + partial + " now (it holds the file's lock); wait for it to end or choose another -o";
    if (st.st_size == 0) return {};
    return partial + " exists: the rows of a sweep that did not finish (or another file); continue it with --resume, or "
                     "remove it";
}

}  // namespace

bool SweepCsvSink::create(std::string& error) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        fd_ = ::open(partial_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ >= 0) break;
        if (errno != EEXIST) {
            error = "can not write file " + partial_ + " (" + reason(errno) + ")";
            return false;
        }
        error = partialInUse(partial_);
        if (!error.empty() || attempt > 0) return false;
        ::unlink(partial_.c_str());  // empty, and nobody's
    }
    if (fd_ < 0) return false;
    created_ = true;
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        error = "another sweep is writing " + partial_ + " now (it holds the file's lock); wait for it to end or choose "
                "another -o";
        return false;
    }
    lastSync_ = now();
    return true;
}

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
        partial_ = output;
        return write(preamble, error);
    }
    output_ = sweepOutputPlace(output);
    partial_ = partialPathOf(output_);
    return create(error) && write(preamble, error);
}

bool SweepCsvSink::claim(const std::string& output, std::string& error) {
    // Only a regular file can be read back: a pipe or a device (/dev/stdout, a FIFO) would
    // be read for ever or waited on.
    struct stat st {};
    if (::stat(output.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        error = "--resume continues a sweep in a regular file; " + output + " is " + kindText(st.st_mode);
        return false;
    }
    output_ = sweepOutputPlace(output);
    partial_ = partialPathOf(output_);
    for (int attempt = 0; attempt < 3; ++attempt) {
        fd_ = ::open(partial_.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0 && errno == ENOENT) {
            fd_ = ::open(partial_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd_ < 0 && errno == EEXIST) continue;  // made by another sweep meanwhile: look again
            if (fd_ < 0) {
                error = "can not write file " + partial_ + " (" + reason(errno) + ")";
                return false;
            }
            created_ = true;
            if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
                error = "another sweep is writing " + partial_ + " now (it holds the file's lock); wait for it to end "
                        "or choose another -o";
                return false;
            }
            lastSync_ = ::marlinq::now();
            return true;
        }
        if (fd_ < 0) {
            error = errno == ELOOP ? partial_ + " is a symbolic link; a sweep keeps its rows in a file of its own: remove it"
                                   : "can not continue file " + partial_ + " (" + reason(errno) + ")";
            return false;
        }
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            error = partial_ + " is " + kindText(st.st_mode) + "; a sweep keeps its rows in a regular file: remove it";
            return false;
        }
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            error = "another sweep is writing " + partial_ + " now (it holds the file's lock); wait for it to end or "
                    "choose another -o";
            return false;
        }
        // Still the file of that name (not renamed into place by the sweep that held it).
        struct stat now {};
        if (::lstat(partial_.c_str(), &now) == 0 && now.st_ino == st.st_ino && now.st_dev == st.st_dev) {
            existed_ = true;
            const int flags = ::fcntl(fd_, F_GETFL);
            if (flags >= 0) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
            lastSync_ = ::marlinq::now();
            return true;
        }
        ::close(fd_);
        fd_ = -1;
    }
    error = "can not take " + partial_ + ": other sweeps keep replacing it";
    return false;
}

std::string SweepCsvSink::resumeSource() const {
    struct stat st {};
    if (existed_ && fd_ >= 0 && ::fstat(fd_, &st) == 0 && st.st_size > 0) return partial_;
    if (::stat(output_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return output_;
    return {};
}

bool SweepCsvSink::resume(const SweepCsvPart* part, bool inOrder, const std::vector<std::int64_t>& dropped,
                          const std::string& preamble, std::string& error) {
    inOrder_ = inOrder && dropped.empty();
    const auto fail = [&](const std::string& what) {
        error = what + " (" + reason(errno) + ")";
        return false;
    };
    if (part == nullptr) {
        if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) < 0) return fail("can not write file " + partial_);
        whole_ = 0;
        return write(preamble, error);
    }
    if (part->path == partial_ && dropped.empty()) {
        // Continue the file itself: its rows stay, a mark of an earlier stop or a cut line goes.
        if (::ftruncate(fd_, static_cast<off_t>(part->rowsEnd)) != 0 || ::lseek(fd_, 0, SEEK_END) < 0)
            return fail("can not continue file " + partial_);
        whole_ = part->rowsEnd;
        return true;
    }
    // The lines before the mark, but the rows to compute again: copied from FILE, or moved
    // up within FILE.partial itself (what is written never passes what is read).
    std::string readFailure;
    const int in = openRegularFile(part->path, readFailure);
    if (in < 0) {
        error = readFailure;
        return false;
    }
    const FdCloser closer{in};
    const std::unordered_set<std::int64_t> drop(dropped.begin(), dropped.end());
    LineReader reader(in);
    std::string line;
    bool complete = false;
    std::uint64_t readEnd = 0, written = 0;
    std::int64_t number = 0;
    std::string block;
    const auto flushBlock = [&] {
        if (!writeAllAt(fd_, block.data(), block.size(), written)) return false;
        written += block.size();
        block.clear();
        return true;
    };
    while (readEnd < part->rowsEnd && reader.next(line, complete) && complete) {
        readEnd += line.size() + 1;
        if (++number > 2 && drop.count(*wholeNumber(std::string_view(line).substr(0, line.find(',')))) != 0) continue;
        (block += line) += '\n';
        if (block.size() >= (1 << 16) && !flushBlock()) return fail("can not write file " + partial_);
    }
    if (readEnd != part->rowsEnd) {
        error = "can not copy " + part->path + " to " + partial_ + ": it changed while read";
        return false;
    }
    if (!flushBlock() || ::ftruncate(fd_, static_cast<off_t>(written)) != 0 ||
        ::lseek(fd_, static_cast<off_t>(written), SEEK_SET) < 0 || ::fsync(fd_) != 0)
        return fail("can not write file " + partial_);
    whole_ = written;
    lastSync_ = now();
    return true;
}

bool SweepCsvSink::write(const std::string& text, std::string& error) {
    if (failed_) return false;
    if (fd_ < 0) {
        std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
        std::cout.flush();
        if (std::cout.fail()) {
            failed_ = true;
            error = "can not write the result to standard output";
            return false;
        }
        return true;
    }
    // Each row reaches the file at once (a killed program loses only the points it was
    // computing); the disk gets them about once a second.
    if (!writeAll(fd_, text.data(), text.size())) {
        const int why = errno;
        failed_ = true;
        error = "can not write file " + partial_ + " (" + reason(why) + ")";
        // What a full disk took in part goes: the file ends with its last whole row.
        if (!direct_ && ::ftruncate(fd_, static_cast<off_t>(whole_)) == 0) ::lseek(fd_, 0, SEEK_END);
        return false;
    }
    whole_ += text.size();
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
    if (!writeAllAt(fd_, text.data(), text.size(), 0) || ::ftruncate(fd_, static_cast<off_t>(text.size())) != 0 ||
        ::fsync(fd_) != 0) {
        error = "can not write file " + partial_ + " (" + reason(errno) + ")";
        return false;
    }
    return true;
}

bool SweepCsvSink::finish(bool complete, const std::string& partialLine, std::string& error) {
    if (!complete && !failed_ && !partialLine.empty()) {
        std::string ignored;
        write(partialLine, ignored);
    }
    if (fd_ < 0) return true;
    const int fd = fd_;
    if (direct_) {
        fd_ = -1;
        ::close(fd);
        return true;
    }
    if (::fsync(fd) != 0 && complete && !failed_) {
        error = "can not write file " + partial_ + " (" + reason(errno) + ")";
        return false;
    }
    // Unless complete, FILE.partial stays; its lock goes with the descriptor.
    if (!complete || failed_) return true;
    if (!inOrder_ && !sortRows(error)) return false;
    if (::rename(partial_.c_str(), output_.c_str()) != 0) {
        error = "can not rename " + partial_ + " to " + output_ + " (" + reason(errno) + ")";
        return false;
    }
    syncFolderOf(output_);
    return true;
}

SweepCsvSink::~SweepCsvSink() {
    if (fd_ < 0) return;
    // A FILE.partial this sweep made and never wrote a line into is not left behind.
    struct stat st {};
    if (created_ && ::fstat(fd_, &st) == 0 && st.st_size == 0) ::unlink(partial_.c_str());
    ::close(fd_);
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

bool claimSweepFolder(const std::string& folder, const std::string& wholePlanLine, const SweepFileShard& shard,
                      std::string& error) {
    namespace fs = std::filesystem;
    const std::string& line = wholePlanLine;
    const std::string manifest = (fs::path(folder) / kSweepFolderManifest).string();
    std::string held;
    bool missing = false;
    if (!readRegularFile(manifest, 1 << 16, held, error, &missing)) {
        if (!missing) return false;
        // A folder with point files but no manifest holds a sweep nobody can name.
        std::error_code ec;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec))
            if (entry.path().filename().string().rfind("point-", 0) == 0) {
                error = "--sweep-dir " + folder + " holds point files of a sweep it does not name (no " +
                        kSweepFolderManifest + "); choose another folder";
                return false;
            }
        if (!writeTextFileAtomically(manifest, line, error)) return false;
        // Another sweep may have named the folder at the same time: its line must be this one.
        if (!readRegularFile(manifest, 1 << 16, held, error)) return false;
    }
    if (held != line) {
        error = "--sweep-dir " + folder + " holds the point files of another sweep; choose another folder\n  " +
                manifest + ": " + held.substr(0, held.find('\n')) + "\n  this sweep:" +
                line.substr(line.find(' '), line.size() - line.find(' ') - 1);
        return false;
    }
    // Temporary point files of this shard whose writer is gone: a killed sweep's.
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        const std::size_t tmp = name.rfind(".tmp-");
        if (name.rfind(".point-", 0) != 0 || tmp == std::string::npos) continue;
        const std::optional<std::int64_t> index =
            wholeNumber(std::string_view(name).substr(7, name.find_first_not_of("0123456789", 7) - 7));
        const std::string_view rest = std::string_view(name).substr(tmp + 5);
        const std::optional<std::int64_t> pid = wholeNumber(rest.substr(0, rest.find('-')));
        if (!index || !pid || !shard.contains(*index)) continue;
        if (*pid != ::getpid() && (::kill(static_cast<pid_t>(*pid), 0) == 0 || errno != ESRCH)) continue;
        fs::remove(entry.path(), ec);
    }
    return true;
}

// ---------------------------------------------------------------------------------------

bool DonePoints::insert(std::int64_t k) {
    auto next = runs_.upper_bound(k);
    const bool hasPrevious = next != runs_.begin();
    const auto previous = hasPrevious ? std::prev(next) : runs_.end();
    if (hasPrevious && previous->second > k) return false;
    const bool joinPrevious = hasPrevious && previous->second == k;
    const bool joinNext = next != runs_.end() && next->first == k + 1;
    if (joinPrevious && joinNext) {
        previous->second = next->second;
        runs_.erase(next);
    } else if (joinPrevious) {
        previous->second = k + 1;
    } else if (joinNext) {
        const std::int64_t end = next->second;
        runs_.erase(next);
        runs_.emplace(k, end);
    } else {
        runs_.emplace(k, k + 1);
    }
    ++count_;
    return true;
}

bool DonePoints::contains(std::int64_t k) const {
    auto next = runs_.upper_bound(k);
    if (next == runs_.begin()) return false;
    return std::prev(next)->second > k;
}

void DonePoints::erase(std::int64_t k) {
    auto next = runs_.upper_bound(k);
    if (next == runs_.begin()) return;
    const auto run = std::prev(next);
    if (run->second <= k) return;
    const std::int64_t first = run->first, end = run->second;
    runs_.erase(run);
    if (first < k) runs_.emplace(first, k);
    if (k + 1 < end) runs_.emplace(k + 1, end);
    --count_;
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

// A part's rows read back for the merge, a block at a time, its file open only while a
// block is read: any number of parts merge within any limit of open files.
struct PartRows {
    std::string path;
    std::uint64_t offset = 0, end = 0;  // the next byte to read, the end of the rows
    std::string buffer;
    std::size_t pos = 0;

    // The next row with its line feed; false at the end of the rows (error empty) or when
    // the file can not be read back as it was checked (error says why).
    bool next(std::string& row, std::string& error) {
        for (;;) {
            const std::size_t nl = buffer.find('\n', pos);
            if (nl != std::string::npos) {
                row.assign(buffer, pos, nl + 1 - pos);
                pos = nl + 1;
                return true;
            }
            if (offset >= end) {
                if (pos < buffer.size()) error = path + ": the rows end in a cut line (the file changed while merged)";
                return false;
            }
            buffer.erase(0, pos);
            pos = 0;
            const int fd = openRegularFile(path, error);
            if (fd < 0) return false;
            const FdCloser closer{fd};
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(end - offset, 1 << 16));
            const std::size_t old = buffer.size();
            buffer.resize(old + want);
            std::size_t got = 0;
            while (got < want) {
                const ssize_t n = ::pread(fd, buffer.data() + old + got, want - got, static_cast<off_t>(offset + got));
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) {
                    error = path + ": reading failed (" + reason(errno) + ")";
                    return false;
                }
                if (n == 0) {
                    error = path + ": shorter than when it was checked (the file changed while merged)";
                    return false;
                }
                got += static_cast<std::size_t>(n);
            }
            offset += want;
        }
    }
};

}  // namespace

int mergeSweepParts(const std::vector<std::string>& paths, const std::string& output, bool quiet,
                    std::ostream& messages, std::ostream& standardOutput) {
    constexpr int kInvalid = 2, kFailed = 1;
    if (paths.empty()) {
        messages << "--merge needs the files of the parts\n";
        return kInvalid;
    }
    const bool toStdout = output.empty() || output == "-";
    if (!toStdout)
        if (const std::optional<std::string> why = outputFileProblem(output)) {
            messages << "can not write -o " << output << " (" << *why << ")\n";
            return kInvalid;
        }
    for (std::size_t n = 0; n < paths.size(); ++n) {
        if (!toStdout && (sameFile(output, paths[n]) || output == paths[n])) {
            messages << "the output file " << output << " is the part " << paths[n] << "; choose another -o\n";
            return kInvalid;
        }
        for (std::size_t m = 0; m < n; ++m)
            if (paths[m] == paths[n] || sameFile(paths[m], paths[n])) {
                messages << "the part " << paths[n] << " is given twice\n";
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
        if (!readSweepPlanLine(paths[n], head, error)) {
            messages << error << '\n';
            return kInvalid;
        }
        if (n == 0) {
            if (head.points > (std::int64_t{1} << 30)) {
                messages << paths[0] << " line 1: a sweep of " << head.points << " points is too large to merge\n";
                return kInvalid;
            }
            present.assign(static_cast<std::size_t>(head.points), false);
        } else if (head.sweepLine != parts[0].sweepLine) {
            messages << at(paths[n], 1) << "a part of another sweep than " << paths[0]
                      << " (or of another version or other tables)\n"
                      << "  " << head.sweepLine << "\n  " << parts[0].sweepLine << '\n';
            return kInvalid;
        }
        if (!readSweepCsv(paths[n], part, visit, error)) {
            messages << error << '\n';
            return kInvalid;
        }
        if (n > 0 && part.header != parts[0].header) {
            messages << at(paths[n], 2) << "another header than " << paths[0] << '\n';
            return kInvalid;
        }
        if (!part.ascending) {
            messages << paths[n] << ": the rows are not in index order (not a part written by a sweep)\n";
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
        messages << missingCount << " of " << present.size() << " points are in no part (indexes "
                  << indexList(missing, missingCount) << ")\n";
        std::vector<std::string> shardsSeen;
        std::int64_t shardCount = 0;
        for (const SweepCsvPart& part : parts) {
            if (part.partialMark) messages << part.path << " is " << part.partialText << '\n';
            if (part.shard) shardCount = std::max(shardCount, part.shard->count);
        }
        for (std::int64_t s = 0; s < shardCount && s < 1000; ++s) {
            const bool given = std::any_of(parts.begin(), parts.end(), [&](const SweepCsvPart& p) {
                return p.shard && p.shard->index == s && p.shard->count == shardCount;
            });
            if (!given && s < static_cast<std::int64_t>(present.size()))
                messages << "shard " << s << "/" << shardCount << " is missing\n";
        }
        messages << "no merged file is written\n";
        return kInvalid;
    }

    // The rows of all parts in index order, each part's own being in order already. Every
    // row is read back and must be the next index: anything else (a part that changed or
    // can not be read) fails the merge.
    std::vector<PartRows> rows(parts.size());
    using Head = std::pair<std::int64_t, std::size_t>;
    std::priority_queue<Head, std::vector<Head>, std::greater<>> heads;
    std::vector<std::string> current(parts.size());
    std::vector<std::string> failed;
    std::int64_t failedCount = 0, doubtful = 0, written = 0;
    std::vector<std::int64_t> doubtfulFirst;
    std::size_t statusField = 0;
    const RowDoubts doubts(parts[0].header);
    {
        const std::vector<std::string> header = csvFields(parts[0].header.substr(0, parts[0].header.size() - 1));
        statusField = static_cast<std::size_t>(std::find(header.begin(), header.end(), "status") - header.begin());
    }
    std::string readFailure;
    const auto advance = [&](std::size_t n) {
        if (!rows[n].next(current[n], readFailure)) return;
        const std::optional<std::int64_t> index =
            wholeNumber(std::string_view(current[n]).substr(0, current[n].find(',')));
        if (!index) {
            readFailure = paths[n] + ": a row without its index (the file changed while merged)";
            return;
        }
        heads.emplace(*index, n);
    };
    for (std::size_t n = 0; n < parts.size() && readFailure.empty(); ++n) {
        rows[n].path = paths[n];
        rows[n].offset = parts[n].planLine.size() + 1 + parts[n].header.size();
        rows[n].end = parts[n].rowsEnd;
        advance(n);
    }
    if (!readFailure.empty()) {
        messages << readFailure << "\nno merged file is written\n";
        return kFailed;
    }
    const auto write = [&](std::ostream& out) {
        out << parts[0].sweepLine << '\n' << parts[0].header;
        while (!heads.empty() && readFailure.empty()) {
            const auto [index, n] = heads.top();
            heads.pop();
            if (index != written) {
                readFailure = paths[n] + ": index " + std::to_string(index) + " where " + std::to_string(written) +
                              " was due (the file changed while merged)";
                break;
            }
            out << current[n];
            ++written;
            const std::vector<std::string> fields = csvFields(current[n].substr(0, current[n].size() - 1));
            if (statusField < fields.size() && fields[statusField] != "ok") {
                if (failed.size() < 10) failed.push_back("index " + std::to_string(index) + ": " + fields[statusField]);
                ++failedCount;
            }
            if (doubts.doubtful(fields)) {
                if (doubtfulFirst.size() < 10) doubtfulFirst.push_back(index);
                ++doubtful;
            }
            advance(n);
        }
        if (readFailure.empty() && written != static_cast<std::int64_t>(present.size()))
            readFailure = "only " + std::to_string(written) + " of " + std::to_string(present.size()) +
                          " rows could be read back";
        return static_cast<bool>(out) && readFailure.empty();
    };
    if (toStdout) {
        const bool ok = write(standardOutput) && standardOutput.flush();
        if (!readFailure.empty()) {
            messages << readFailure << "\nthe merged CSV on standard output is incomplete\n";
            return kFailed;
        }
        if (!ok) {
            messages << "can not write the result to standard output\n";
            return kFailed;
        }
    } else if (!writeFileAtomically(output, write, error)) {
        if (!readFailure.empty()) messages << readFailure << "\nno merged file is written\n";
        else messages << "can not write file " << output << " (" << error << ")\n";
        return kFailed;
    }
    if (failedCount > 0) {
        messages << failedCount << " of " << present.size() << " points have no result (their status):\n";
        for (const std::string& f : failed) messages << "  " << f << '\n';
        if (failedCount > static_cast<std::int64_t>(failed.size()))
            messages << "  and " << failedCount - static_cast<std::int64_t>(failed.size()) << " more\n";
    }
    if (doubtful > 0) messages << doubtsLine(doubtful, static_cast<std::int64_t>(present.size()), doubtfulFirst) << '\n';
    if (failedCount == 0 && !quiet)
        messages << "merged " << present.size() << " points from " << parts.size() << " parts\n";
    return 0;
}

}  // namespace marlinq
