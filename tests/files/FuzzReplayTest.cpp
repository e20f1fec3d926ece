// Replays the fuzz seed corpora and every input that ever made a fuzz target fail
// (fuzz/regressions/<target>/) through the readers, with the targets' own checks.
#include "../../fuzz/ReaderProperties.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

const fs::path kFuzzDir = fs::path(MARLINQ_SOURCE_DATA_DIR) / ".." / "fuzz";

std::vector<fs::path> inputsOf(const std::string& target) {
    std::vector<fs::path> files;
    for (const char* kind : {"corpus", "regressions"}) {
        const fs::path dir = kFuzzDir / kind / target;
        std::error_code ec;
        if (!fs::is_directory(dir, ec)) continue;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.is_regular_file()) files.push_back(entry.path());
    }
    return files;
}

TEST(FuzzReplay, ParameterFileInputs) {
    const auto files = inputsOf("parameter_file");
    EXPECT_GE(files.size(), 3u);  // the seeds at least
    for (const fs::path& f : files) {
        std::ifstream in(f, std::ios::binary);
        const std::string bytes(std::istreambuf_iterator<char>(in), {});
        EXPECT_TRUE(fuzzing::parameterFileHolds(f.string(), bytes)) << f;
    }
}

TEST(FuzzReplay, ChainTableInputs) {
    const auto files = inputsOf("chain_tables");
    EXPECT_GE(files.size(), 3u);
    for (const fs::path& f : files) EXPECT_TRUE(fuzzing::chainTablesHold(f.string())) << f;
}

}  // namespace
