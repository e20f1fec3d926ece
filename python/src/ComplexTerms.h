#pragma once
// marlinq.register_complex_term: free-energy terms of complexes written in Python.

#include <pybind11/pybind11.h>

namespace marlinq::python {

// Adds the class Complex and _register_complex_term, _take_complex_term_error and
// _clear_complex_terms (called at exit, while the interpreter still runs) to the module.
void addComplexTerms(pybind11::module_& m);

}  // namespace marlinq::python
