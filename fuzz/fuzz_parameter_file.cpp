// Any bytes as a parameter file.
#include "FuzzInput.h"
#include "ReaderProperties.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!fuzzing::writeScratch(data, size)) return 0;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (!fuzzing::parameterFileHolds(fuzzing::scratchPath(), bytes)) std::abort();
    return 0;
}
