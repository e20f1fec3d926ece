#include "pipeline/AtomicFile.h"

#include "files/FileAccess.h"

#include <ostream>

namespace marlinq {

bool writeTextFileAtomically(const std::string& path, const std::string& text, std::string& error) {
    return writeFileAtomically(
        path,
        [&text](std::ostream& out) {
            out.write(text.data(), static_cast<std::streamsize>(text.size()));
            return static_cast<bool>(out);
        },
        error);
}

}  // namespace marlinq
