#pragma once
// Readers of the single-chain tables "Chains_values.dat" (20 x 20) and
// "Chains_values01.dat" (99 x 99): one table row per line, blank/tab separated fields,
// a point as decimal separator whatever the locale.

#include "kernel/Interpolation.h"

#include <memory>
#include <string>
#include <vector>

namespace marlinq {

inline constexpr const char* kCoarseTableFile = "Chains_values.dat";
inline constexpr const char* kFineTableFile = "Chains_values01.dat";
inline constexpr const char* kCoarseTableOpenError = "can not open Chains_values.dat";
inline constexpr const char* kFineTableOpenError = "can not open Chains_values01.dat";

// Fields of a line: maximal runs of characters other than blank and tab.
void MatrixExplode(const std::string& str, std::vector<std::string>& results);

// Fill m (zero-filled by the caller) from the table file found by locateDataFile.
// Return false, with the message in *failure, when the file cannot be opened.
bool read_chain_matrix(CoarseTable& m, std::string* failure = nullptr);
bool read_chain_matrix01(FineTable& m, std::string* failure = nullptr);

// The same from an explicit path.
bool read_chain_matrix_from(const std::string& path, CoarseTable& m, std::string* failure = nullptr);
bool read_chain_matrix01_from(const std::string& path, FineTable& m, std::string* failure = nullptr);

// Both tables, read once and then shared read-only by every run of the process.
struct ChainTables {
    CoarseTable coarse{};
    FineTable fine{};
};

// Reads both tables from the given paths; nullptr with the reason in error when one
// cannot be read.
std::shared_ptr<const ChainTables> loadChainTables(const std::string& coarsePath, const std::string& finePath,
                                                   std::string& error);

}  // namespace marlinq
