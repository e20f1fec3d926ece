// The console class: its process-wide flag and what it does to the standard streams.
#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <stdio_ext.h>
#include <unistd.h>

#include "ui/MyConsole.h"

using marlinq::ui::MyConsole;

TEST(Console, FlagFollowsCreationAndRelease) {
    ASSERT_EQ(MyConsole::IsExistent, 0);
    {
        MyConsole first;
        EXPECT_EQ(MyConsole::IsExistent, 1);
        {
            MyConsole second(L"Marlinq", 100, 80);  // one exists: does nothing
            EXPECT_EQ(MyConsole::IsExistent, 1);
        }
        // Releasing any instance releases the console, not only the one that made it.
        EXPECT_EQ(MyConsole::IsExistent, 0);
        MyConsole third;
        EXPECT_EQ(MyConsole::IsExistent, 1);
    }
    EXPECT_EQ(MyConsole::IsExistent, 0);
}

TEST(Console, StreamsBecomeUnbufferedAndATitleNeverReachesAFile) {
    char path[] = "/tmp/marlinq-console-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(fd, STDOUT_FILENO);
    // Checked after stdout is back, so that a failure message is not written into the file.
    std::size_t outBuffer = 0, errBuffer = 0;
    char first = 0;
    ssize_t got = 0;
    {
        MyConsole console(L"Marlinq \u03ba", 680, 166);
        outBuffer = __fbufsize(stdout);
        errBuffer = __fbufsize(stderr);
        std::printf("x");  // reaches the file at once, without a flush
        got = ::pread(fd, &first, 1, 0);
    }
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(fd);
    ::unlink(path);
    EXPECT_EQ(outBuffer, 1u) << "stdout unbuffered";
    EXPECT_EQ(errBuffer, 1u) << "stderr unbuffered";
    EXPECT_EQ(got, 1);
    EXPECT_EQ(first, 'x') << "no escape sequence before the text when stdout is not a terminal";
    EXPECT_EQ(MyConsole::IsExistent, 0);
}
