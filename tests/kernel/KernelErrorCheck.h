#pragma once
// The kernel fails by throwing KernelError: it never writes to a console and never ends
// the process.

#include "kernel/Fatal.h"

#include <gtest/gtest.h>

#include <string>

// Expects `statement` to throw KernelError with exactly `message`, writing nothing to
// standard output or standard error.
#define EXPECT_KERNEL_ERROR(statement, message)                                                    \
    do {                                                                                           \
        ::testing::internal::CaptureStdout();                                                      \
        ::testing::internal::CaptureStderr();                                                      \
        bool thrown_ = false;                                                                      \
        std::string what_;                                                                         \
        try {                                                                                      \
            static_cast<void>(statement);                                                          \
        } catch (const ::marlinq::KernelError& e_) {                                               \
            thrown_ = true;                                                                        \
            what_ = e_.what();                                                                     \
        }                                                                                          \
        const std::string out_ = ::testing::internal::GetCapturedStdout();                         \
        const std::string err_ = ::testing::internal::GetCapturedStderr();                         \
        EXPECT_TRUE(thrown_) << #statement;                                                        \
        EXPECT_EQ(what_, std::string(message)) << #statement;                                      \
        EXPECT_EQ(out_ + err_, "") << #statement;                                                  \
    } while (false)
