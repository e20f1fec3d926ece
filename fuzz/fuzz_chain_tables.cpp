// Any bytes as a single-chain table file, for both table sizes.
#include "FuzzInput.h"
#include "files/ChainTables.h"

#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!fuzzing::writeScratch(data, size)) return 0;
    auto coarse = std::make_unique<marlinq::CoarseTable>();
    auto fine = std::make_unique<marlinq::FineTable>();
    for (auto& row : *coarse) row.fill(0.0);
    for (auto& row : *fine) row.fill(0.0);
    if (!marlinq::read_chain_matrix_from(fuzzing::scratchPath(), *coarse)) std::abort();
    if (!marlinq::read_chain_matrix01_from(fuzzing::scratchPath(), *fine)) std::abort();
    return 0;
}
