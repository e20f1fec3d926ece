#pragma once
// Where the run-time files (the two chain tables, symbols/) are found. A front end decides
// and holds its own DataSearch: an explicit folder if the user named one, else the
// working directory, else the program's data folder, the install prefix's and the source
// tree's data folders.

#include <string>

namespace marlinq {

struct DataSearch {
    std::string only;        // when set, the one folder looked in (a user's explicit choice)
    std::string programDir;  // the data folder next to the executable, tried after the working directory

    // Path of an existing file relativeName (e.g. "Chains_values.dat", "symbols/sun.jpg")
    // in the order above; relativeName itself when none exists.
    std::string locate(const std::string& relativeName) const;
};

// The search of this executable: its data folder <prefix>/bin/../share/marlinq.
DataSearch programDataSearch();

// Process-wide default used by the calls that take no search (the tables' plain readers
// and tests); front ends pass their own DataSearch instead.
void setDataDirectoryOverride(const std::string& dir);
void setProgramDataDirectory(const std::string& dir);
std::string locateDataFile(const std::string& relativeName);

}  // namespace marlinq
