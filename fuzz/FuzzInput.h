#pragma once
// The readers take file names, so every fuzz input is written to a scratch file first.

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace fuzzing {

inline const std::string& scratchPath() {
    static const std::string path = "/tmp/marlinq-fuzz-" + std::to_string(::getpid()) + ".txt";
    return path;
}

inline bool writeScratch(const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(scratchPath().c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

}  // namespace fuzzing
