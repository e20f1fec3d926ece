// The one destination of every text the program writes: a file replaced only when complete,
// a FIFO or device written through, standard output, a string.
#include "io/Destination.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace marlinq {
namespace {

namespace fs = std::filesystem;

std::string contentOf(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class DestinationTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("marlinq_destination_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        fs::permissions(dir, fs::perms::owner_all);
        fs::remove_all(dir);
    }
    fs::path dir;
};

// A text with every byte value, so that nothing is translated on the way.
std::string allBytes() {
    std::string s;
    for (int k = 0; k < 3 * 256; ++k) s.push_back(static_cast<char>(k % 256));
    return s;
}

TEST_F(DestinationTest, EveryKindGetsTheSameBytes) {
    const std::string text = allBytes();
    std::string error;

    // A file: written whole, nothing else left in the folder.
    const fs::path file = dir / "out.txt";
    ASSERT_TRUE(Destination::of(file.string()).write(text, error)) << error;
    EXPECT_EQ(contentOf(file), text);

    // A FIFO: written through to its reader, and still a FIFO afterwards.
    const fs::path fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = contentOf(fifo); });
    const bool toFifo = Destination::of(fifo.string()).write(text, error);
    reader.join();
    EXPECT_TRUE(toFifo) << error;
    EXPECT_EQ(received, text);
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 2);

    // /dev/null: takes everything and stays a device.
    EXPECT_TRUE(Destination::of("/dev/null").write(text, error)) << error;
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    // "-": standard output (caught in a file for the test).
    const fs::path caught = dir / "stdout.txt";
    std::cout.flush();
    const int saved = ::dup(STDOUT_FILENO);
    const int fd = ::open(caught.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ::dup2(fd, STDOUT_FILENO);
    ::close(fd);
    const Destination out = Destination::of("-");
    const bool toStdout = out.write(text, error);
    std::cout.flush();
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    EXPECT_TRUE(out.isStandardOutput());
    EXPECT_TRUE(toStdout) << error;
    EXPECT_EQ(contentOf(caught), text);

    // A string, through the streaming form too.
    std::string into = "head:";
    EXPECT_TRUE(Destination::string(into).write(
        [&](std::ostream& o) {
            o << text;
            return true;
        },
        error));
    EXPECT_EQ(into, "head:" + text);
    EXPECT_FALSE(Destination::string(into).write([](std::ostream&) { return false; }, error));
    EXPECT_EQ(into, "head:" + text);
}

// A folder that takes no new file: the write is refused, the old file keeps every byte and
// no temporary file is left. Root may write anywhere, so the write is tried by a child that
// gives up root first.
TEST_F(DestinationTest, AReadOnlyFolderKeepsTheOriginal) {
    const fs::path file = dir / "kept.txt";
    std::ofstream(file) << "the original\n";
    fs::permissions(file, fs::perms(0644));
    fs::permissions(dir, fs::perms(0555));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
        std::string error;
        const bool written = Destination::of(file.string()).write(std::string("replaced\n"), error);
        const bool said = error.find("permission denied") != std::string::npos;
        ::_exit(written ? 1 : said ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: written, 2: refused without the reason, 3: could not give up root";
    fs::permissions(dir, fs::perms::owner_all);
    EXPECT_EQ(contentOf(file), "the original\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);
}

}  // namespace
}  // namespace marlinq
