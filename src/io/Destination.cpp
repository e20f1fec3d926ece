#include "io/Destination.h"

#include "io/FileAccess.h"

#include <iostream>
#include <sstream>

namespace marlinq {

Destination Destination::of(const std::string& target) {
    return target.empty() || target == "-" ? standardOutput() : file(target);
}

Destination Destination::file(std::string path) {
    Destination d;
    d.kind_ = Kind::File;
    d.path_ = std::move(path);
    return d;
}

Destination Destination::standardOutput() { return Destination(); }

Destination Destination::string(std::string& into) {
    Destination d;
    d.kind_ = Kind::String;
    d.into_ = &into;
    return d;
}

bool Destination::write(const std::function<bool(std::ostream&)>& write, std::string& error) const {
    switch (kind_) {
        case Kind::File: return writeFileAtomically(path_, write, error);
        case Kind::StandardOutput: {
            const bool ok = write(std::cout) && std::cout.flush();
            if (!ok) error = "standard output: cannot write";
            return ok;
        }
        case Kind::String: {
            std::ostringstream out;
            if (!write(out) || !out) {
                error = "writing failed";
                return false;
            }
            *into_ += std::move(out).str();
            return true;
        }
    }
    return false;
}

bool Destination::write(std::string_view text, std::string& error) const {
    switch (kind_) {
        case Kind::File: return writeTextFileAtomically(path_, text, error);
        case Kind::String: *into_ += text; return true;
        case Kind::StandardOutput: break;
    }
    return write(
        [text](std::ostream& out) {
            out.write(text.data(), static_cast<std::streamsize>(text.size()));
            return static_cast<bool>(out);
        },
        error);
}

}  // namespace marlinq
