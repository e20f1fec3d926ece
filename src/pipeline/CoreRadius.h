#pragma once
// Core radius of a complex, the one formula every observable and panel of this folder uses:
// the charged blocks fill a sphere of volume V = M+ plen + M- mlen (segment units),
// Rc = (3 V / (4 pi))^(1/3) with pi = 3.141592387.

#include "physics/Constants.h"

#include <cmath>
#include <cstdint>

namespace marlinq {

inline double coreRadius(double volume) {
    return std::pow(volume * 3.0 / constants::kFourPi, constants::kOneThird);
}

inline double coreRadius(std::int32_t mp, std::int32_t mm, double plen, double mlen) {
    return coreRadius(mlen * mm + plen * mp);
}

}  // namespace marlinq
