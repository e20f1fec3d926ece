#pragma once
// The kernel's one way to fail: errors of the calling code end the process with a
// message on standard output. There is no recovery.

#include <string_view>

namespace marlinq {

// Writes msg to standard output, flushes it and ends the process with the exit code.
[[noreturn]] void fatalExit(std::string_view msg, int exitCode);

// Writes msg followed by ". program exited.\n" and ends the process with exit code 1.
[[noreturn]] void error(std::string_view msg);

}  // namespace marlinq
