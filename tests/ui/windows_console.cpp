// The console class: its process-wide flag and what it does to the standard streams.
#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <stdio_ext.h>
#include <unistd.h>

#include <string>

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
    {
        MyConsole console(L"Marlinq \u03ba", 680, 166);
        EXPECT_EQ(__fbufsize(stdout), 1u) << "stdout unbuffered";
        EXPECT_EQ(__fbufsize(stderr), 1u);
        std::printf("x");  // reaches the file at once, without a flush
        char c = 0;
        EXPECT_EQ(::pread(fd, &c, 1, 0), 1);
        EXPECT_EQ(c, 'x') << "no escape sequence before the text when stdout is not a terminal";
    }
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(fd);
    ::unlink(path);
    EXPECT_EQ(MyConsole::IsExistent, 0);
}
