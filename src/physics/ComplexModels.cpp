// The complex models of the program, converged accuracy and added terms.

#include "physics/ComplexModel.h"

#include "physics/Constants.h"
#include "io/NumberText.h"
#include "physics/ConvergedEnergy.h"
#include "physics/FreeEnergy.h"


namespace marlinq {

namespace {

class PoissonBoltzmannModel final : public ComplexModel {
public:
    std::string_view name() const override { return "pb"; }
    ComplexEnergy energy(const SphericalComplex& c) const override {
        ComplexEnergy e;
        e.value = FreeEnergy::freeEnergy_Sphere(c.ka, c.chargePlus, c.chargeMinus, c.coreVolume, &e.unstable, c.bjerrum);
        return e;
    }
    Converged convergedEnergy(const SphericalComplex& c) const override {
        const ConvergedEnergy k = convergedSphereEnergy(c.ka, c.chargePlus, c.chargeMinus, c.coreVolume, 5, c.bjerrum);
        return {k.value, k.errorEstimate, k.targetMet};
    }
    CellSelection selection() const override { return CellSelection::NeutralBandByRows; }
};

class DebyeHueckelModel final : public ComplexModel {
public:
    std::string_view name() const override { return "dh"; }
    ComplexEnergy energy(const SphericalComplex& c) const override {
        ComplexEnergy e;
        e.value = FreeEnergy::freeEnergy_SphereDH(c.ka, c.chargePlus, c.chargeMinus, c.coreVolume, c.bjerrum);
        e.beyondValidity = beyondValidity(c, e.value);
        return e;
    }
    Converged convergedEnergy(const SphericalComplex& c) const override {
        const ConvergedEnergy k = convergedDebyeHueckelEnergy(c.ka, c.chargePlus, c.chargeMinus, c.coreVolume, c.bjerrum);
        return {k.value, k.errorEstimate, k.targetMet};
    }
    // A reduced surface potential beyond the bound of the linearisation, or no finite number.
    bool beyondValidity(const SphericalComplex& c, double F) const override {
        const double surface = complex::debyeHueckelSurfacePotential(c.charge, c.radius, c.kappaR, c.bjerrum);
        return !std::isfinite(F) || !(std::fabs(surface) <= complex::kDebyeHueckelPotentialBound);
    }
    bool flagsValidity() const override { return true; }
    ProfileOverlay profileOverlay() const override { return ProfileOverlay::DebyeHueckel; }
};

// A closed form: exact at either accuracy, with no discretisation error, and the linear
// theory is its own validity.
class LinearDebyeHueckelModel final : public ComplexModel {
public:
    std::string_view name() const override { return "dh-linear"; }
    ComplexEnergy energy(const SphericalComplex& c) const override {
        ComplexEnergy e;
        e.value = FreeEnergy::freeEnergy_SphereLinearDH(c.ka, c.chargePlus, c.chargeMinus, c.coreVolume, c.bjerrum);
        e.standardValue = e.value;
        return e;
    }
    ProfileOverlay profileOverlay() const override { return ProfileOverlay::DebyeHueckel; }
};

class ConvergedAccuracy final : public ComplexModel {
public:
    explicit ConvergedAccuracy(ComplexModelPointer standard) : standard_(std::move(standard)) {}
    std::string_view name() const override { return standard_->name(); }
    std::string description() const override { return standard_->description() + ", converged in the grid"; }
    ComplexEnergy energy(const SphericalComplex& c) const override {
        const Converged k = standard_->convergedEnergy(c);
        ComplexEnergy e;
        e.value = k.value;
        e.errorEstimate = k.errorEstimate;
        e.targetMissed = !k.targetMet;
        // The standard energy of the same complex; its own notes (an unstable solve) are not
        // this run's.
        e.standardValue = standard_->energy(c).value;
        e.standardDifference = std::fabs(k.value - e.standardValue);
        e.beyondValidity = standard_->beyondValidity(c, k.value);
        return e;
    }
    Converged convergedEnergy(const SphericalComplex& c) const override { return standard_->convergedEnergy(c); }
    bool beyondValidity(const SphericalComplex& c, double F) const override {
        return standard_->beyondValidity(c, F);
    }
    bool flagsValidity() const override { return standard_->flagsValidity(); }
    CellSelection selection() const override { return standard_->selection(); }
    ProfileOverlay profileOverlay() const override { return standard_->profileOverlay(); }
    bool keepsStandard() const override { return true; }
    int termCount() const override { return standard_->termCount(); }

private:
    ComplexModelPointer standard_;
};

class WithTerm final : public ComplexModel {
public:
    WithTerm(ComplexModelPointer model, std::shared_ptr<const ComplexTerm> term)
        : model_(std::move(model)), term_(std::move(term)) {}
    std::string_view name() const override { return model_->name(); }
    std::string description() const override { return model_->description() + " + " + term_->description(); }
    ComplexEnergy energy(const SphericalComplex& c) const override {
        ComplexEnergy e = model_->energy(c);
        if (c.chains() < 2) return e;
        const double t = term_->value(c);
        e.value += t;
        if (!std::isnan(e.standardValue)) e.standardValue += t;
        return e;
    }
    Converged convergedEnergy(const SphericalComplex& c) const override {
        Converged k = model_->convergedEnergy(c);
        if (c.chains() >= 2) k.value += term_->value(c);
        return k;
    }
    // Validity is the electrostatic model's, judged on its own part of the energy.
    bool beyondValidity(const SphericalComplex& c, double F) const override {
        return model_->beyondValidity(c, c.chains() >= 2 ? F - term_->value(c) : F);
    }
    bool flagsValidity() const override { return model_->flagsValidity(); }
    CellSelection selection() const override { return model_->selection(); }
    ProfileOverlay profileOverlay() const override { return model_->profileOverlay(); }
    bool keepsStandard() const override { return model_->keepsStandard(); }
    int termCount() const override { return model_->termCount() + 1; }

private:
    ComplexModelPointer model_;
    std::shared_ptr<const ComplexTerm> term_;
};

class CoreSurfaceTerm final : public ComplexTerm {
public:
    explicit CoreSurfaceTerm(double gamma) : gamma_(gamma) {}
    std::string description() const override {
        return "core surface term gamma = " + significantText(gamma_, 17) + " kT/a^2";
    }
    double value(const SphericalComplex& c) const override {
        return gamma_ * (constants::kFourPi * (c.radius * c.radius));
    }

private:
    double gamma_;
};

}  // namespace

ComplexModelPointer poissonBoltzmannModel() { return std::make_shared<PoissonBoltzmannModel>(); }
ComplexModelPointer debyeHueckelModel() { return std::make_shared<DebyeHueckelModel>(); }
ComplexModelPointer linearDebyeHueckelModel() { return std::make_shared<LinearDebyeHueckelModel>(); }
ComplexModelPointer convergedAccuracy(ComplexModelPointer standard) {
    return std::make_shared<ConvergedAccuracy>(std::move(standard));
}
ComplexModelPointer withTerm(ComplexModelPointer model, std::shared_ptr<const ComplexTerm> term) {
    return std::make_shared<WithTerm>(std::move(model), std::move(term));
}
std::shared_ptr<const ComplexTerm> coreSurfaceTerm(double gamma) { return std::make_shared<CoreSurfaceTerm>(gamma); }

}  // namespace marlinq
