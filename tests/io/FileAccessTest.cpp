// Reading without blocking, and replacing files only when the new content is complete.
#include "io/FileAccess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace marlinq {
namespace {

namespace fs = std::filesystem;

class FileAccess : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("marlinq_access_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    static std::string contentOf(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::size_t entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {})); }
    fs::path dir;
};

const auto kWriteNew = [](std::ostream& out) {
    out << "new content\n";
    return true;
};

TEST_F(FileAccess, ReplacesOnlyACompleteFile) {
    const fs::path p = dir / "out.txt";
    std::ofstream(p) << "old content\n";
    std::string error;

    // The writer gives up half-way: the old file stays, no temporary is left.
    EXPECT_FALSE(writeFileAtomically(
        p.string(),
        [](std::ostream& out) {
            out << std::string(1 << 20, 'x');
            return false;
        },
        error));
    EXPECT_EQ(error, p.string() + ": writing failed; the old file is kept");
    EXPECT_EQ(contentOf(p), "old content\n");
    EXPECT_EQ(entries(), 1u);

    // The same when it throws.
    EXPECT_THROW(writeFileAtomically(
                     p.string(), [](std::ostream&) -> bool { throw std::runtime_error("out of memory"); }, error),
                 std::runtime_error);
    EXPECT_EQ(contentOf(p), "old content\n");
    EXPECT_EQ(entries(), 1u);

    EXPECT_TRUE(writeFileAtomically(p.string(), kWriteNew, error)) << error;
    EXPECT_EQ(contentOf(p), "new content\n");
    EXPECT_EQ(entries(), 1u);
}

TEST_F(FileAccess, StreamErrorsAndDevicesKeepWhatIsThere) {
    // A stream that failed (as on a full disk) while the writer says all went well: the
    // failure is reported and nothing is renamed.
    const fs::path p = dir / "out.txt";
    std::ofstream(p) << "old\n";
    std::string error;
    EXPECT_FALSE(writeFileAtomically(
        p.string(),
        [](std::ostream& out) {
            out.setstate(std::ios::badbit);
            return true;
        },
        error));
    EXPECT_EQ(contentOf(p), "old\n");
    EXPECT_EQ(entries(), 1u);
    // A character device has nothing to rename: it is written directly, and a device that
    // takes nothing says so.
    if (!fs::exists("/dev/full")) return;
    EXPECT_FALSE(writeFileAtomically("/dev/full", kWriteNew, error));
    EXPECT_EQ(error, "/dev/full: cannot write (no space left on the device)");
    EXPECT_TRUE(writeFileAtomically("/dev/null", kWriteNew, error)) << error;
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST_F(FileAccess, AFifoIsWrittenThroughNotReplaced) {
    const fs::path fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = contentOf(fifo); });
    std::string error;
    EXPECT_TRUE(writeFileAtomically(fifo.string(), kWriteNew, error)) << error;
    reader.join();
    EXPECT_EQ(received, "new content\n");
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(entries(), 1u);
    EXPECT_FALSE(outputFileProblem(fifo.string()));
}

TEST_F(FileAccess, OutputPlacesAreCheckedBeforeWriting) {
    std::ofstream(dir / "old.txt") << "x";
    fs::create_directories(dir / "sub");
    fs::create_symlink(dir / "sub" / "new.txt", dir / "dangling.txt");
    // Places that take a file: a new one, an old one, a dangling link's target, a device.
    for (const fs::path& p : {dir / "new.txt", dir / "old.txt", dir / "dangling.txt", fs::path("/dev/null")})
        EXPECT_FALSE(outputFileProblem(p.string())) << p << ": " << *outputFileProblem(p.string());
    EXPECT_EQ(entries(), 3u);  // the probe leaves nothing behind
    EXPECT_EQ(outputFileProblem((dir / "sub").string()), "is a folder, not a file");
    EXPECT_EQ(outputFileProblem((dir / "no" / "x.txt").string()), "the folder " + (dir / "no").string() + " does not exist");
    EXPECT_EQ(outputFileProblem((dir / "old.txt" / "x.txt").string()), "a part of the path is not a folder");
    EXPECT_EQ(outputFileProblem(""), "no file name");
    if (::geteuid() != 0) {
        fs::permissions(dir / "sub", fs::perms(0555));
        EXPECT_TRUE(outputFileProblem((dir / "sub" / "x.txt").string()));
        EXPECT_TRUE(outputFolderProblem((dir / "sub" / "deeper").string()));
        fs::permissions(dir / "sub", fs::perms(0755));
    }
    // A folder to be made: the nearest existing folder above must take it.
    EXPECT_FALSE(outputFolderProblem((dir / "a" / "b" / "c").string()));
    EXPECT_FALSE(outputFolderProblem((dir / "sub").string()));
    EXPECT_EQ(outputFolderProblem((dir / "old.txt").string()), "is not a folder");
    EXPECT_TRUE(outputFolderProblem((dir / "old.txt" / "c").string()));

    // Outputs naming one file, existing or not, in any spelling.
    EXPECT_TRUE(sameOutputFile((dir / "new.txt").string(), (dir / "sub" / ".." / "new.txt").string()));
    EXPECT_TRUE(sameOutputFile((dir / "dangling.txt").string(), (dir / "sub" / "new.txt").string()));
    EXPECT_TRUE(sameOutputFile((dir / "old.txt").string(), (dir / "." / "old.txt").string()));
    EXPECT_FALSE(sameOutputFile((dir / "new.txt").string(), (dir / "sub" / "new.txt").string()));
}

