#pragma once
// Where a text goes, the same for every format and every front end: a file (replaced only
// once the new content is complete, through writeFileAtomically; a device such as
// /dev/null or a FIFO is written directly), standard output, or a string in memory.

#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace marlinq {

class Destination {
public:
    // "-" (and "", the batch command's default) is standard output; anything else a file.
    static Destination of(const std::string& target);
    static Destination file(std::string path);
    static Destination standardOutput();
    // Appends to into, which must outlive the destination.
    static Destination string(std::string& into);

    bool isStandardOutput() const { return kind_ == Kind::StandardOutput; }
    bool isFile() const { return kind_ == Kind::File; }
    const std::string& path() const { return path_; }  // a file's path, else empty

    // Writes what write() writes; false with the reason in error when write() returned
    // false or the bytes could not be written ("PATH: reason" for a file, then keeping its
    // old content; "standard output: cannot write" for standard output).
    bool write(const std::function<bool(std::ostream&)>& write, std::string& error) const;
    bool write(std::string_view text, std::string& error) const;

private:
    enum class Kind { File, StandardOutput, String };
    Kind kind_ = Kind::StandardOutput;
    std::string path_;
    std::string* into_ = nullptr;
};

}  // namespace marlinq
