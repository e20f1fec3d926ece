#pragma once
// The kernel writes its fatal messages to standard output; death tests only see the
// child's standard error. Run this first inside a death statement.

#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace marlinq::testing_support {

inline void stdoutToStderr() {
    // Anything already buffered belongs to the real standard output, not to the message.
    std::cout.flush();
    std::fflush(stdout);
    ::dup2(2, 1);
}

}  // namespace marlinq::testing_support

// Expects `statement` to write exactly `message` (a regular expression) and exit with `code`.
#define EXPECT_FATAL_STDOUT(statement, code, message)                                              \
    EXPECT_EXIT(                                                                                    \
        {                                                                                           \
            ::marlinq::testing_support::stdoutToStderr();                                           \
            statement;                                                                              \
        },                                                                                          \
        ::testing::ExitedWithCode(code), message)
