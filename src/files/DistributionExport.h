#pragma once
// The distribution export: absValue over M+ = 0..mpMax (lines) and M- = 0..mmMax
// (tab-terminated values), free-chain concentrations at (1,0) and (0,1).

#include <cstdint>
#include <string>

namespace marlinq {

struct DistributionView {
    std::int32_t mpMin, mpMax, mmMin, mmMax;
    double vc10, vc01;
    const double* absValue;  // row-major, (mpMax - mpMin + 1) x (mmMax - mmMin + 1)
};

std::string formatDistribution(const DistributionView& d, char decimalSeparator);
bool writeDistribution(const std::string& path, const DistributionView& d, char decimalSeparator);

}  // namespace marlinq
