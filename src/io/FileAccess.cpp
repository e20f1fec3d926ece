#include "io/FileAccess.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <streambuf>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace marlinq {

std::string errorText(int err) {
    // clang-format off
    switch (err) {
        case ENOENT: return "no such file";
        case EACCES: return "permission denied";
        case EISDIR: return "is a folder, not a file";
        case ENOTDIR: return "a part of the path is not a folder";
        case ENOSPC: return "no space left on the device";
        case EROFS: return "read-only file system";
        default: return std::strerror(err);
    }
    // clang-format on
}

namespace {

std::string kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "is a folder, not a file";
    if (S_ISFIFO(mode)) return "is a pipe (FIFO), not a regular file";
    if (S_ISSOCK(mode)) return "is a socket, not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a regular file";
    return "is not a regular file";
}

// A stream buffer writing straight to a file descriptor, retrying short writes.
class FdBuf : public std::streambuf {
public:
    explicit FdBuf(int fd) : fd_(fd), buffer_(64 * 1024) { setp(buffer_.data(), buffer_.data() + buffer_.size()); }
    int error() const { return error_; }

protected:
    int_type overflow(int_type ch) override {
        if (!flushBuffer()) return traits_type::eof();
        if (!traits_type::eq_int_type(ch, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(ch);
            pbump(1);
        }
        return traits_type::not_eof(ch);
    }
    int sync() override { return flushBuffer() ? 0 : -1; }

private:
    bool flushBuffer() {
        const char* p = pbase();
        std::size_t left = static_cast<std::size_t>(pptr() - pbase());
        while (left > 0) {
            const ssize_t n = ::write(fd_, p, left);
            if (n < 0) {
                if (errno == EINTR) continue;
                error_ = errno;
                return false;
            }
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        setp(buffer_.data(), buffer_.data() + buffer_.size());
        return true;
    }
    int fd_;
    std::vector<char> buffer_;
    int error_ = 0;
};

mode_t currentUmask() {
    // Read without changing it: umask() itself would race with other threads.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    return 022;
}

// What writing through a descriptor came to: whether the writer and the stream succeeded,
// and the first errno a write met (0: none).
struct StreamedWrite {
    bool ok = false;
    int writeError = 0;
};

// Runs write on a stream over fd and flushes it. When write throws, cleanUp runs (fd still
// open) and the exception goes on.
StreamedWrite streamInto(int fd, const std::function<bool(std::ostream&)>& write,
                         const std::function<void()>& cleanUp) {
    StreamedWrite result;
    FdBuf buf(fd);
    std::ostream out(&buf);
    try {
        result.ok = write(out);
    } catch (...) {
        cleanUp();
        throw;
    }
    out.flush();
    if (out.fail()) result.ok = false;
    result.writeError = buf.error();
    return result;
}

// Writes straight into a character device or a FIFO (opening a FIFO waits for its reader,
// as a shell's redirection does). error receives the bare reason.
bool writeStream(const std::string& path, const std::function<bool(std::ostream&)>& write, std::string& error) {
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = "cannot open (" + errorText(errno) + ")";
        return false;
    }
    const auto [ok, streamError] = streamInto(fd, write, [fd] { ::close(fd); });
    int writeError = streamError;
    const int closed = ::close(fd);
    if (writeError == 0 && closed != 0 && errno != EINTR) writeError = errno;
    if (writeError != 0) {
        error = "cannot write (" + errorText(writeError) + ")";
        return false;
    }
    if (!ok) error = "writing failed";
    return ok;
}

// Whether a new file can be made in folder: a probe file is created and removed at once
// (permission bits alone do not tell a read-only file system, nor what root may do).
std::optional<std::string> folderProblem(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) {
        const int err = errno;
        if (err == ENOENT) return "the folder " + folder + " does not exist";
        return "the folder " + folder + ": " + errorText(err);
    }
    if (!S_ISDIR(st.st_mode)) return folder + " is not a folder";
    std::string probe = (std::filesystem::path(folder) / ".marlinq-probe-XXXXXX").string();
    std::vector<char> name(probe.begin(), probe.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return "cannot create a file in the folder " + folder + " (" + errorText(errno) + ")";
    ::close(fd);
    ::unlink(name.data());
    return std::nullopt;
}

// Where a write to path lands: links followed, also a last link whose target does not
// exist yet (which weakly_canonical leaves as it is), "." and ".." resolved.
std::filesystem::path placeOf(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path p = fs::absolute(fs::path(path), ec);
    if (ec) return fs::path(path);
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(p, ec)); ++hops) {
        const fs::path target = fs::read_symlink(p, ec);
        if (ec) break;
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    const fs::path resolved = fs::weakly_canonical(p, ec);
    return ec ? p : resolved;
}

std::string folderOf(const std::filesystem::path& p) {
    return p.has_parent_path() ? p.parent_path().string() : std::string(".");
}

}  // namespace

std::optional<std::string> outputFileProblem(const std::string& path) {
    namespace fs = std::filesystem;
    if (path.empty()) return std::string("no file name");
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return kindOf(st.st_mode);
        if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
            if (::access(path.c_str(), W_OK) != 0) return errorText(errno);
            return std::nullopt;
        }
        if (!S_ISREG(st.st_mode)) return kindOf(st.st_mode) + "; not overwritten";
        if (::access(path.c_str(), W_OK) != 0) return errorText(errno);
        return folderProblem(folderOf(placeOf(path)));
    }
    const int err = errno;
    if (err != ENOENT) return errorText(err);
    // A new file (or the missing target of a link): its folder must take it.
    struct stat lst {};
    const bool link = ::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode);
    return folderProblem(folderOf(link ? placeOf(path) : fs::path(path)));
}

