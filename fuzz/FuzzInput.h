#pragma once
// The readers take file names, so every fuzz input is written to a scratch file first.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace fuzzing {

// One scratch file per process, in $TMPDIR (else /tmp), removed at normal exit.
inline const std::string& scratchPath() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        std::string p = std::string(dir && *dir ? dir : "/tmp") + "/marlinq-fuzz-" + std::to_string(::getpid()) + ".txt";
        std::atexit([] { std::remove(scratchPath().c_str()); });
        return p;
    }();
    return path;
}

inline bool writeScratch(const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(scratchPath().c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

}  // namespace fuzzing
