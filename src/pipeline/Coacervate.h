#pragma once
// Whether a landscape points to macroscopic phase separation: along the cells nearest charge
// neutrality, the free energy of forming a complex per chain, g = -E / (M+ + M-), should rise
// at the large end of the ranges for finite complexes to win. Where it stays flat or falls
// there (with neutral blocks of length 1, E(n, n) = n E(1, 1) exactly), the complexes would
// keep growing without end: a coacervate, which no larger range settles.

#include "pipeline/RunResult.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace marlinq {

// The cells nearest charge neutrality a run evaluated, M- = round(M+ zp / zn) for every M+,
// kept as the stages give them.
class NeutralLine {
public:
    NeutralLine(double zp, double zn) : zp_(zp), zn_(zn) {}
    void take(const std::vector<LandscapeCell>& cells);

    struct EdgeSlope {
        double slope = 0.0;            // d g / d (M+ + M-) over the last cells, kT per chain per chain
        double perChain = 0.0;         // g of the last cell (kT)
        std::int32_t mp = 0, mm = 0;   // the last cell
        bool coacervateLikely = false; // g < 0 there and not rising
    };
    // Over the last `cells` cells of the line with a finite exponent (at least 4 needed).
    std::optional<EdgeSlope> edgeSlope(int cells = 4) const;

private:
    double zp_, zn_;
    std::map<std::int32_t, LandscapeCell> byRow_;
};

// "macroscopic phase separation (a coacervate) is likely: the free energy per chain does
// not rise at M = (M+, M-); a larger range will not settle it"
std::string coacervateMessage(const NeutralLine::EdgeSlope& edge);

}  // namespace marlinq
