#include "pipeline/Coacervate.h"

#include <cmath>

namespace marlinq {

void NeutralLine::take(const std::vector<LandscapeCell>& cells) {
    for (const LandscapeCell& cell : cells) {
        if (cell.mp < 1 || cell.mm < 1 || !std::isfinite(cell.E)) continue;
        if (cell.mm != std::llround(cell.mp * zp_ / zn_)) continue;
        byRow_[cell.mp] = cell;
    }
}

std::optional<NeutralLine::EdgeSlope> NeutralLine::edgeSlope(int cells) const {
    if (cells < 2 || static_cast<int>(byRow_.size()) < cells) return std::nullopt;
    auto last = byRow_.rbegin();
    auto first = last;
    std::advance(first, cells - 1);
    const auto perChain = [](const LandscapeCell& c) { return -c.E / (c.mp + c.mm); };
    const LandscapeCell& a = first->second;
    const LandscapeCell& b = last->second;
    EdgeSlope e;
    e.mp = b.mp;
    e.mm = b.mm;
    e.perChain = perChain(b);
    e.slope = (perChain(b) - perChain(a)) / ((b.mp + b.mm) - (a.mp + a.mm));
    // Flat to rounding counts as not rising: a relative 1e-9 of g per chain.
    e.coacervateLikely = e.perChain < 0.0 && e.slope <= 1e-9 * std::fabs(e.perChain);
    return e;
}

std::string coacervateMessage(const NeutralLine::EdgeSlope& edge) {
    return "macroscopic phase separation (a coacervate) is likely: the free energy per chain does not rise at M = (" +
           std::to_string(edge.mp) + ", " + std::to_string(edge.mm) +
           "); a larger range will not settle it";
}

}  // namespace marlinq
