#include "pipeline/RunRequest.h"

namespace marlinq {

RunRequestPointer inTotalMode(const RunRequest& request, const MassBalanceTotals& totals) {
    auto changed = std::make_shared<RunRequest>(request);
    changed->totals = totals;
    return changed;
}

RunRequestPointer atConcentrations(const RunRequest& request, double freePlus, double freeMinus,
                                   const std::optional<MassBalanceTotals>& totals) {
    auto changed = std::make_shared<RunRequest>(request);
    changed->params.vc10 = freePlus;
    changed->params.vc01 = freeMinus;
    changed->totals = totals;
    return changed;
}

}  // namespace marlinq
