#include "files/DataPaths.h"

#include <filesystem>
#include <mutex>

namespace marlinq {

namespace {

bool fileExists(const std::filesystem::path& p) {
    std::error_code ec;
    return std::filesystem::exists(p, ec);
}

std::mutex g_mutex;
DataSearch g_default;

}  // namespace

std::string DataSearch::locate(const std::string& relativeName) const {
    namespace fs = std::filesystem;
    // An explicit folder is the only place looked at: the user asked for it.
    if (!only.empty()) return (fs::path(only) / relativeName).string();
    if (fileExists(relativeName)) return relativeName;
    for (const std::string& dir : {programDir, std::string(MARLINQ_INSTALL_DATA_DIR), std::string(MARLINQ_SOURCE_DATA_DIR)}) {
        if (dir.empty()) continue;
        const fs::path candidate = fs::path(dir) / relativeName;
        if (fileExists(candidate)) return candidate.string();
    }
    return relativeName;
}

DataSearch programDataSearch() {
    DataSearch search;
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && !exe.empty()) search.programDir = (exe.parent_path().parent_path() / "share" / "marlinq").string();
    return search;
}

void setDataDirectoryOverride(const std::string& dir) {
    std::lock_guard lock(g_mutex);
    g_default.only = dir;
}

void setProgramDataDirectory(const std::string& dir) {
    std::lock_guard lock(g_mutex);
    g_default.programDir = dir;
}

std::string locateDataFile(const std::string& relativeName) {
    DataSearch search;
    {
        std::lock_guard lock(g_mutex);
        search = g_default;
    }
    return search.locate(relativeName);
}

}  // namespace marlinq
