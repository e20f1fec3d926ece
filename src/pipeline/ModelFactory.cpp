// The one place where a run's choices become its models.

#include "pipeline/ModelFactory.h"

#include "kernel/Interpolation.h"
#include "physics/NeutralBlock.h"

#include <cmath>
#include <map>
#include <mutex>
#include <utility>

namespace marlinq {

std::string_view nameOf(Method method) {
    switch (method) {
    case Method::DebyeHueckel: return "dh";
    case Method::PoissonBoltzmann: return "pb";
    case Method::DebyeHueckelLinear: return "dh-linear";
    }
    return "dh";
}
std::string_view nameOf(Chains chains) { return chains == Chains::Tables ? "table" : "solve"; }
std::string_view nameOf(Accuracy accuracy) { return accuracy == Accuracy::Standard ? "standard" : "converged"; }

std::optional<Method> methodNamed(std::string_view name) {
    for (const Method m : {Method::DebyeHueckel, Method::PoissonBoltzmann, Method::DebyeHueckelLinear})
        if (nameOf(m) == name) return m;
    return std::nullopt;
}
std::optional<Chains> chainsNamed(std::string_view name) {
    for (const Chains c : {Chains::Tables, Chains::Solved})
        if (nameOf(c) == name) return c;
    return std::nullopt;
}
std::optional<Accuracy> accuracyNamed(std::string_view name) {
    for (const Accuracy a : {Accuracy::Standard, Accuracy::Converged})
        if (nameOf(a) == name) return a;
    return std::nullopt;
}

ComplexConditions complexConditionsOf(const Parameters& p) { return {p.ka, p.bjerrum, p.waterFraction}; }
ChainConditions chainConditionsOf(const Parameters& p) { return {p.ka, p.bjerrum}; }

namespace {

// Only above this value of both ka and the charge density is the coarse table used.
constexpr double kSwitchPoint = 1.0;
// Per-length energy at ka = 0.2, xi = 0.25, used whatever the fine table holds there.
constexpr double kOverrideEnergy = 0.11446831776247358;

// The indices come from the validated range 0.2 .. 10; clamping only keeps a stray value
// from reading outside the table.
std::int32_t clampIndex(double index, std::int32_t last) {
    if (!(index >= 0.0)) return 0;
    if (index > last) return last;
    return static_cast<std::int32_t>(index);
}

// Per-length energy of a chain of charge density k from the tables, interpolated in the cell
// that holds (ka, k): the same lookup for both kinds of chain. Across the columns the
// weights go with k^2, which the energy follows closely up to k of a few (kernel/Interpolation.h):
// plain linear weights put the start-up chain (k = 0.25, midway between two columns) 4 % high.
double tableEnergy(const ChainTables& tables, double k, double ka) {
    if (ka > kSwitchPoint && k > kSwitchPoint) {
        const std::int32_t X = clampIndex(std::trunc((ka - kTableOrigin) / kCoarseStep), 18);
        const std::int32_t Y = clampIndex(std::trunc((k - kTableOrigin) / kCoarseStep), 18);
        return interpolateCoarse(k, ka, X, Y, tables.coarse, DensityWeights::Squared);
    }
    const double rowQuotient = (ka - kTableOrigin) / kFineStep;
    const std::int32_t X = clampIndex(std::trunc(rowQuotient), 98);
    const std::int32_t Y = clampIndex(std::trunc((k - kTableOrigin) / kFineStep), 98);
    return interpolateFine(k, ka, X, Y, tables.fine, DensityWeights::Squared);
}

class TableChainModel final : public ChainModel {
public:
    explicit TableChainModel(std::shared_ptr<const ChainTables> tables) : tables_(std::move(tables)) {}
    std::string_view name() const override { return "table"; }
    ChainEnergy energy(const SingleChain& chain, const ChainConditions& conditions, std::stop_token) const override {
        ChainEnergy e;
        // A chain of density xi at Bjerrum length lambda has the per-length energy of a chain
        // of density lambda xi at lambda = 1, divided by lambda (lambda = 1: the table itself).
        const double lambda = conditions.bjerrum;
        const double density = lambda * std::fabs(chain.density);
        double perLength = tableEnergy(*tables_, density, conditions.ka);
        if (conditions.ka == 0.2 && density == 0.25) perLength = kOverrideEnergy;
        perLength = perLength / lambda;
        // Per-length energy times length plus the end term of the neutral block, as in the solved path.
        e.value = perLength * chain.length - 2 * neutral::kChainConstant * std::log(chain.length + chain.neutralLength);
        return e;
    }
    bool reportsEnergies() const override { return false; }

private:
    std::shared_ptr<const ChainTables> tables_;
};

std::mutex& termsMutex() {
    static std::mutex m;
    return m;
}
std::map<std::string, ComplexTermMaker>& registeredTerms() {
    static std::map<std::string, ComplexTermMaker> terms;
    return terms;
}

}  // namespace

ChainModelPointer tableChainModel(std::shared_ptr<const ChainTables> tables) {
    return std::make_shared<TableChainModel>(std::move(tables));
}

ComplexModelPointer makeComplexModel(Method method, Accuracy accuracy, const Parameters& p) {
    ComplexModelPointer model = method == Method::PoissonBoltzmann ? poissonBoltzmannModel()
                                : method == Method::DebyeHueckel   ? debyeHueckelModel()
                                                                   : linearDebyeHueckelModel();
    if (accuracy == Accuracy::Converged) model = convergedAccuracy(std::move(model));
    if (p.gamma != 0.0) model = withTerm(std::move(model), coreSurfaceTerm(p.gamma));
    std::lock_guard lock(termsMutex());
    for (const auto& [name, maker] : registeredTerms())
        if (auto term = maker(p)) model = withTerm(std::move(model), std::move(term));
    return model;
}

ChainModelPointer makeChainModel(Chains chains, Accuracy accuracy, std::shared_ptr<const ChainTables> tables) {
    if (accuracy == Accuracy::Converged) return convergedChainModel();
    if (chains == Chains::Tables) return tableChainModel(std::move(tables));
    return solvedChainModel();
}

void registerComplexTerm(const std::string& name, ComplexTermMaker maker) {
    std::lock_guard lock(termsMutex());
    if (maker) registeredTerms()[name] = std::move(maker);
    else registeredTerms().erase(name);
}

}  // namespace marlinq
