#pragma once
// The models of a run, made in one place from the run's choices and parameters: the complex
// model (method, accuracy and the terms its parameters switch on) and the chain model.
// A new model is one class and one line here; a new term of the complex free energy can be
// registered from outside (a test, a plug-in) without touching the stages.

#include "files/ChainTables.h"
#include "physics/ChainModel.h"
#include "physics/ComplexModel.h"
#include "pipeline/Parameters.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace marlinq {

// How the free energy of a complex is computed.
enum class Method {
    DebyeHueckel,      // the Debye-Hueckel potential of every complex at once
    PoissonBoltzmann,  // the nonlinear Poisson-Boltzmann equation, row by row
    // The closed-form free energy of linear Debye-Hueckel theory for a uniformly charged
    // sphere, every complex at once like DebyeHueckel.
    DebyeHueckelLinear,
};
// Where the single-chain free energies come from.
enum class Chains { Tables, Solved };
// Free energies in the program's standard grid, or converged in the grid with an error estimate.
enum class Accuracy { Standard, Converged };

struct RunOptions {
    Method method = Method::DebyeHueckel;
    Chains chains = Chains::Tables;
    Accuracy accuracy = Accuracy::Standard;
    bool keepEnergies = false;  // keep F and E of every evaluated cell (RunResult::energies)
    int threads = 0;            // most threads of the run (0: the machine's; JobInput::threads)
};

// The names files and command lines use: "dh" / "pb" / "dh-linear", "table" / "solve", "standard" / "converged".
std::string_view nameOf(Method method);
std::string_view nameOf(Chains chains);
std::string_view nameOf(Accuracy accuracy);
std::optional<Method> methodNamed(std::string_view name);
std::optional<Chains> chainsNamed(std::string_view name);
std::optional<Accuracy> accuracyNamed(std::string_view name);

// Converged runs solve their chains (the tables hold standard energies): only a standard
// run from the tables reads them.
inline bool needsTables(const RunOptions& options) {
    return options.chains == Chains::Tables && options.accuracy == Accuracy::Standard;
}

// The chains a run's options have solved or read: converged accuracy solves them whatever
// the choice (the tables hold standard energies). Solved chains take a wider range of ka.
inline Chains chainsOf(const RunOptions& options) {
    return options.accuracy == Accuracy::Converged ? Chains::Solved : options.chains;
}

// The solution and core state of every complex of a run with parameters p.
ComplexConditions complexConditionsOf(const Parameters& p);
ChainConditions chainConditionsOf(const Parameters& p);

// The complex model of a run: the method at its accuracy, with every term its parameters
// switch on (the core surface term when gamma is not 0, then the registered terms).
ComplexModelPointer makeComplexModel(Method method, Accuracy accuracy, const Parameters& p);
// The chain model: converged accuracy solves its chains; a standard run reads the tables
// when asked to (tables may then be null only if the caller fails the run first).
ChainModelPointer makeChainModel(Chains chains, Accuracy accuracy, std::shared_ptr<const ChainTables> tables);

// The lone chains interpolated in the two tables (per-length energies over ka and xi).
ChainModelPointer tableChainModel(std::shared_ptr<const ChainTables> tables);

// A term registered under a name: made from a run's parameters, or null when the run does
// not use it. Registering a name again replaces its maker; an empty maker removes it.
using ComplexTermMaker = std::function<std::shared_ptr<const ComplexTerm>(const Parameters&)>;
void registerComplexTerm(const std::string& name, ComplexTermMaker maker);

}  // namespace marlinq
