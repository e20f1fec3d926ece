#pragma once
// A whole text written as a file by the files library's atomic writer (a temporary file in
// the same folder, renamed over the target once complete).

#include <string>

namespace marlinq {

// Writes text to path atomically; false and the reason when it cannot.
bool writeTextFileAtomically(const std::string& path, const std::string& text, std::string& error);

}  // namespace marlinq
