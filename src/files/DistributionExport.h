#pragma once
// The distribution export: absValue over M+ = 0..mpMax (lines) and M- = 0..mmMax
// (tab-terminated values), free-chain concentrations at (1,0) and (0,1).

#include <cstdint>
#include <ostream>
#include <string>

namespace marlinq {

struct DistributionView {
    std::int32_t mpMin, mpMax, mmMin, mmMax;
    double vc10, vc01;
    const double* absValue;  // row-major, (mpMax - mpMin + 1) x (mmMax - mmMin + 1)
};

std::string formatDistribution(const DistributionView& d, char decimalSeparator);
bool writeDistribution(const std::string& path, const DistributionView& d, char decimalSeparator);
// Streams the same text row by row (the table runs from M = 0, so it can be far larger
// than the computed matrix); false if the stream failed.
bool writeDistribution(std::ostream& out, const DistributionView& d, char decimalSeparator);

}  // namespace marlinq
