#pragma once
// The range checks of "Solve", shared by the window and the batch command. Fields are
// checked in a fixed order and the first failure gives its message.

#include "pipeline/Parameters.h"

#include <cstdint>
#include <optional>
#include <string>

namespace marlinq {

// Each field as its parse produced it; nullopt when the parse failed. The three tolerant
// fields (ka, vc10, vc01) always have a value (0.0 when unparsable).
struct InputFields {
    std::optional<double> plen, zp;
    std::optional<std::int32_t> Np;
    std::optional<double> mlen, zn;
    std::optional<std::int32_t> Nm;
    double ka = 0.0, vc10 = 0.0, vc01 = 0.0;
    std::optional<std::int32_t> mpMin, mpMax, mmMin, mmMax;
};

inline constexpr std::int64_t kMaxCells = 4000000;
inline constexpr std::int32_t kMaxAggregation = 100000;

// Validates in order, writing each value into params as soon as it is parsed (as the
// window does). Returns the message of the first failure, or nullopt if all pass; plen
// and mlen receive the charged-block lengths.
std::optional<std::string> validateInput(const InputFields& in, Parameters& params, double& plen, double& mlen);

}  // namespace marlinq
