#pragma once
// What a run is asked to do, fixed before it starts: the parameters, the concentrations as
// given, the model choices and the charged block lengths. One immutable value, shared by the
// job, its stages and every state of its result; nothing writes into it.

#include "pipeline/ModelFactory.h"
#include "pipeline/Parameters.h"

#include <memory>
#include <optional>

namespace marlinq {

struct MassBalanceTotals {
    double plus = 0.0, minus = 0.0;  // C+ and C- (infinite when a weight overflows)
};

struct RunRequest {
    // The validated values: chains, salt, the model's parameters, the ranges of M+ and M-;
    // in free mode the free chains (vc10, vc01) set the concentrations.
    Parameters params;
    double plusLength = 72.0, minusLength = 72.0;  // charged blocks of the '+' and '-' chains
    // Total mode: the totals C+ and C- set the concentrations; the free chains follow from
    // the mass balance on the finished landscape.
    std::optional<MassBalanceTotals> totals;
    Method method = Method::DebyeHueckel;
    Chains chains = Chains::Tables;
    Accuracy accuracy = Accuracy::Standard;

    bool converged() const { return accuracy == Accuracy::Converged; }
    // The chains' energies are read from the tables (converged energies solve them).
    bool readsTables() const { return chains == Chains::Tables && !converged(); }
    // The concentrations the map is weighed at while its rows come: the free chains, or in
    // total mode the totals, until the mass balance gives the free chains.
    MassBalanceTotals weighing() const { return totals ? *totals : MassBalanceTotals{params.vc10, params.vc01}; }
};

using RunRequestPointer = std::shared_ptr<const RunRequest>;

// The same request in total mode at `totals`.
RunRequestPointer inTotalMode(const RunRequest& request, const MassBalanceTotals& totals);
// The same request at other concentrations: the free chains c+, c- (in total mode where the
// mass balance starts) and, in total mode, the totals.
RunRequestPointer atConcentrations(const RunRequest& request, double freePlus, double freeMinus,
                                   const std::optional<MassBalanceTotals>& totals);

}  // namespace marlinq
