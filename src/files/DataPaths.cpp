#include "files/DataPaths.h"

#include <filesystem>
#include <mutex>

namespace marlinq {

namespace {
std::mutex g_mutex;
std::string g_override;
std::string g_programDir;

bool fileExists(const std::filesystem::path& p) {
    std::error_code ec;
    return std::filesystem::exists(p, ec);
}
}  // namespace

void setDataDirectoryOverride(const std::string& dir) {
    std::lock_guard lock(g_mutex);
    g_override = dir;
}

void setProgramDataDirectory(const std::string& dir) {
    std::lock_guard lock(g_mutex);
    g_programDir = dir;
}

std::string locateDataFile(const std::string& relativeName) {
    std::string overrideDir, programDir;
    {
        std::lock_guard lock(g_mutex);
        overrideDir = g_override;
        programDir = g_programDir;
    }
    namespace fs = std::filesystem;
    // An explicit folder is the only place looked at: the user asked for it.
    if (!overrideDir.empty()) return (fs::path(overrideDir) / relativeName).string();
    if (fileExists(relativeName)) return relativeName;
    for (const std::string& dir : {programDir, std::string(MARLINQ_INSTALL_DATA_DIR), std::string(MARLINQ_SOURCE_DATA_DIR)}) {
        if (dir.empty()) continue;
        const fs::path candidate = fs::path(dir) / relativeName;
        if (fileExists(candidate)) return candidate.string();
    }
    return relativeName;
}

}  // namespace marlinq
