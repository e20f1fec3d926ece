#pragma once
// The free energy of a spherical complex as a model: one interface that the stages, the
// profiles and the front ends use, whatever the physics behind it. A model is immutable and
// re-entrant (the stages call it from many threads at once).
//
// The models of the program: the nonlinear Poisson-Boltzmann equation, the program's
// Debye-Hueckel approximation (the linearised potential in the full functional) and the
// closed form of linear Debye-Hueckel theory; converged accuracy wraps any of them, and
// terms such as the core's surface free energy wrap a model and add to its energy.

#include "physics/SphericalComplex.h"

#include <cmath>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace marlinq {

// The free energy of one complex in kT, and what the model says about it.
struct ComplexEnergy {
    double value = NAN;
    bool unstable = false;        // a Newton solve stopped at its step limit
    bool beyondValidity = false;  // outside the validity of the model's approximation
    // Converged accuracy: the estimated remaining error (kT), whether the refinement met its
    // target, and the standard free energy of the same complex (NaN otherwise).
    double errorEstimate = 0.0;
    bool targetMissed = false;
    double standardValue = NAN;
    double standardDifference = 0.0;  // |value - standardValue|
};

// Which complexes a model evaluates: every complex of the ranges at once, or row by row the
// band of at most nine cells around charge neutrality (a costly solve per complex; the cells
// far from neutrality carry no weight).
enum class CellSelection { EveryCell, NeutralBandByRows };

// Which potential a complex's profile chart draws beside the Poisson-Boltzmann one.
enum class ProfileOverlay { None, DebyeHueckel };

class ComplexModel {
public:
    virtual ~ComplexModel() = default;

    // The method's name as files and command lines use it ("pb", "dh", "dh-linear"), and a
    // line for the log naming the model with its parameters.
    virtual std::string_view name() const = 0;
    virtual std::string description() const { return std::string(name()); }

    virtual ComplexEnergy energy(const SphericalComplex& complex) const = 0;

    // The free energy converged in the grid (value, error estimate, whether the target was
    // met); models that are exact at any accuracy (closed forms) give their energy with no error.
    struct Converged {
        double value;
        double errorEstimate;
        bool targetMet;
    };
    virtual Converged convergedEnergy(const SphericalComplex& complex) const {
        return {energy(complex).value, 0.0, true};
    }
    // Whether a free energy F of the model for this complex lies outside the validity of
    // its approximation (counted and flagged per cell when flagsValidity()).
    virtual bool beyondValidity(const SphericalComplex&, double) const { return false; }
    virtual bool flagsValidity() const { return false; }

    virtual CellSelection selection() const { return CellSelection::EveryCell; }
    virtual ProfileOverlay profileOverlay() const { return ProfileOverlay::None; }
    // Converged accuracy: the standard free energy of every cell is formed beside its own.
    virtual bool keepsStandard() const { return false; }
    // The terms (ComplexTerm) added to the electrostatic free energy.
    virtual int termCount() const { return 0; }
};

using ComplexModelPointer = std::shared_ptr<const ComplexModel>;

// The three methods.
ComplexModelPointer poissonBoltzmannModel();
ComplexModelPointer debyeHueckelModel();
ComplexModelPointer linearDebyeHueckelModel();

// Converged accuracy over a model: its converged energy, with the standard one beside it.
ComplexModelPointer convergedAccuracy(ComplexModelPointer standard);

// A term of the free energy added to every complex of at least two chains by a wrapped model,
// a function of the complex alone (a surface, a per-chain shift ...).
class ComplexTerm {
public:
    virtual ~ComplexTerm() = default;
    virtual std::string description() const = 0;  // named in the log: "core surface term gamma = 0.5 kT/a^2"
    virtual double value(const SphericalComplex& complex) const = 0;
};
ComplexModelPointer withTerm(ComplexModelPointer model, std::shared_ptr<const ComplexTerm> term);

// The core's surface free energy gamma 4 pi Rc^2 (gamma in kT per a^2), with the program's 4 pi.
std::shared_ptr<const ComplexTerm> coreSurfaceTerm(double gamma);

}  // namespace marlinq
