#pragma once
// Readers of the single-chain tables "Chains_values.dat" (20 x 20) and
// "Chains_values01.dat" (99 x 99): one table row per line, blank/tab separated fields,
// a point as decimal separator whatever the locale.
//
// A table is accepted only whole: exactly one line per row, each holding exactly as many
// fields as the table has columns, each field a finite number in the classic notation
// read to its end. Lines after the last row may only be empty (or blanks and tabs).
// Anything else is refused with "PATH:LINE: reason" naming the first bad line:
//   "PATH:6: expected 99 numbers, found 0 (the file ends after 5 of 99 rows)"
//   "PATH:3: expected 20 numbers, found 25"
//   "PATH:2: field 4 \"0,5\" read only in part (as 0); the decimal separator is a point"
//   "PATH:2: field 1 \"nan\" is not a number"
//   "PATH:2: field 7 \"1e999\" is beyond the range of a double"
//   "PATH:1: holds a NUL byte: not a text table (binary, or UTF-16 text)"
//   "PATH:21: text after the last of the 20 rows"
//   "PATH: the file is empty; expected 20 rows of 20 numbers"
// Extra fields are refused rather than ignored, so that the fine table handed over as
// the coarse one (or a row that ran into the next) is caught instead of read in part.

#include "kernel/Interpolation.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace marlinq {

inline constexpr const char* kCoarseTableFile = "Chains_values.dat";
inline constexpr const char* kFineTableFile = "Chains_values01.dat";
inline constexpr const char* kCoarseTableOpenError = "can not open Chains_values.dat";
inline constexpr const char* kFineTableOpenError = "can not open Chains_values01.dat";
// The fine table takes about 200 kB; a table file is never near this.
inline constexpr std::size_t kMaxTableFileBytes = 16u << 20;

// Both tables, loaded and checked once, then shared read-only.
struct ChainTables {
    CoarseTable coarse;
    FineTable fine;
};

// Checks and reads table text (the bytes of a file; name is used in the messages).
// On failure m is unchanged and error holds "NAME:LINE: reason".
bool parseCoarseTable(std::string_view bytes, const std::string& name, CoarseTable& m, std::string& error);
bool parseFineTable(std::string_view bytes, const std::string& name, FineTable& m, std::string& error);

// The same from a file. A missing file, a folder, a pipe or device (refused at once,
// never waited on) and a file over kMaxTableFileBytes give "PATH: reason".
bool loadCoarseTable(const std::string& path, CoarseTable& m, std::string& error);
bool loadFineTable(const std::string& path, FineTable& m, std::string& error);

// Both tables, or nullptr with the message of the first failure in error.
std::shared_ptr<const ChainTables> loadChainTables(const std::string& coarsePath, const std::string& finePath,
                                                   std::string& error);

}  // namespace marlinq