TEST_F(FileAccess, KeepsTheModeAndFollowsLinks) {
    const fs::path p = dir / "out.txt";
    std::string error;
    ASSERT_TRUE(writeFileAtomically(p.string(), kWriteNew, error)) << error;
    const mode_t mask = ::umask(022);
    ::umask(mask);
    struct stat st {};
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);  // as a plainly created file

    fs::permissions(p, fs::perms(0600));
    ASSERT_TRUE(writeFileAtomically(p.string(), kWriteNew, error));
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    const fs::path link = dir / "link.txt";
    fs::create_symlink(p, link);
    ASSERT_TRUE(writeFileAtomically(
        link.string(),
        [](std::ostream& out) {
            out << "through the link\n";
            return true;
        },
        error));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(contentOf(p), "through the link\n");

    EXPECT_FALSE(writeFileAtomically((dir / "no" / "such" / "x.txt").string(), kWriteNew, error));
    EXPECT_EQ(error.rfind((dir / "no" / "such" / "x.txt").string() + ": cannot create a file in its folder", 0), 0u)
        << error;
}

TEST_F(FileAccess, SameFileThroughLinksAndSpellings) {
    const fs::path p = dir / "in.txt";
    std::ofstream(p) << "x";
    fs::create_symlink(p, dir / "link.txt");
    fs::create_hard_link(p, dir / "hard.txt");
    std::ofstream(dir / "other.txt") << "x";
    EXPECT_TRUE(sameFile(p.string(), (dir / "." / "in.txt").string()));
    EXPECT_TRUE(sameFile(p.string(), (dir / "link.txt").string()));
    EXPECT_TRUE(sameFile(p.string(), (dir / "hard.txt").string()));
    EXPECT_FALSE(sameFile(p.string(), (dir / "other.txt").string()));
    EXPECT_FALSE(sameFile(p.string(), (dir / "missing.txt").string()));
    EXPECT_FALSE(sameFile((dir / "missing.txt").string(), (dir / "missing.txt").string()));
}

TEST_F(FileAccess, ReadsRegularFilesOnly) {
    std::string bytes, error;
    bool missing = false;
    const fs::path p = dir / "a.txt";
    std::ofstream(p) << "12345";
    EXPECT_TRUE(readRegularFile(p.string(), 5, bytes, error));
    EXPECT_EQ(bytes, "12345");
    EXPECT_FALSE(readRegularFile(p.string(), 4, bytes, error));
    EXPECT_EQ(error, p.string() + ": larger than 4 bytes; not read");
    EXPECT_EQ(bytes, "");
    EXPECT_FALSE(readRegularFile((dir / "none").string(), 4, bytes, error, &missing));
    EXPECT_TRUE(missing);
    EXPECT_FALSE(readRegularFile(dir.string(), 4, bytes, error, &missing));
    EXPECT_FALSE(missing);
    EXPECT_FALSE(readRegularFile("/dev/zero", 4, bytes, error));
    EXPECT_EQ(error, "/dev/zero: is a device, not a regular file");
    if (::geteuid() != 0) {
        fs::permissions(p, fs::perms::none);
        EXPECT_FALSE(readRegularFile(p.string(), 5, bytes, error, &missing));
        EXPECT_EQ(error, p.string() + ": permission denied");
        EXPECT_FALSE(missing);
    }
}

}  // namespace
}  // namespace marlinq