std::optional<std::string> outputFolderProblem(const std::string& path) {
    namespace fs = std::filesystem;
    if (path.empty()) return std::string("no folder name");
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) return std::string("is not a folder");
        return folderProblem(path);
    }
    if (errno != ENOENT) return errorText(errno);
    // To be created: the nearest folder that exists must take it.
    fs::path p = fs::path(path).lexically_normal();
    while (true) {
        if (!p.has_parent_path() || p.parent_path() == p) return folderProblem(".");
        p = p.parent_path();
        if (p.empty()) return folderProblem(".");
        if (::stat(p.c_str(), &st) == 0) return folderProblem(p.string());
        if (errno != ENOENT) return "the folder " + p.string() + ": " + errorText(errno);
    }
}

bool sameOutputFile(const std::string& a, const std::string& b) {
    return sameFile(a, b) || placeOf(a) == placeOf(b);
}

bool readRegularFile(const std::string& path, std::size_t maxBytes, std::string& bytes, std::string& error,
                     bool* missingFile, int* errorNumber) {
    bytes.clear();
    if (missingFile) *missingFile = false;
    if (errorNumber) *errorNumber = 0;
    const auto fail = [&](const std::string& reason, int code) {
        bytes.clear();
        error = path + ": " + reason;
        if (errorNumber) *errorNumber = code;
        return false;
    };
    // A folder is EISDIR; a pipe, socket or device has no errno of its own: EINVAL.
    const auto notRegular = [&](mode_t mode) { return fail(kindOf(mode), S_ISDIR(mode) ? EISDIR : EINVAL); };
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        if (missingFile) *missingFile = err == ENOENT || err == ENOTDIR;
        return fail(errorText(err), err);
    }
    // Never open a pipe or device: opening or reading it could wait for ever.
    if (!S_ISREG(st.st_mode)) return notRegular(st.st_mode);
    const auto tooLarge = [&] { return fail("larger than " + std::to_string(maxBytes) + " bytes; not read", EFBIG); };
    if (static_cast<std::uintmax_t>(st.st_size) > maxBytes) return tooLarge();

    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (missingFile) *missingFile = err == ENOENT;
        return fail(errorText(err), err);
    }
    // The path may have been replaced between stat and open.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return notRegular(st.st_mode);
    }
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buf[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            return fail(errorText(err), err);
        }
        if (n == 0) break;
        if (bytes.size() + static_cast<std::size_t>(n) > maxBytes) {  // grew while read
            ::close(fd);
            return tooLarge();
        }
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

bool writeFileAtomically(const std::string& path, const std::function<bool(std::ostream&)>& write, std::string& error) {
    namespace fs = std::filesystem;
    const auto fail = [&](const std::string& reason) {
        error = path + ": " + reason;
        return false;
    };
    if (path.empty()) return fail("no file name");

    // Follow a symbolic link, so that the file it points to gets the new content and
    // the link stays.
    std::string target = path;
    struct stat lst {};
    if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        std::error_code ec;
        const fs::path resolved = fs::weakly_canonical(fs::path(path), ec);
        if (!ec) target = resolved.string();
    }
    mode_t mode = 0666 & ~currentUmask();
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        // A terminal, /dev/null or a pipe to a reader: nothing to rename, written as it is.
        if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) return writeStream(target, write, error) || fail(error);
        if (!S_ISREG(st.st_mode)) return fail(kindOf(st.st_mode) + "; not overwritten");
        mode = st.st_mode & 07777;
    }

    const fs::path targetPath(target);
    const fs::path folder = targetPath.has_parent_path() ? targetPath.parent_path() : fs::path(".");
    std::string tempLeaf(1, '.');
    tempLeaf += targetPath.filename().string();
    tempLeaf += ".tmp-XXXXXX";
    std::string tempName = (folder / tempLeaf).string();
    std::vector<char> nameBuf(tempName.begin(), tempName.end());
    nameBuf.push_back('\0');
    const int fd = ::mkstemp(nameBuf.data());
    if (fd < 0) return fail("cannot create a file in its folder (" + errorText(errno) + ")");
    tempName = nameBuf.data();
    const auto discard = [&](const std::string& reason) {
        ::close(fd);
        ::unlink(tempName.c_str());
        return fail(reason);
    };

    const auto [ok, writeError] = streamInto(fd, write, [&] {
        ::close(fd);
        ::unlink(tempName.c_str());
    });
    if (writeError != 0) return discard("cannot write (" + errorText(writeError) + "); the old file is kept");
    if (!ok) return discard("writing failed; the old file is kept");
    if (::fchmod(fd, mode) != 0) return discard("cannot set the file mode (" + errorText(errno) + ")");
    if (::fsync(fd) != 0) return discard("cannot write (" + errorText(errno) + "); the old file is kept");
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tempName.c_str());
        return fail("cannot write (" + errorText(err) + "); the old file is kept");
    }
    if (::rename(tempName.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(tempName.c_str());
        return fail("cannot replace the file (" + errorText(err) + "); the old file is kept");
    }
    // Make the rename itself durable; a failure here no longer loses anything.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool writeTextFileAtomically(const std::string& path, std::string_view text, std::string& error) {
    return writeFileAtomically(
        path,
        [text](std::ostream& out) {
            out.write(text.data(), static_cast<std::streamsize>(text.size()));
            return static_cast<bool>(out);
        },
        error);
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace marlinq
