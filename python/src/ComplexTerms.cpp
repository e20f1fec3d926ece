// Free-energy terms written in Python: marlinq.register_complex_term(name, function) adds
// function(complex) (kT) to the free energy of every complex of at least two chains in every
// run, sweep, critical salt and solve-for of the process, through the engine's model factory,
// until it is removed (function None). The engine evaluates complexes on its own threads; each
// call takes the interpreter lock, so a Python term is correct but serial.

#include "ComplexTerms.h"

#include "physics/ComplexModel.h"
#include "physics/SphericalComplex.h"
#include "pipeline/ModelFactory.h"

#include <pybind11/pybind11.h>

#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace py = pybind11;

namespace marlinq::python {

namespace {

// A term's function and the first error it raised (its complexes then get NaN, which the run
// reports as no finite free energy; the package raises the error once the run is over).
struct PythonTermFunction {
    std::string name;
    py::object function;  // released with the interpreter lock held (see unregister)
    mutable std::mutex errorMutex;
    mutable std::string firstError;
};

class PythonComplexTerm final : public ComplexTerm {
public:
    explicit PythonComplexTerm(std::shared_ptr<PythonTermFunction> f) : f_(std::move(f)) {}
    std::string description() const override { return "Python term " + f_->name; }
    double value(const SphericalComplex& c) const override {
        // The engine's threads are not Python's: the first call on each gives it a thread state
        // that it keeps (inc_ref), so later calls only take the lock.
        thread_local bool keepsThreadState = false;
        py::gil_scoped_acquire lock;
        if (!keepsThreadState) {
            lock.inc_ref();
            keepsThreadState = true;
        }
        try {
            const py::object r = f_->function(c);
            const double v = r.cast<double>();
            return v;
        } catch (const std::exception& e) {
            // error_already_set and cast_error alike: kept, the complex has no energy.
            std::lock_guard guard(f_->errorMutex);
            if (f_->firstError.empty())
                f_->firstError = "the complex term " + f_->name + " failed at (" + std::to_string(c.mp) + ", " +
                                 std::to_string(c.mm) + "): " + e.what();
            return NAN;
        }
    }

private:
    std::shared_ptr<PythonTermFunction> f_;
};

// The terms registered from Python, by name (the factory holds its own copies of the makers).
std::map<std::string, std::shared_ptr<PythonTermFunction>>& pythonTerms() {
    static auto* terms = new std::map<std::string, std::shared_ptr<PythonTermFunction>>;  // never destroyed:
    return *terms;  // its objects are released while the interpreter still runs (clearComplexTerms)
}

void registerTerm(const std::string& name, const py::object& function) {
    if (name.empty()) throw py::value_error("a complex term needs a name");
    auto& terms = pythonTerms();
    if (function.is_none()) {
        registerComplexTerm("python:" + name, nullptr);
        terms.erase(name);
        return;
    }
    if (!PyCallable_Check(function.ptr())) throw py::type_error("the complex term " + name + " is not callable");
    auto f = std::make_shared<PythonTermFunction>();
    f->name = name;
    f->function = function;
    terms[name] = f;
    registerComplexTerm("python:" + name,
                        [f](const Parameters&) -> std::shared_ptr<const ComplexTerm> {
                            return std::make_shared<PythonComplexTerm>(f);
                        });
}

// The first error of any term since the last call, cleared; "" when none.
std::string takeTermError() {
    for (auto& [name, f] : pythonTerms()) {
        std::lock_guard guard(f->errorMutex);
        if (!f->firstError.empty()) return std::exchange(f->firstError, std::string());
    }
    return {};
}

void clearComplexTerms() {
    for (auto& [name, f] : pythonTerms()) registerComplexTerm("python:" + name, nullptr);
    pythonTerms().clear();
}

}  // namespace

void addComplexTerms(py::module_& m) {
    using namespace pybind11::literals;
    py::class_<SphericalComplex>(m, "Complex",
                                 "A spherical complex as a complex term sees it (segment units: lengths in a, "
                                 "volumes in a^3).")
        .def_readonly("mp", &SphericalComplex::mp, "M+, the '+' chains")
        .def_readonly("mm", &SphericalComplex::mm, "M-, the '-' chains")
        .def_readonly("charge_plus", &SphericalComplex::chargePlus, "M+ q+")
        .def_readonly("charge_minus", &SphericalComplex::chargeMinus, "M- q-")
        .def_readonly("charge", &SphericalComplex::charge, "the net bare charge M+ q+ - M- q-")
        .def_readonly("dry_volume", &SphericalComplex::dryVolume, "M+ N+ + M- N-, a^3")
        .def_readonly("core_volume", &SphericalComplex::coreVolume, "the dry volume / (1 - water fraction), a^3")
        .def_readonly("radius", &SphericalComplex::radius, "the core radius Rc, a")
        .def_readonly("ka", &SphericalComplex::ka, "kappa a")
        .def_readonly("kappa_r", &SphericalComplex::kappaR, "kappa Rc")
        .def_readonly("bjerrum", &SphericalComplex::bjerrum, "lambda = l_B / a")
        .def_property_readonly("chains", &SphericalComplex::chains, "M+ + M-")
        .def("__repr__", [](const SphericalComplex& c) {
            return "Complex(mp=" + std::to_string(c.mp) + ", mm=" + std::to_string(c.mm) +
                   ", radius=" + py::repr(py::float_(c.radius)).cast<std::string>() + ")";
        });
    m.def("_register_complex_term", &registerTerm, "name"_a, "function"_a);
    m.def("_take_complex_term_error", &takeTermError);
    m.def("_clear_complex_terms", &clearComplexTerms);
}

}  // namespace marlinq::python
