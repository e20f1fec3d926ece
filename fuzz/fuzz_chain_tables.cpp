// Any bytes as a single-chain table file, for both table sizes.
#include "FuzzInput.h"
#include "ReaderProperties.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!fuzzing::writeScratch(data, size)) return 0;
    if (!fuzzing::chainTablesHold(fuzzing::scratchPath())) std::abort();
    return 0;
}
