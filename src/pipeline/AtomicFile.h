#pragma once
// Every file this folder's front ends write goes through here: written to a temporary file
// in the same folder, then renamed over the target, so a reader never sees half a file.
// (One place, to be swapped for the files library's writer once it has one.)

#include <string>

namespace marlinq {

// Writes text to path atomically; false and the reason when it cannot.
bool writeTextFileAtomically(const std::string& path, const std::string& text, std::string& error);

}  // namespace marlinq
