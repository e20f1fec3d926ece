#pragma once
// The three calculation stages: single chains, Poisson-Boltzmann rows, Debye-Hueckel matrix.

#include "pipeline/Records.h"

#include <cstdint>
#include <memory>
#include <string>

namespace marlinq {

// Pair (M+, M-) of a stage's work list.
struct Index {
    std::int32_t mp;
    std::int32_t mm;
};

class ParalContr {
public:
    virtual ~ParalContr() = default;
    static int get_num_of_cores() { return 4; }
    static int get_optimized_num_of_threads(int /*scale*/) { return 8; }
    static int get_optimized_num_of_threads_sum(int scale) { return scale >= 5000 ? 8 : 1; }
};

class ParaCalculation {
public:
    ParaCalculation() = default;
    explicit ParaCalculation(std::shared_ptr<InfoChainBean> icb_) : icb(std::move(icb_)) {}

    // Fills icb.ffc_minus and icb.ffc_positive. Returns 1; on failure (a table that cannot
    // be read, a chain energy that is not a number) returns 0 and, if given, the reason.
    int startChainEnergy(InfoChainBean& icb, std::string* failure = nullptr);
    // One Poisson-Boltzmann row M+ = i, then renormalises the whole matrix. Returns 1.
    int startSphereEnergy(InfoSphereBean& isb, std::int32_t i);
    // The whole matrix by Debye-Hueckel. Returns 0.
    int startDH(InfoSphereBean& isb);

    std::shared_ptr<InfoChainBean> icb;
};

// Neutral-block term sigma(p) of a complex of p chains.
double readSigma(std::int32_t p);

// Exponent offset that the weights of a record carry for a given max_shift: 0 when
// max_shift is 0 (no shift), else max_shift - 10, so that the largest log-weight L_max
// (which max_shift holds) becomes a weight of 2.71828183^10.
double weightShiftOffset(double max_shift);
// The factor 2.71828183^(-offset) that a plain concentration (a free chain) carries.
double weightShiftFactor(double max_shift);

}  // namespace marlinq
