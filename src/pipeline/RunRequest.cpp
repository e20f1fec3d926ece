#include "pipeline/RunRequest.h"

namespace marlinq {

RunRequestPointer inTotalMode(const RunRequest& request, const MassBalanceTotals& totals) {
    auto changed = std::make_shared<RunRequest>(request);
    changed->totals = totals;
    return changed;
}

}  // namespace marlinq
