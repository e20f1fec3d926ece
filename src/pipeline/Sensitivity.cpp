#include "pipeline/Sensitivity.h"

#include "pipeline/ObservablesText.h"

#include <cmath>

namespace marlinq {

namespace {

SensitivityAnswer shifted(const RunResult& landscapeRecord, double shift,
                          const std::optional<MassBalanceTotals>& totals, double cPlus, double cMinus, int threads) {
    RunResult moved = landscapeRecord;
    CellEnergies& e = moved.energies;
    const Parameters& p = moved.params();
    for (std::int32_t r = 0; r < e.evaluated.rows(); ++r) {
        const std::int32_t mp = p.mpMin + r;
        for (std::int32_t c = 0; c < e.evaluated.cols(); ++c) {
            const std::int32_t mm = p.mmMin + c;
            if (!e.evaluated(r, c) || mp < 1 || mm < 1) continue;
            e.F(r, c) += shift * (mp + mm);
            e.E(r, c) -= shift * (mp + mm);
        }
    }
    const std::shared_ptr<RunResult> settled = resettle(moved, cPlus, cMinus, totals, false, threads, JobEvents{});
    const Observables o = computeObservables(*settled);
    SensitivityAnswer a;
    a.shiftPerChain = shift;
    a.mostProbableComplex = o.mostProbableComplex;
    a.massAverageAggregation = o.massAverageAggregation;
    a.criticalConcentration = o.criticalConcentration;
    return a;
}

// The answers keep the 17 digits they have always been written with.
json::Value answerJson(const SensitivityAnswer& a) {
    using json::Value;
    const auto number = [](double v) { return Value::number(v, json::Digits::Seventeen); };
    const Value cell = a.mostProbableComplex ? Value::array({Value::integer(a.mostProbableComplex->first),
                                                             Value::integer(a.mostProbableComplex->second)})
                                             : Value();
    return Value::object({{"shift_kT_per_chain", number(a.shiftPerChain)},
                          {"most_probable_complex", cell},
                          {"mass_average_aggregation", number(a.massAverageAggregation)},
                          {"critical_concentration", number(a.criticalConcentration)}});
}

}  // namespace

std::optional<Sensitivity> sensitivityOf(const RunResult& landscapeRecord,
                                         const std::optional<MassBalanceTotals>& totals, double cPlus, double cMinus,
                                         int threads) {
    if (landscapeRecord.energies.empty()) return std::nullopt;
    return Sensitivity{shifted(landscapeRecord, -1.0, totals, cPlus, cMinus, threads),
                       shifted(landscapeRecord, +1.0, totals, cPlus, cMinus, threads)};
}

json::Value sensitivityJson(const Sensitivity& s) {
    return json::Value::object({{"lower", answerJson(s.lower)}, {"higher", answerJson(s.higher)}});
}

}  // namespace marlinq
