#pragma once
// Where the run-time files (the two chain tables, symbols/) are found: an explicit
// folder if one was set, else the working directory, else the program's data folder.

#include <string>

namespace marlinq {

// An explicit data folder (the batch command's --data); empty clears it. Set at start-up.
void setDataDirectoryOverride(const std::string& dir);
// The folder the program's data were installed or built to; set at start-up from the
// executable's location. A compiled-in default is tried after it.
void setProgramDataDirectory(const std::string& dir);

// Path of an existing file relativeName (e.g. "Chains_values.dat", "symbols/sun.jpg")
// in the search order above; relativeName itself when none exists.
std::string locateDataFile(const std::string& relativeName);

}  // namespace marlinq
