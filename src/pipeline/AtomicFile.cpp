#include "pipeline/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include <unistd.h>

namespace marlinq {

bool writeTextFileAtomically(const std::string& path, const std::string& text, std::string& error) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    std::random_device rd;
    const fs::path temp = dir / ("." + target.filename().string() + ".tmp" + std::to_string(::getpid()) + "-" +
                                 std::to_string(rd()));
    {
        std::ofstream out(temp, std::ios::out | std::ios::binary | std::ios::trunc);
        if (!out) {
            error = "can not write file " + path;
            return false;
        }
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (out.fail()) {
            std::error_code ec;
            fs::remove(temp, ec);
            error = "can not write file " + path;
            return false;
        }
    }
    if (std::rename(temp.c_str(), target.c_str()) != 0) {
        error = "can not write file " + path + ": " + std::strerror(errno);
        std::error_code ec;
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

}  // namespace marlinq
