#pragma once
// The neutral blocks of the chains: the chain constant and the term sigma(p) of a complex of
// p chains, from which the neutral-block contribution to the free energy of forming a
// complex follows. sigma(1) is the chain constant itself; up to p = 16 the values are
// tabulated, beyond that a power law continues them.

#include <cmath>
#include <cstdint>

namespace marlinq::neutral {

// Per-chain neutral-block coefficient: the end term of a single chain is
// -2 kChainConstant ln(N + neutral length), and sigma(1) = kChainConstant.
inline constexpr double kChainConstant = 0.079;

// Neutral-block term sigma(p) of a complex of p chains (p >= 0).
inline double sigma(std::int32_t p) {
    switch (p) {
        case 1: return kChainConstant;
        case 2: return 0.0;
        case 3: return -0.193;
        case 4: return -0.479;
        case 5: return -0.849;
        case 6: return -1.292;
        case 7: return -1.803;
        case 8: return -2.377;
        case 9: return -3.014;
        case 10: return -3.709;
        case 11: return -4.449;
        case 12: return -5.24;
        case 13: return -6.084;
        case 14: return -6.975;
        case 15: return -7.916;
        case 16: return -8.898;
        default: return -0.0893 * std::pow(p - 1.5, 1.68);
    }
}

}  // namespace marlinq::neutral
