// The solved chain models: the standard grid and converged accuracy.

#include "physics/ChainModel.h"

#include "physics/ConvergedEnergy.h"
#include "physics/FreeEnergy.h"
#include "physics/NeutralBlock.h"

namespace marlinq {

namespace {

class SolvedChainModel final : public ChainModel {
public:
    std::string_view name() const override { return "solve"; }
    ChainEnergy energy(const SingleChain& chain, const ChainConditions& conditions,
                       std::stop_token stop) const override {
        ChainEnergy e;
        e.value = FreeEnergy::freeEnergy_Chain(neutral::kChainConstant, conditions.ka, chain.density, chain.length,
                                               chain.minus, chain.neutralLength, kChainContinuationSteps, &e.failure,
                                               stop, conditions.bjerrum);
        return e;
    }
};

class ConvergedChainModel final : public ChainModel {
public:
    std::string_view name() const override { return "solve"; }
    ChainEnergy energy(const SingleChain& chain, const ChainConditions& conditions,
                       std::stop_token stop) const override {
        const ConvergedEnergy c = convergedChainEnergy(neutral::kChainConstant, conditions.ka, chain.density,
                                                       chain.length, chain.neutralLength, stop, conditions.bjerrum);
        ChainEnergy e;
        e.value = c.value;
        e.errorEstimate = c.errorEstimate;
        e.targetMissed = !c.targetMet;
        e.standardValue = FreeEnergy::freeEnergy_Chain(neutral::kChainConstant, conditions.ka, chain.density,
                                                       chain.length, chain.minus, chain.neutralLength,
                                                       kChainContinuationSteps, nullptr, stop, conditions.bjerrum);
        return e;
    }
    bool converged() const override { return true; }
};

}  // namespace

ChainModelPointer solvedChainModel() { return std::make_shared<SolvedChainModel>(); }
ChainModelPointer convergedChainModel() { return std::make_shared<ConvergedChainModel>(); }

}  // namespace marlinq
